#include "fixture_sim/SerialDevice.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "cport/device/posix/PosixKernelTermios.h"

namespace fixture_sim {
namespace {

// cfmakeraw's changes, 8N1 without flow control, on the kernel's record
// (termios2 carries any speed).
std::error_code SetUp(int fd, std::uint32_t baud) {
  using cport::device::KernelTermios;
  KernelTermios t;
  if (auto error = cport::device::GetKernelTermios(fd, t)) return error;
  t.iflag &= ~static_cast<std::uint32_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                         IXON | IXOFF | IXANY);
  t.oflag &= ~static_cast<std::uint32_t>(OPOST);
  t.lflag &= ~static_cast<std::uint32_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.cflag &= ~static_cast<std::uint32_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.cflag |= CS8 | CREAD | CLOCAL;
  t.cc[VMIN] = 1;
  t.cc[VTIME] = 0;
  t.ispeed = baud;
  t.ospeed = baud;
  if (auto error = cport::device::SetKernelTermios(fd, t, true)) return error;
  // A driver may report success having rounded the speed to what its clock
  // divides to, or not changed it at all.
  KernelTermios applied;
  if (auto error = cport::device::GetKernelTermios(fd, applied)) return error;
  const std::uint64_t off = applied.ospeed > baud ? applied.ospeed - baud : baud - applied.ospeed;
  if (off * 100 > std::uint64_t{baud} * 3) return std::make_error_code(std::errc::invalid_argument);
  return {};
}

}  // namespace

SerialDevice::SerialDevice(const std::string& path, std::uint32_t baud, std::error_code& error) {
  error.clear();
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    error = std::error_code(errno, std::system_category());
    return;
  }
  if ((error = SetUp(fd_, baud))) {
    ::close(fd_);
    fd_ = -1;
  }
}

SerialDevice::~SerialDevice() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace fixture_sim
