#include "cport/errors/ComError.h"

#include "cport/errors/ComMessages.h"

namespace cport {

std::string FillSystemCode(const std::string& format, std::int32_t value, std::string_view text) {
  std::string out;
  out.reserve(format.size() + 12 + text.size());
  bool filled = false;
  bool text_filled = false;
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
      if (next == 's' && !text_filled) {
        out += text;
        text_filled = true;
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

EComPort::EComPort(PortError Code, const std::string& Detail)
    : std::runtime_error(ComPortMessage(static_cast<int>(Code)) + ": " + Detail),
      systemErrorCode_(-1),
      portErrorCode_(static_cast<std::int32_t>(Code)) {}

EComPort::EComPort(PortError Code, std::int32_t SystemCode)
    : std::runtime_error(
          FillSystemCode(ComPortMessage(static_cast<int>(Code)) + TranslatedSystemCodeSuffix(),
                         SystemCode, SystemErrorText(SystemCode))),
      systemErrorCode_(SystemCode),
      portErrorCode_(static_cast<std::int32_t>(Code)) {}

}  // namespace cport
