#pragma once
// The ini file object of the port's settings storage: texts and integers
// under (section, key) in a profile-string file (ProfileFile.h for the
// format and the matching rules).
//
// The file is read once, when the object is made; a missing file reads as
// empty. Every write changes the object's copy and then replaces the whole
// file with it (AtomicFile.h), so each write is on disk when it returns, a
// failed write leaves the file as the previous write left it, and whatever
// this object does not set is written back unchanged, byte for byte.
//
// Sections, keys and values are Windows-1252 text on this interface, as all
// the component's texts. The file may be Windows-1252 (the default, and what
// a new file is), UTF-8 with or without a byte order mark, or UTF-16 of
// either byte order with its mark (TextEncoding.h says how it is
// recognised); it is converted on reading and written back in the encoding
// it had. Read from a UTF-8 or UTF-16 file, a character that Windows-1252
// lacks reads as '?'.
//
// Errors: a write that fails raises IniFileError "Unable to write to %s" with
// the file's path: the file or its directory cannot be written, the file
// existed but could not be read when the object was made (it is then never
// overwritten), or the text cannot be held by a profile line (a line break,
// a key with '=' ...). Reads never raise.
//
// Not thread-safe: one thread owns the object.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cport/storage/ProfileFile.h"

namespace cport {

class IniFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  // A larger file is not read (and so never overwritten).
  static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

  explicit IniFile(std::filesystem::path file);

  const std::filesystem::path& FileName() const noexcept { return file_; }

  // The value as read (blanks and one pair of quotes around it removed, cut
  // at a NUL), or `defaultValue` when the key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // The value by the integer text rule (IntegerText.h); `defaultValue` when
  // the key is missing or its text does not convert.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  // The value as decimal text.
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);

 private:
  // The value in the file's own text, cut at a NUL; nothing when missing.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

  std::filesystem::path file_;
  ProfileFile profile_;
  bool writable_ = true;
};

}  // namespace cport
