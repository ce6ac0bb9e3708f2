#include "cport/text/CodePage1252.h"

#include <array>

namespace cport {
namespace {

// 80 to 9F are where Windows-1252 differs from Latin-1; a zero marks a byte
// the code page leaves undefined.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98
};

}  // namespace

char32_t CodePage1252ToUnicode(std::uint8_t byte) noexcept {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const char16_t c = kHighControls[byte - 0x80];
  return c != 0 ? c : byte;
}

std::optional<std::uint8_t> UnicodeToCodePage1252(char32_t c) noexcept {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
  for (unsigned byte = 0x80; byte < 0xA0; ++byte) {
    if (CodePage1252ToUnicode(static_cast<std::uint8_t>(byte)) == c) {
      return static_cast<std::uint8_t>(byte);
    }
  }
  return std::nullopt;
}

char16_t Utf16UnitAt(std::string_view bytes, std::size_t pos, bool bigEndian) noexcept {
  const auto a = static_cast<unsigned char>(bytes[pos]);
  const auto b = static_cast<unsigned char>(bytes[pos + 1]);
  return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
}

void AppendUtf16(char32_t c, bool bigEndian, std::string& out) {
  auto unit = [&](char16_t u) {
    const auto high = static_cast<char>(u >> 8);
    const auto low = static_cast<char>(u & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  };
  if (c < 0x10000) {
    unit(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    unit(static_cast<char16_t>(0xD800 + (c >> 10)));
    unit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

void AppendUtf8(char32_t c, std::string& out) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string CodePage1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) AppendUtf8(CodePage1252ToUnicode(static_cast<std::uint8_t>(c)), out);
  return out;
}

std::string Utf8ToCodePage1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    // U+FFFD, what a broken sequence decodes to, is not in the code page.
    const char32_t c = DecodeUtf8At(text, i);
    out += static_cast<char>(UnicodeToCodePage1252(c).value_or('?'));
  }
  return out;
}

char32_t DecodeUtf8At(std::string_view bytes, std::size_t& pos) noexcept {
  constexpr char32_t kReplacement = 0xFFFD;
  const auto lead = static_cast<unsigned char>(bytes[pos++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t c = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return kReplacement;
  }
  std::size_t p = pos;
  for (int i = 0; i < extra; ++i, ++p) {
    if (p >= bytes.size() || (static_cast<unsigned char>(bytes[p]) & 0xC0) != 0x80) {
      return kReplacement;
    }
    c = (c << 6) | (static_cast<unsigned char>(bytes[p]) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
  pos = p;
  return c;
}

}  // namespace cport
