#include "cport/storage/RegistryHive.h"

#include <cstdio>
#include <iterator>
#include <optional>
#include <utility>

#include "cport/text/CodePage1252.h"

namespace cport {
namespace {

constexpr std::u32string_view kHeader4 = U"REGEDIT4";
constexpr std::u32string_view kHeader5 = U"Windows Registry Editor Version 5.00";
// The editor wraps hex data after this many characters.
constexpr std::size_t kWrapColumn = 77;

bool IsBlank(char32_t c) { return c == U' ' || c == U'\t'; }

std::u32string_view Trim(std::u32string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char32_t FoldCase(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  return c;
}

std::u32string Fold(std::u32string_view s) {
  std::u32string out(s);
  for (char32_t& c : out) c = FoldCase(c);
  return out;
}

bool StartsWithFolded(std::u32string_view s, std::u32string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (FoldCase(s[i]) != FoldCase(prefix[i])) return false;
  }
  return true;
}

std::u32string FromAnsi(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (const char c : s) out += CodePage1252ToUnicode(static_cast<std::uint8_t>(c));
  return out;
}

std::string ToAnsi(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char32_t c : s) out += static_cast<char>(UnicodeToCodePage1252(c).value_or('?'));
  return out;
}

std::string ToUtf8(std::u32string_view s) {
  std::string out;
  for (const char32_t c : s) AppendUtf8(c, out);
  return out;
}

// A path as callers give it, without backslashes at either end.
std::u32string_view TrimPath(std::u32string_view path) {
  while (!path.empty() && path.front() == U'\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == U'\\') path.remove_suffix(1);
  return path;
}

int HexDigit(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
  return -1;
}

// 1 to 8 hexadecimal digits as a 32-bit number.
std::optional<std::uint32_t> ParseHex32(std::u32string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (const char32_t c : s) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  return v;
}

// "01,ab, 2f" -> bytes; every item exactly two digits (a cut file must not
// turn "0" into a byte).
std::optional<std::string> ParseHexList(std::u32string_view s) {
  std::string out;
  s = Trim(s);
  if (s.empty()) return out;
  while (true) {
    const std::size_t comma = s.find(U',');
    const std::u32string_view item = Trim(s.substr(0, comma));
    if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) return std::nullopt;
    out += static_cast<char>(HexDigit(item[0]) * 16 + HexDigit(item[1]));
    if (comma == std::u32string_view::npos) return out;
    s.remove_prefix(comma + 1);
  }
}

// A quoted text starting at s[pos] == '"', with the escapes \\ and \"; pos
// ends after the closing quote. Nothing when the text has no closing quote.
std::optional<std::u32string> ParseQuoted(std::u32string_view s, std::size_t& pos) {
  std::u32string out;
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == U'"') {
      pos = i + 1;
      return out;
    }
    if (s[i] == U'\\' && i + 1 < s.size() && (s[i + 1] == U'\\' || s[i + 1] == U'"')) ++i;
    out += s[i];
  }
  return std::nullopt;
}

std::u32string Quote(std::u32string_view s) {
  std::u32string out = U"\"";
  for (const char32_t c : s) {
    if (c == U'\\' || c == U'"') out += U'\\';
    out += c;
  }
  out += U'"';
  return out;
}

// UTF-16LE bytes of text data in a Unicode file -> Windows-1252 bytes.
std::optional<std::string> Utf16ToAnsi(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::u32string text;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const char32_t unit = static_cast<unsigned char>(bytes[i]) |
                          (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                           (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        text += 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
        continue;
      }
    }
    text += unit;
  }
  return ToAnsi(text);
}

std::string AnsiToUtf16(std::string_view bytes) {
  return EncodeRegistryText(FromAnsi(bytes), RegistryFileEncoding::Utf16Le);
}

bool StartsHexForm(std::u32string_view data) {
  return data.size() >= 4 && FoldCase(data[0]) == U'h' && FoldCase(data[1]) == U'e' &&
         FoldCase(data[2]) == U'x' && (data[3] == U':' || data[3] == U'(');
}

