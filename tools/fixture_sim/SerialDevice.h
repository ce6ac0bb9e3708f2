#pragma once
// The simulator's --device mode: a real serial port (or any terminal device)
// opened by its path, set raw with 8 data bits, no parity, one stop bit and
// no flow control, at any speed the driver takes.
#include <cstdint>
#include <string>
#include <system_error>

namespace fixture_sim {

// An open device; closes it on destruction.
class SerialDevice {
 public:
  // Opens `path` non-blocking and sets the line up. On failure Fd() is -1 and
  // `error` says why: the open's errno, the settings' errno, or EINVAL when
  // the driver applied a speed more than 3 % away from `baud`.
  SerialDevice(const std::string& path, std::uint32_t baud, std::error_code& error);
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace fixture_sim
