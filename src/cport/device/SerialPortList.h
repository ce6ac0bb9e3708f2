#pragma once
// The machine's serial ports as the operating system reports them: the one
// question the port list asks of the system. One implementation per platform
// (PosixPortList.cpp now; a Win32 one would read HARDWARE\DEVICEMAP\SERIALCOMM),
// chosen by CMake like the device itself.
//
// Names are those ComDevice::Open takes ("ttyS0", "ttyUSB0" on Linux, "COM1"
// on Windows), in no particular order. Nothing throws, nothing prints: a
// failure to read the system's list returns the system's error (errno in
// std::system_category() on POSIX) and leaves `names` as it was. Any thread;
// the call only reads the system's state.
#include <string>
#include <system_error>
#include <vector>

namespace cport::device {

std::error_code ListSystemSerialPorts(std::vector<std::string>& names) noexcept;

}  // namespace cport::device
