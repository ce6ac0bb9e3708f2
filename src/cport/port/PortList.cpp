#include "cport/port/PortList.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "cport/errors/ComError.h"
#include "cport/device/SerialPortList.h"

namespace cport {
namespace {

PortNameSource& CurrentSource() {
  static PortNameSource source;
  return source;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Text order ignoring (ASCII) case; names equal but for case keep a fixed
// order between them, so the list does not depend on the system's order.
bool TextLessIgnoringCase(std::string_view a, std::string_view b) {
  const auto [ai, bi] = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Upper(x) == Upper(y); });
  if (ai != a.end() && bi != b.end()) {
    return static_cast<unsigned char>(Upper(*ai)) < static_cast<unsigned char>(Upper(*bi));
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

void ListSerialPorts(std::vector<std::string>& Target) {
  std::vector<std::string> names;
  const std::error_code error =
      CurrentSource() ? CurrentSource()(names) : device::ListSystemSerialPorts(names);
  if (error) throw EComPort(PortError::RegistryError, error.value());
  std::sort(names.begin(), names.end(), TextLessIgnoringCase);
  Target = std::move(names);
}

PortNameSource SetPortNameSource(PortNameSource Source) {
  return std::exchange(CurrentSource(), std::move(Source));
}

}  // namespace cport
