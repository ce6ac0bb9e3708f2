#include "cport/device/PortPath.h"

namespace cport::device {

// Windows opens every serial port through the device namespace, "COM10" and
// above included, which the plain name cannot reach.
std::string DevicePathForPort(std::string_view port_name) {
  if (port_name.empty()) return {};
  if (port_name.starts_with("\\\\.\\")) return std::string(port_name);
  return "\\\\.\\" + std::string(port_name);
}

}  // namespace cport::device
