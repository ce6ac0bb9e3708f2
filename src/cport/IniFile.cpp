#include "cport/IniFile.h"

#include <optional>
#include <utility>

#include "cport/AtomicFile.h"
#include "cport/FileBytes.h"
#include "cport/IntegerText.h"

namespace cport {

IniFile::IniFile(std::filesystem::path file) : file_(std::move(file)) {
  std::string bytes;
  const std::error_code error = ReadWholeFile(file_, kMaxFileSize, bytes);
  if (error && error != std::errc::no_such_file_or_directory) writable_ = false;
  profile_ = ProfileFile::Parse(bytes);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  const std::optional<std::string_view> value = profile_.Get(section, key);
  if (!value) return std::string(defaultValue);
  // The platform's reader hands out a NUL-terminated string.
  return std::string(value->substr(0, value->find('\0')));
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
  const std::optional<std::string_view> value = profile_.Get(section, key);
  if (!value) return defaultValue;
  return ParseIntegerText(value->substr(0, value->find('\0'))).value_or(defaultValue);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  try {
    if (!writable_) throw std::runtime_error("not read");
    ProfileFile changed = profile_;
    changed.Set(section, key, value);
    AtomicFile file(file_);
    file.Write(changed.Serialize());
    file.Commit();
    profile_ = std::move(changed);
  } catch (const std::exception&) {
    throw IniFileError("Unable to write to " + file_.string());
  }
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

}  // namespace cport