// The data part of a value line (after '='), already joined across its
// continuation lines. Deletion is handled by the caller.
RegistryValue ParseData(std::u32string_view data, bool unicode) {
  RegistryValue value;
  data = Trim(data);
  if (!data.empty() && data.front() == U'"') {
    value.type = kRegSz;
    std::size_t pos = 0;
    const std::optional<std::u32string> text = ParseQuoted(data, pos);
    if (!text || !Trim(data.substr(pos)).empty()) {
      value.damaged = true;
      return value;
    }
    value.data = ToAnsi(*text);
    value.data += '\0';
    return value;
  }
  if (StartsWithFolded(data, U"dword:")) {
    value.type = kRegDword;
    const std::optional<std::uint32_t> v = ParseHex32(Trim(data.substr(6)));
    if (!v) {
      value.damaged = true;
      return value;
    }
    for (int i = 0; i < 4; ++i) value.data += static_cast<char>((*v >> (8 * i)) & 0xFF);
    return value;
  }
  if (StartsHexForm(data)) {
    std::size_t colon = 3;
    value.type = kRegBinary;
    if (data[3] == U'(') {
      const std::size_t close = data.find(U')');
      const std::optional<std::uint32_t> type =
          close == std::u32string_view::npos ? std::nullopt : ParseHex32(data.substr(4, close - 4));
      if (!type || close + 1 >= data.size() || data[close + 1] != U':') {
        value.type = kRegNone;
        value.damaged = true;
        return value;
      }
      value.type = *type;
      colon = close + 1;
    }
    std::optional<std::string> bytes = ParseHexList(data.substr(colon + 1));
    if (bytes && unicode && IsTextType(value.type)) bytes = Utf16ToAnsi(*bytes);
    if (!bytes) {
      value.damaged = true;
      return value;
    }
    value.data = std::move(*bytes);
    return value;
  }
  value.damaged = true;
  return value;
}

}  // namespace

RegistryHive::RegistryHive(std::string rootName) : rootName_(std::move(rootName)) {
  Block header;
  header.kind = Block::Kind::Header;
  header.raw = "REGEDIT4\r\n";
  blocks_.push_back(std::move(header));
}

RegistryHive::RegistryHive(const RegistryHive& other)
    : rootName_(other.rootName_),
      encoding_(other.encoding_),
      lineBreak_(other.lineBreak_),
      unicode_(other.unicode_),
      hasHeader_(other.hasHeader_),
      blocks_(other.blocks_),
      problems_(other.problems_),
      problemCount_(other.problemCount_) {
  RebuildIndex();
}

