#include "monitor/Cp1252.h"

#include <array>

namespace monitor {
namespace {

// 80 to 9F are where Windows-1252 differs from Latin-1; a zero marks a byte
// the code page leaves undefined.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98
};

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {  // every code point of the table lies in the basic plane
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The Windows-1252 byte of a code point, or '?' when the set lacks it.
char Cp1252Of(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int byte = 0x80; byte < 0xA0; ++byte) {
    if (Cp1252ToUnicode(static_cast<std::uint8_t>(byte)) == c) return static_cast<char>(byte);
  }
  return '?';
}

}  // namespace

char32_t Cp1252ToUnicode(std::uint8_t byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const char16_t cp = kHighControls[byte - 0x80];
  return cp != 0 ? cp : byte;
}

bool IsCp1252Defined(std::uint8_t byte) {
  return byte < 0x80 || byte >= 0xA0 || kHighControls[byte - 0x80] != 0;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) AppendUtf8(Cp1252ToUnicode(static_cast<std::uint8_t>(c)), out);
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t c = lead;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, c = lead & 0x07, least = 0x10000;
    } else if (lead >= 0x80) {
      out += '?';
      ++i;
      continue;
    }
    std::size_t j = 1;
    for (; j <= static_cast<std::size_t>(extra) && i + j < text.size(); ++j) {
      const auto next = static_cast<unsigned char>(text[i + j]);
      if ((next & 0xC0) != 0x80) break;
      c = (c << 6) | (next & 0x3F);
    }
    if (j != static_cast<std::size_t>(extra) + 1 || c < least || c > 0x10FFFF ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      out += '?';
      ++i;
      continue;
    }
    out += Cp1252Of(c);
    i += j;
  }
  return out;
}

}  // namespace monitor
