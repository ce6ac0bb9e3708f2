#include "monitor/Cp1252.h"

#include "cport/text/CodePage1252.h"

namespace monitor {

char32_t Cp1252ToUnicode(std::uint8_t byte) { return cport::CodePage1252ToUnicode(byte); }

bool IsCp1252Defined(std::uint8_t byte) {
  // The undefined bytes map to the C1 control of the same number.
  return byte < 0x80 || byte >= 0xA0 || cport::CodePage1252ToUnicode(byte) != byte;
}

std::string Cp1252ToUtf8(std::string_view text) { return cport::CodePage1252ToUtf8(text); }

std::string Utf8ToCp1252(std::string_view text) { return cport::Utf8ToCodePage1252(text); }

}  // namespace monitor