RegistryHive& RegistryHive::operator=(const RegistryHive& other) {
  if (this != &other) {
    RegistryHive copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void RegistryHive::Problem(std::size_t line, std::string text) {
  ++problemCount_;
  if (problems_.size() < kMaxProblemTexts) {
    problems_.push_back("line " + std::to_string(line) + ": " + std::move(text));
  }
}

RegistryHive RegistryHive::Parse(std::string rootName, std::string_view bytes) {
  RegistryHive hive(std::move(rootName));
  hive.blocks_.clear();
  const DecodedRegistryFile file = DecodeRegistryFile(bytes);
  hive.encoding_ = file.encoding;
  hive.lineBreak_ = file.lineBreak;
  if (file.missingBom) hive.Problem(1, "UTF-16 text without its byte order mark");

  const std::u32string rootFolded = Fold(FromAnsi(hive.rootName_));
  const std::vector<RegistryFileLine>& lines = file.lines;
  auto rawOf = [&](std::size_t first, std::size_t last) {
    return std::string(
        bytes.substr(lines[first].rawBegin, lines[last].rawEnd - lines[first].rawBegin));
  };

  const std::u32string_view firstLine = lines.empty() ? U"" : Trim(lines[0].text);
  hive.hasHeader_ = firstLine == kHeader4 || firstLine == kHeader5;
  hive.unicode_ = hive.hasHeader_ ? firstLine == kHeader5
                                  : (file.encoding == RegistryFileEncoding::Utf16Le ||
                                     file.encoding == RegistryFileEncoding::Utf16Be);
  if (!hive.hasHeader_) {
    hive.Problem(1, "no \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" header");
  }

  Key* current = nullptr;
  bool inSection = false;  // of any root
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t first = i;
    const std::u32string_view text = Trim(lines[i].text);
    Block block;
    if (i == 0 && hive.hasHeader_) {
      block.kind = Block::Kind::Header;
    } else if (text.empty() || text.front() == U';') {
      block.kind = Block::Kind::Other;
      block.blank = text.empty();
    } else if (text.front() == U'[') {
      if (text.size() < 2 || text.back() != U']') {
        hive.Problem(i + 1, "key name without closing ']'");
        block.kind = Block::Kind::Other;
        block.badKey = true;
        current = nullptr;  // values that follow belong to no key we know
        inSection = true;
      } else {
        block.kind = Block::Kind::Section;
        inSection = true;
        std::u32string_view path = text.substr(1, text.size() - 2);
        if (!path.empty() && path.front() == U'-') {
          block.deletion = true;
          path.remove_prefix(1);
        }
        const std::u32string folded = Fold(path);
        if (folded == rootFolded ||
            (folded.size() > rootFolded.size() && folded.starts_with(rootFolded) &&
             folded[rootFolded.size()] == U'\\')) {
          block.ownRoot = true;
          block.key =
              std::u32string(TrimPath(std::u32string_view(folded).substr(rootFolded.size())));
        }
      }
    } else if (text.front() == U'"' || text.front() == U'@') {
      std::u32string name;
      std::size_t pos = 1;
      bool named = true;
      if (text.front() == U'"') {
        pos = 0;
        const std::optional<std::u32string> quoted = ParseQuoted(text, pos);
        named = quoted.has_value();
        if (quoted) name = *quoted;
      }
      while (pos < text.size() && IsBlank(text[pos])) ++pos;
      if (!named || pos >= text.size() || text[pos] != U'=') {
        hive.Problem(i + 1, "neither a key nor a value");
        block.kind = Block::Kind::Other;
      } else {
        block.kind = Block::Kind::Value;
        block.name = Fold(name);
        std::u32string data(Trim(text.substr(pos + 1)));
        bool cut = false;
        if (StartsHexForm(data)) {
          // "hex:01,02,\" continues on the next line.
          while (!data.empty() && data.back() == U'\\') {
            data.pop_back();
            const std::u32string_view next =
                i + 1 < lines.size() ? Trim(lines[i + 1].text) : std::u32string_view{};
            if (i + 1 >= lines.size() || next.empty() || next.front() == U'[' ||
                next.front() == U'"' || next.front() == U'@') {
              cut = true;
              break;
            }
            ++i;
            data += next;
            while (!data.empty() && IsBlank(data.back())) data.pop_back();
          }
        }
        // The editor ends every line, the last included, with a line break: a
        // last line without one was cut, and the digits it holds may be too few.
        if (!lines[i].terminated && !cut &&
            (StartsHexForm(data) ||
             (StartsWithFolded(data, U"dword:") && Trim(data.substr(6)).size() < 8))) {
          cut = true;
        }
        if (data == U"-") {
          block.deletion = true;
        } else {
          block.value = ParseData(data, hive.unicode_);
          if (cut) {
            block.value.damaged = true;
            block.value.data.clear();
          }
          if (block.value.damaged) {
            hive.Problem(first + 1, "value " + ToUtf8(Quote(name)) +
                                        (cut ? " ends before its data" : " cannot be read"));
          }
        }
        if (!inSection) hive.Problem(first + 1, "value " + ToUtf8(Quote(name)) + " outside a key");
      }
    } else {
      hive.Problem(i + 1, "neither a key nor a value");
      block.kind = Block::Kind::Other;
    }
    block.raw = rawOf(first, i);
    hive.AddBlock(std::move(block), current);
  }
  return hive;
}

void RegistryHive::AddBlock(Block block, Key*& current) {
  blocks_.push_back(std::move(block));
  const BlockList::iterator it = std::prev(blocks_.end());
  switch (it->kind) {
    case Block::Kind::Section: {
      current = nullptr;
      if (!it->ownRoot) break;
      if (it->deletion) {
        // The key and every subkey: "k" and the run of "k\..." in sort order.
        const std::u32string prefix = it->key + U'\\';
        keys_.erase(it->key);
        for (auto k = keys_.lower_bound(prefix);
             k != keys_.end() && k->first.starts_with(prefix);) {
          k = keys_.erase(k);
        }
        break;
      }
      Key& key = keys_[it->key];
      key.section = it;
      current = &key;
      break;
    }
    case Block::Kind::Value:
      if (!current) break;
      if (it->deletion) {
        current->values.erase(it->name);
      } else {
        current->values[it->name] = it;
      }
      break;
    default:
      break;
  }
}

void RegistryHive::RebuildIndex() {
  BlockList blocks = std::move(blocks_);
  blocks_.clear();
  keys_.clear();
  Key* current = nullptr;
  for (Block& block : blocks) AddBlock(std::move(block), current);
}

bool RegistryHive::KeyExists(std::string_view path) const {
  const std::u32string key = Fold(TrimPath(FromAnsi(path)));
  if (key.empty() || keys_.contains(key)) return true;
  const std::u32string prefix = key + U'\\';
  const auto k = keys_.lower_bound(prefix);
  return k != keys_.end() && k->first.starts_with(prefix);
}

const RegistryValue* RegistryHive::FindValue(std::string_view path, std::string_view name) const {
  const auto key = keys_.find(Fold(TrimPath(FromAnsi(path))));
  if (key == keys_.end()) return nullptr;
  const auto value = key->second.values.find(Fold(FromAnsi(name)));
  return value == key->second.values.end() ? nullptr : &value->second->value;
}

bool RegistryHive::ReadsAsRegistryFile() const {
  if (hasHeader_) return true;
  bool onlyBlank = true;
  for (const Block& block : blocks_) {
    if (block.kind == Block::Kind::Section) return true;
    onlyBlank = onlyBlank && block.blank;
  }
  return onlyBlank;
}

std::string RegistryHive::Encode(std::u32string_view text) const {
  return EncodeRegistryText(text, encoding_);
}

void RegistryHive::EnsureLineBreak(Block& block) const {
  const std::string lineEnd = Encode(U"\n");
  const std::string crEnd = Encode(U"\r");
  if (!block.raw.empty() && !block.raw.ends_with(lineEnd) && !block.raw.ends_with(crEnd)) {
    // A cut UTF-16 file may end in half a character: complete it, or every
    // line after it would be read shifted by one byte.
    if (lineEnd.size() == 2 && block.raw.size() % 2 != 0) block.raw += '\0';
    block.raw += Encode(lineBreak_);
  }
}

RegistryHive::Key& RegistryHive::AddSection(std::string_view path) {
  if (blocks_.empty()) {
    Block header;
    header.kind = Block::Kind::Header;
    header.raw = Encode(std::u32string(unicode_ ? kHeader5 : kHeader4) + lineBreak_);
    blocks_.push_back(std::move(header));
    hasHeader_ = true;
  }
  EnsureLineBreak(blocks_.back());
  Block blank;
  blank.blank = true;
  blank.raw = Encode(lineBreak_);
  blocks_.push_back(std::move(blank));

  const std::u32string shown(TrimPath(FromAnsi(path)));
  Block section;
  section.kind = Block::Kind::Section;
  section.ownRoot = true;
  section.key = Fold(shown);
  std::u32string header = U"[" + FromAnsi(rootName_);
  if (!shown.empty()) header += U"\\" + shown;
  section.raw = Encode(header + U"]" + lineBreak_);
  blocks_.push_back(std::move(section));
  Key& key = keys_[blocks_.back().key];
  key.section = std::prev(blocks_.end());
  return key;
}

void RegistryHive::CreateKey(std::string_view path) {
  if (!KeyExists(path)) AddSection(path);
}

std::u32string RegistryHive::FormatValue(std::string_view name, const RegistryValue& value) const {
  std::u32string line = name.empty() ? U"@" : Quote(FromAnsi(name));
  line += U'=';
  if (value.type == kRegSz) {
    // Quoted only when it reads back the same: one terminating zero at the
    // end, no line break or zero inside (the editor writes others as hex(1)).
    const std::string_view data = value.data;
    const std::string_view text = data.ends_with('\0') ? data.substr(0, data.size() - 1) : data;
    if (text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) {
      return line + Quote(FromAnsi(text));
    }
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value.data[i]);
    char digits[9];
    for (int i = 7; i >= 0; --i, v >>= 4) digits[i] = "0123456789abcdef"[v & 0xF];
    digits[8] = '\0';
    return line + U"dword:" + FromAnsi(digits);
  }
  if (value.type == kRegBinary) {
    line += U"hex:";
  } else {
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    line += FromAnsi(type);
  }
  const std::string bytes =
      unicode_ && IsTextType(value.type) ? AnsiToUtf16(value.data) : value.data;
  std::size_t column = line.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      line += U',';
      ++column;
      if (column + 3 > kWrapColumn) {
        line += U"\\" + lineBreak_ + U"  ";
        column = 2;
      }
    }
    const auto b = static_cast<unsigned char>(bytes[i]);
    line += static_cast<char32_t>("0123456789abcdef"[b >> 4]);
    line += static_cast<char32_t>("0123456789abcdef"[b & 0xF]);
    column += 2;
  }
  return line;
}

