#include "cport/device/PortPath.h"

#include <cstdint>

namespace cport::device {
namespace {

bool IsComPrefix(std::string_view name) {
  if (name.size() < 3) return false;
  auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return up(name[0]) == 'C' && up(name[1]) == 'O' && up(name[2]) == 'M';
}

// The n of "COMn", or 0 when the rest is not a plain positive number. Nine
// digits at most, so the value always fits.
std::uint32_t ComNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 9 || digits.front() == '0') return 0;
  std::uint32_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return n;
}

}  // namespace

std::string DevicePathForPort(std::string_view port_name) {
  if (port_name.empty()) return {};
  if (port_name.front() == '/') return std::string(port_name);
  if (IsComPrefix(port_name)) {
    if (std::uint32_t n = ComNumber(port_name.substr(3)); n != 0) {
      return "/dev/ttyS" + std::to_string(n - 1);
    }
  }
  return "/dev/" + std::string(port_name);
}

}  // namespace cport::device
