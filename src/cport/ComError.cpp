#include "cport/ComError.h"

#include "cport/ComMessages.h"

namespace cport {

std::string FillSystemCode(const std::string& format, std::int32_t value) {
  std::string out;
  out.reserve(format.size() + 12);
  bool filled = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      const char next = format[i + 1];
      if (next == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (next == 'd' && !filled) {
        out += std::to_string(value);
        filled = true;
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

EComPort::EComPort(PortError Code)
    : std::runtime_error(ComPortMessage(static_cast<int>(Code))),
      systemErrorCode_(-1),
      portErrorCode_(static_cast<std::int32_t>(Code)) {}

EComPort::EComPort(PortError Code, std::int32_t SystemCode)
    : std::runtime_error(FillSystemCode(
          ComPortMessage(static_cast<int>(Code)) + TranslatedSystemCodeSuffix(), SystemCode)),
      systemErrorCode_(SystemCode),
      portErrorCode_(static_cast<std::int32_t>(Code)) {}

}  // namespace cport
