#pragma once
// A compiled GNU gettext message catalogue (.mo file), read by the component
// itself where the platform has no gettext (MinGW on Windows has no libintl).
//
// Both byte orders of the format are read (the magic number tells), revisions
// 0 and 1. Only what the component's translations need is kept: each message
// by its English text (msgid), with its first translated form; messages with
// a context, and the empty header message, are not found by Find. The
// catalogue's texts must be UTF-8 (or plain ASCII), the component's own
// encoding: a catalogue declaring another charset is refused.
//
// Parse never reads outside the bytes given: a table or string reaching past
// them, a bad magic number or revision refuses the whole file. A value type.
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace cport {

class MoCatalogue {
 public:
  // A file larger than this is not read.
  static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

  static std::optional<MoCatalogue> Parse(std::string_view bytes);
  // Nothing when the file is missing, unreadable, too large or refused.
  static std::optional<MoCatalogue> Load(const std::filesystem::path& file);

  // The translation of `english`, or null when the catalogue has none (an
  // empty translation counts as none, as gettext has it).
  const std::string* Find(std::string_view english) const;
  std::size_t Size() const { return messages_.size(); }

 private:
  std::map<std::string, std::string, std::less<>> messages_;
};

}  // namespace cport
