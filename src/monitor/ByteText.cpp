#include "monitor/LogStore.h"

#include <cstdio>

namespace monitor {

std::string ByteText(std::uint8_t byte, ByteForm form) {
  char text[12];
  switch (form) {
    using enum ByteForm;
    case Character:
      if (byte >= 32) return std::string(1, static_cast<char>(byte));
      std::snprintf(text, sizeof text, " CHR(%u) ", static_cast<unsigned>(byte));
      return text;
    case Decimal:
      std::snprintf(text, sizeof text, "%u ", static_cast<unsigned>(byte));
      return text;
    case Hexadecimal:
      std::snprintf(text, sizeof text, "%02X ", static_cast<unsigned>(byte));
      return text;
    case Blank:
      break;
  }
  return " ";
}

}  // namespace monitor