void RegistryHive::SetValue(std::string_view path, std::string_view name,
                            const RegistryValue& value) {
  auto k = keys_.find(Fold(TrimPath(FromAnsi(path))));
  Key& key = k != keys_.end() ? k->second : AddSection(path);
  const std::u32string folded = Fold(FromAnsi(name));
  RegistryValue stored = value;
  stored.damaged = false;

  if (const auto v = key.values.find(folded); v != key.values.end()) {
    Block& block = *v->second;
    const bool hadBreak = block.raw.ends_with(Encode(U"\n")) || block.raw.ends_with(Encode(U"\r"));
    block.raw = Encode(FormatValue(name, value) + (hadBreak ? lineBreak_ : U""));
    block.value = std::move(stored);
    return;
  }
  // After the last line of the section that is not blank.
  BlockList::iterator after = key.section;
  for (auto it = std::next(key.section); it != blocks_.end() && it->kind != Block::Kind::Section &&
                                         it->kind != Block::Kind::Header && !it->badKey;
       ++it) {
    if (!it->blank) after = it;
  }
  EnsureLineBreak(*after);
  Block block;
  block.kind = Block::Kind::Value;
  block.name = folded;
  block.value = std::move(stored);
  block.raw = Encode(FormatValue(name, value) + lineBreak_);
  key.values[folded] = blocks_.insert(std::next(after), std::move(block));
}

std::string RegistryHive::Serialize() const {
  std::string out(ByteOrderMark(encoding_));
  if (!hasHeader_) out += Encode(std::u32string(unicode_ ? kHeader5 : kHeader4) + lineBreak_);
  const bool twoByteUnits =
      encoding_ == RegistryFileEncoding::Utf16Le || encoding_ == RegistryFileEncoding::Utf16Be;
  for (const Block& block : blocks_) {
    // After a stray byte in a UTF-16 file (kept in the raw bytes of the line
    // it damaged) every later code unit is out of step, its line breaks
    // included. A block written after it must start on a code unit and on a
    // line of its own, or a value added there would be read back as part of
    // the damaged line (lost): pad to a code unit and end that line.
    if (twoByteUnits && out.size() % 2 != 0) out += '\0' + Encode(lineBreak_);
    out += block.raw;
  }
  return out;
}

}  // namespace cport
