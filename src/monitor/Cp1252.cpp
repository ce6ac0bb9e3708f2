#include "monitor/Cp1252.h"

#include "cport/CodePage1252.h"

namespace monitor {

char32_t Cp1252ToUnicode(std::uint8_t byte) { return cport::CodePage1252ToUnicode(byte); }

bool IsCp1252Defined(std::uint8_t byte) {
  // The undefined bytes map to the C1 control of the same number.
  return byte < 0x80 || byte >= 0xA0 || cport::CodePage1252ToUnicode(byte) != byte;
}

std::string Cp1252ToUtf8(std::string_view text) { return cport::CodePage1252ToUtf8(text); }

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
    out += static_cast<char>(cport::UnicodeToCodePage1252(c).value_or('?'));
    i += j;
  }
  return out;
}

}  // namespace monitor
