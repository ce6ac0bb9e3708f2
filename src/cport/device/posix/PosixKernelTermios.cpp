// Only the kernel's termios headers here: see PosixKernelTermios.h.
#include "cport/device/posix/PosixKernelTermios.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace cport::device {

static_assert(NCCS == kKernelNccs, "KernelTermios::cc must mirror termios2::c_cc");

std::error_code GetKernelTermios(int fd, KernelTermios& out) noexcept {
  termios2 t{};
  if (::ioctl(fd, TCGETS2, &t) != 0) return {errno, std::system_category()};
  out.iflag = t.c_iflag;
  out.oflag = t.c_oflag;
  out.cflag = t.c_cflag;
  out.lflag = t.c_lflag;
  out.line = t.c_line;
  std::memcpy(out.cc, t.c_cc, sizeof out.cc);
  out.ispeed = t.c_ispeed;
  out.ospeed = t.c_ospeed;
  return {};
}

std::error_code SetKernelTermios(int fd, const KernelTermios& in, bool any_speed) noexcept {
  termios2 t{};
  t.c_iflag = in.iflag;
  t.c_oflag = in.oflag;
  t.c_cflag = in.cflag;
  t.c_lflag = in.lflag;
  t.c_line = in.line;
  std::memcpy(t.c_cc, in.cc, sizeof in.cc);
  t.c_ispeed = in.ispeed;
  t.c_ospeed = in.ospeed;
  if (any_speed) {
    // Input speed bits 0 mean "same as output".
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER;
  }
  if (::ioctl(fd, TCSETS2, &t) != 0) return {errno, std::system_category()};
  return {};
}

}  // namespace cport::device
