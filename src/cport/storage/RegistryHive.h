#pragma once
// The keys and values of one registry root, kept in the text format of the
// Windows registry editor's export files:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Dravel\RiriredOZ]
//   "Port"="COM1"
//   "BaudRate"=dword:00000007
//   "Path"=hex(2):25,57,49,4e,44,49,52,25,00
//   "Blob"=hex:01,02,\   (a backslash at the end continues hex data
//     03                  on the next line)
//   @="the key's default value"
//
// Both of the editor's formats are read: "REGEDIT4" (Windows-1252 text, text
// data of hex(N) values in 8-bit characters) and "Windows Registry Editor
// Version 5.00" (UTF-16 text after a byte order mark, text data in UTF-16).
// A file is read as the editor imports it: sections and lines in file order,
// a later line for a value replacing an earlier one, "[-KEY]" deleting a key
// with its subkeys and "NAME"=- deleting a value.
//
// Writing keeps the file as it was read: every line that no change touches
// is written back byte for byte (other roots, comments, unknown types,
// damaged lines), in the file's own format and encoding. A changed value's
// line is replaced in place; a new value goes after the last line of its
// key's section; a new key gets a section at the end of the file.
//
// Names are Windows-1252 and matched without regard to case (ASCII and
// Latin-1 letters). Key paths are given below the root without the root's
// name: "SOFTWARE\Dravel\RiriredOZ"; "" is the root itself. A key exists when
// it has a section or when a section of one of its subkeys exists.
//
// Parse never throws: whatever cannot be read is listed in Problems() and
// stays in the file; a value whose data cannot be read is found, marked
// damaged. A value type with no hidden state.
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cport/storage/RegistryFileText.h"
#include "cport/storage/RegistryValue.h"

namespace cport {

class RegistryHive {
 public:
  // An empty hive of the root named `rootName` ("HKEY_LOCAL_MACHINE"), in the
  // "REGEDIT4" format.
  explicit RegistryHive(std::string rootName);
  static RegistryHive Parse(std::string rootName, std::string_view bytes);

  RegistryHive(const RegistryHive& other);
  RegistryHive& operator=(const RegistryHive& other);
  RegistryHive(RegistryHive&&) noexcept = default;
  RegistryHive& operator=(RegistryHive&&) noexcept = default;

  bool KeyExists(std::string_view path) const;
  // Creates the key when it does not exist (its parents then exist too).
  void CreateKey(std::string_view path);
  // The value, or null when the key or the value does not exist.
  const RegistryValue* FindValue(std::string_view path, std::string_view name) const;
  // Creates the key when needed and replaces any earlier value of the name.
  // The empty name is the key's default value ("@").
  void SetValue(std::string_view path, std::string_view name, const RegistryValue& value);

  // The whole file as it is now, with the byte order mark of its encoding (a
  // UTF-16 file that had lost it gets it back). A file that had no header line
  // gets one.
  std::string Serialize() const;

  // What could not be read, one text per line ("line 7: ..."), at most
  // kMaxProblemTexts of them; ProblemCount() counts them all.
  static constexpr std::size_t kMaxProblemTexts = 20;
  const std::vector<std::string>& Problems() const { return problems_; }
  std::size_t ProblemCount() const { return problemCount_; }

  // Whether the bytes parsed were a registry file at all: a header line, a
  // key of any root, or nothing but blank lines (an empty file). Anything
  // else (a script, a document a link was pointed at by mistake) is no file
  // of the registry's to replace.
  bool ReadsAsRegistryFile() const;

  // The "Windows Registry Editor Version 5.00" format (Unicode text data).
  bool UnicodeFormat() const { return unicode_; }
  RegistryFileEncoding Encoding() const { return encoding_; }

 private:
  struct Block {
    enum class Kind : std::uint8_t { Header, Section, Value, Other };
    Kind kind = Kind::Other;
    std::string raw;        // the bytes in the file, line breaks included
    bool ownRoot = false;   // Section: a key of this hive's root
    bool deletion = false;  // Section "[-KEY]", Value "NAME"=-
    bool blank = false;     // Other: an empty line
    bool badKey = false;    // Other: a "[" line naming no key; it ends a section
    std::u32string key;     // Section of this root: the folded path
    std::u32string name;    // Value: the folded name
    RegistryValue value;
  };
  using BlockList = std::list<Block>;
  struct Key {
    BlockList::iterator section;  // the key's last section in the file
    std::map<std::u32string, BlockList::iterator> values;
  };

  void AddBlock(Block block, Key*& current);
  void Problem(std::size_t line, std::string text);
  std::string Encode(std::u32string_view text) const;
  std::u32string FormatValue(std::string_view name, const RegistryValue& value) const;
  Key& AddSection(std::string_view path);
  void EnsureLineBreak(Block& block) const;
  void RebuildIndex();

  std::string rootName_;
  RegistryFileEncoding encoding_ = RegistryFileEncoding::Ansi;
  std::u32string lineBreak_ = U"\r\n";
  bool unicode_ = false;
  bool hasHeader_ = true;
  BlockList blocks_;
  std::map<std::u32string, Key> keys_;  // by folded path
  std::vector<std::string> problems_;
  std::size_t problemCount_ = 0;
};

}  // namespace cport
