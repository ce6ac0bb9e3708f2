#include "cport/storage/ProfileFile.h"

#include <stdexcept>
#include <utility>

namespace cport {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// [begin, end) of `text` without the blanks at both ends.
void TrimBlanks(std::string_view text, std::size_t& begin, std::size_t& end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
}

void Classify(ProfileFile::Line& line) {
  using enum ProfileFile::LineKind;
  const std::string_view text = line.text;
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  if (first == text.size()) {
    line.kind = Empty;
  } else if (text[first] == ';') {
    line.kind = Comment;
  } else if (text[first] == '[') {
    std::size_t begin = first + 1;
    std::size_t end = text.find(']', begin);
    if (end == std::string_view::npos) end = text.size();
    TrimBlanks(text, begin, end);
    line.kind = Section;
    line.nameBegin = begin;
    line.nameSize = end - begin;
  } else if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
    std::size_t keyBegin = first;
    std::size_t keyEnd = equals;
    TrimBlanks(text, keyBegin, keyEnd);
    std::size_t valueBegin = equals + 1;
    std::size_t valueEnd = text.size();
    TrimBlanks(text, valueBegin, valueEnd);
    if (valueEnd - valueBegin >= 2 && (text[valueBegin] == '"' || text[valueBegin] == '\'') &&
        text[valueEnd - 1] == text[valueBegin]) {
      ++valueBegin;
      --valueEnd;
    }
    line.kind = Entry;
    line.nameBegin = keyBegin;
    line.nameSize = keyEnd - keyBegin;
    line.valueBegin = valueBegin;
    line.valueSize = valueEnd - valueBegin;
  } else {
    line.kind = Other;
  }
}

}  // namespace

ProfileFile ProfileFile::Parse(std::string_view bytes) {
  ProfileFile file;
  DecodedTextFile decoded = DecodeTextFile(bytes);
  file.encoding_ = decoded.encoding;
  file.leftover_ = std::move(decoded.leftover);
  const std::string_view text = decoded.text;
  bool sawBreak = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    std::string_view lineBreak;
    if (end == std::string_view::npos) {
      end = text.size();
    } else {
      const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
      lineBreak = crlf ? "\r\n" : (text[end] == '\r' ? "\r" : "\n");
      if (!sawBreak) {
        file.lineBreak_ = lineBreak;
        sawBreak = true;
      }
    }
    Line& line = file.lines_.emplace_back();
    line.text.assign(text.substr(start, end - start));
    line.lineBreak = lineBreak;
    Classify(line);
    start = end + lineBreak.size();
  }
  return file;
}

std::optional<std::string_view> ProfileFile::Get(std::string_view section,
                                                 std::string_view key) const {
  bool inSection = false;
  for (const Line& line : lines_) {
    if (line.kind == LineKind::Section) {
      inSection = NamesMatch(line.Name(), section);
    } else if (inSection && line.kind == LineKind::Entry && NamesMatch(line.Name(), key)) {
      return line.Value();
    }
  }
  return std::nullopt;
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  auto blankAtEnds = [](std::string_view t) {
    return !t.empty() && (IsBlank(t.front()) || IsBlank(t.back()));
  };
  const std::string_view lineEnds("\r\n\0", 3);
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  if (section.find_first_of(lineEnds) != std::string_view::npos ||
      key.find_first_of(lineEnds) != std::string_view::npos ||
      value.find_first_of(lineEnds) != std::string_view::npos || key.empty() ||
      key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[' ||
      section.find(']') != std::string_view::npos || blankAtEnds(key) || blankAtEnds(section) ||
      blankAtEnds(value) || quoted) {
    throw std::invalid_argument("text that a profile line cannot hold");
  }
  Line entry;
  entry.text.append(key).append("=").append(value);
  entry.lineBreak = lineBreak_;
  Classify(entry);

  std::optional<std::size_t> sectionAt;  // the first matching section
  std::size_t lastOfSection = 0;         // its last line that is not empty
  bool inSection = false;
  bool inFirst = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::Section) {
      inSection = NamesMatch(line.Name(), section);
      inFirst = inSection && !sectionAt;
      if (inFirst) sectionAt = lastOfSection = i;
      continue;
    }
    if (inSection && line.kind == LineKind::Entry && NamesMatch(line.Name(), key)) {
      entry.lineBreak = line.lineBreak;
      lines_[i] = std::move(entry);
      return;
    }
    if (inFirst && line.kind != LineKind::Empty) lastOfSection = i;
  }
  // A last line without a break gets one when lines are added after it.
  if (!lines_.empty() && (!sectionAt || lastOfSection + 1 == lines_.size()) &&
      lines_.back().lineBreak.empty()) {
    lines_.back().lineBreak = lineBreak_;
  }
  if (!sectionAt) {
    Line header;
    header.text.append("[").append(section).append("]");
    header.lineBreak = lineBreak_;
    Classify(header);
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(entry));
    return;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastOfSection + 1), std::move(entry));
}

std::string ProfileFile::Serialize() const {
  std::string text;
  for (const Line& line : lines_) text.append(line.text).append(line.lineBreak);
  return EncodeTextFile(text, encoding_, leftover_);
}

bool ProfileFile::NamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace cport
