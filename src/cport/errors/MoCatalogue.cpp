#include "cport/errors/MoCatalogue.h"

#include <cstdint>
#include <fstream>

namespace cport {
namespace {

constexpr std::uint32_t kMagic = 0x950412deu;

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  bool ReadMagic() {
    if (bytes_.size() < 28) return false;
    const std::uint32_t little = Word(0, false);
    if (little == kMagic) return true;
    if (Word(0, true) == kMagic) {
      bigEndian_ = true;
      return true;
    }
    return false;
  }
  std::uint32_t At(std::size_t offset) const { return Word(offset, bigEndian_); }
  bool Fits(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  // The string of table entry `index` of the table at `table`.
  std::optional<std::string_view> String(std::uint32_t table, std::uint32_t index) const {
    const std::uint64_t entry = std::uint64_t{table} + std::uint64_t{index} * 8;
    if (!Fits(entry, 8)) return std::nullopt;
    const std::uint32_t length = At(static_cast<std::size_t>(entry));
    const std::uint32_t offset = At(static_cast<std::size_t>(entry) + 4);
    if (!Fits(offset, length)) return std::nullopt;
    return bytes_.substr(offset, length);
  }

 private:
  std::uint32_t Word(std::size_t offset, bool bigEndian) const {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const auto byte = static_cast<unsigned char>(bytes_[offset + static_cast<std::size_t>(i)]);
      value |= std::uint32_t{byte} << (bigEndian ? 8 * (3 - i) : 8 * i);
    }
    return value;
  }

  std::string_view bytes_;
  bool bigEndian_ = false;
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The charset the header message declares ("Content-Type: text/plain;
// charset=UTF-8"), lower-cased; empty when it names none.
std::string DeclaredCharset(std::string_view header) {
  std::string lower;
  for (const char c : header) lower += AsciiLower(c);
  const std::size_t at = lower.find("charset=");
  if (at == std::string::npos) return {};
  const std::size_t begin = at + 8;
  const std::size_t end = lower.find_first_of(" \t\r\n;", begin);
  return lower.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

std::optional<MoCatalogue> MoCatalogue::Parse(std::string_view bytes) {
  Reader reader(bytes);
  if (!reader.ReadMagic()) return std::nullopt;
  // Major revisions 0 and 1 share the tables used here.
  if ((reader.At(4) >> 16) > 1) return std::nullopt;
  const std::uint32_t count = reader.At(8);
  const std::uint32_t originals = reader.At(12);
  const std::uint32_t translations = reader.At(16);
  if (!reader.Fits(originals, std::uint64_t{count} * 8) ||
      !reader.Fits(translations, std::uint64_t{count} * 8)) {
    return std::nullopt;
  }
  MoCatalogue catalogue;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::optional<std::string_view> original = reader.String(originals, i);
    const std::optional<std::string_view> translation = reader.String(translations, i);
    if (!original || !translation) return std::nullopt;
    if (original->empty()) {
      const std::string charset = DeclaredCharset(*translation);
      if (!charset.empty() && charset != "utf-8" && charset != "utf8" && charset != "ascii" &&
          charset != "us-ascii") {
        return std::nullopt;
      }
      continue;
    }
    // A context is joined to its message by EOT; the component asks for none.
    if (original->find('\x04') != std::string_view::npos) continue;
    // Plural forms: the singular text, and the first translated form.
    const std::string_view english = original->substr(0, original->find('\0'));
    const std::string_view text = translation->substr(0, translation->find('\0'));
    if (text.empty()) continue;
    catalogue.messages_.emplace(std::string(english), std::string(text));
  }
  return catalogue;
}

std::optional<MoCatalogue> MoCatalogue::Load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxFileSize) return std::nullopt;
  }
  if (in.bad()) return std::nullopt;
  return Parse(bytes);
}

const std::string* MoCatalogue::Find(std::string_view english) const {
  const auto it = messages_.find(english);
  return it == messages_.end() ? nullptr : &it->second;
}

}  // namespace cport
