#pragma once
// How a port name becomes the path of its device on POSIX:
//   "/dev/ttyUSB0"  a name beginning with "/" is the path itself;
//   "COM1"          "COM" (any case) and a number n >= 1 without leading zeros
//                   is /dev/ttyS(n-1), as the first UART is COM1 on Windows;
//   "ttyUSB0"       any other name is "/dev/" followed by the name.
// An empty name has no device: the result is empty.
#include <string>
#include <string_view>

namespace cport::device {

std::string DevicePathForPort(std::string_view port_name);

}  // namespace cport::device
