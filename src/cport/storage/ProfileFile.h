#pragma once
// The profile-string (ini) text format, parsed into lines.
//
//   ; comment
//   [Section]
//   Key = Value
//
// Reading rules, as the platform's profile-string reader has them:
//  - a line whose first non-blank character is ';' is a comment; a line of
//    blanks is empty; blanks are spaces and tabs;
//  - a line whose first non-blank character is '[' opens a section; its name
//    runs to the first ']' (to the end of the line when there is none), with
//    blanks around it removed;
//  - any other line holding '=' is an entry: the key is the text before the
//    first '=', the value the text after it, both without blanks around them;
//    a value enclosed in one matching pair of single or double quotation
//    marks loses that pair;
//  - a line without '=' is no entry; entries before the first section belong
//    to no section and are never found;
//  - section and key names match without regard to ASCII case;
//  - a section may appear more than once: its entries are read as one
//    section, and the first matching entry in file order wins.
// Line breaks may be CR LF, LF or CR, mixed in one file. The text's encoding
// is recognised as TextEncoding.h says (UTF-16 or UTF-8 with a byte order
// mark, UTF-8 without one, else Windows-1252) and kept (Encoding). Lines,
// names and values, and the texts Get and Set take and give, are file text:
// the bytes themselves in a Windows-1252 file, UTF-8 in every other
// (TextEncoding.h converts between file text and Windows-1252). Any byte is
// accepted, NUL included. Nothing is cut; length limits are the caller's.
//
// Every line is kept as it was read, with its own line break, so that
// Serialize writes back byte for byte whatever Set did not touch: comments,
// unknown sections and keys, lines this reader does not understand, the
// encoding and its byte order mark, the line breaks.
//
// A value type with no hidden state; const member functions may be called
// from any number of threads.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cport/text/TextEncoding.h"

namespace cport {

class ProfileFile {
 public:
  enum class LineKind : std::uint8_t { Empty, Comment, Section, Entry, Other };

  struct Line {
    std::string text;  // as read, without its line break
    // "\r\n", "\n" or "\r"; empty only for a last line that had none.
    std::string_view lineBreak;
    LineKind kind = LineKind::Other;
    // Section: the name. Entry: the key, and the value as read (unquoted).
    std::size_t nameBegin = 0;
    std::size_t nameSize = 0;
    std::size_t valueBegin = 0;
    std::size_t valueSize = 0;

    std::string_view Name() const { return std::string_view(text).substr(nameBegin, nameSize); }
    std::string_view Value() const { return std::string_view(text).substr(valueBegin, valueSize); }
  };

  static ProfileFile Parse(std::string_view bytes);

  // The value of `key` in `section`, or nothing when no entry matches.
  std::optional<std::string_view> Get(std::string_view section, std::string_view key) const;

  // Makes Get(section, key) give `value`, as the platform's profile-string
  // writer does: the entry Get would find becomes "key=value", keeping its
  // line break; without one, "key=value" goes after the last line that is
  // not empty of the first matching section; without a section, "[section]"
  // and the entry are added at the end. Throws std::invalid_argument for
  // texts a line cannot hold as given: a line break or NUL in any of them, an
  // empty key, a key holding '=' or starting with ';' or '[', a section
  // holding ']', blanks at either end of the key or the section, or a value
  // that Get would read back differently (blanks at either end, or one
  // enclosing pair of quotation marks).
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The bytes again, in the encoding read: every line followed by its own
  // line break. Lines that Set added take LineBreak(), and so does a last
  // line without a break once a line is added after it. Without a Set the
  // bytes parsed come back unchanged.
  std::string Serialize() const;

  const std::vector<Line>& Lines() const { return lines_; }
  TextEncoding Encoding() const { return encoding_; }
  // The first line break of the text; CR LF when it has none.
  std::string_view LineBreak() const { return lineBreak_; }

  // The one rule by which section and key names match.
  static bool NamesMatch(std::string_view a, std::string_view b);

 private:
  std::vector<Line> lines_;
  TextEncoding encoding_ = TextEncoding::CodePage1252;
  std::string leftover_;  // see DecodedTextFile
  std::string_view lineBreak_ = "\r\n";
};

}  // namespace cport
