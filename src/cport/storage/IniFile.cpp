#include "cport/storage/IniFile.h"

#include <optional>
#include <utility>

#include "cport/storage/AtomicFile.h"
#include "cport/storage/FileBytes.h"
#include "cport/text/IntegerText.h"
#include "cport/text/TextEncoding.h"

namespace cport {

IniFile::IniFile(std::filesystem::path file) : file_(std::move(file)) {
  std::string bytes;
  const std::error_code error = ReadWholeFile(file_, kMaxFileSize, bytes);
  if (error && error != std::errc::no_such_file_or_directory) writable_ = false;
  profile_ = ProfileFile::Parse(bytes);
}

std::optional<std::string_view> IniFile::Find(std::string_view section,
                                              std::string_view key) const {
  const TextEncoding encoding = profile_.Encoding();
  const std::optional<std::string_view> value = profile_.Get(
      CodePage1252ToFileText(section, encoding), CodePage1252ToFileText(key, encoding));
  // The platform's reader hands out a NUL-terminated string.
  if (value) return value->substr(0, value->find('\0'));
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  const std::optional<std::string_view> value = Find(section, key);
  if (!value) return std::string(defaultValue);
  return FileTextToCodePage1252(*value, profile_.Encoding());
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
  const std::optional<std::string_view> value = Find(section, key);
  if (!value) return defaultValue;
  return ParseIntegerText(*value).value_or(defaultValue);
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  try {
    if (!writable_) throw std::runtime_error("not read");
    ProfileFile changed = profile_;
    const TextEncoding encoding = profile_.Encoding();
    changed.Set(CodePage1252ToFileText(section, encoding), CodePage1252ToFileText(key, encoding),
                CodePage1252ToFileText(value, encoding));
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
