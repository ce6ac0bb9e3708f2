// Built for the build machine, not for Windows: a library the COM-port tests
// preload into Wine (LD_PRELOAD). Wine's serial driver waits for line events
// by asking the line for its modem status (TIOCMGET) and its interrupt
// counters (TIOCGICOUNT); a pseudo-terminal answers neither (ENOTTY), and
// Wine then ends every WaitCommEvent at once as cancelled. For a pty slave
// this answers both as a quiet line would: DSR and CTS up, no carrier or
// ring, every counter zero. So the wait ends with EV_RXCHAR when bytes come
// and lasts while none do, as on a real port. Every other call, and every
// other device, goes to the system unchanged.
#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

bool IsPtySlave(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return false;
  // Unix98 pty slaves: majors 136 to 143 (/dev/pts/N).
  const unsigned int major = major(info.st_rdev);
  return major >= 136 && major <= 143;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  static const auto next = reinterpret_cast<IoctlFunction>(::dlsym(RTLD_NEXT, "ioctl"));
  const int saved = errno;
  const int result = next(fd, request, argument);
  if (result == 0 || (request != TIOCMGET && request != TIOCGICOUNT) || !IsPtySlave(fd)) {
    return result;
  }
  errno = saved;
  if (request == TIOCMGET) {
    *static_cast<int*>(argument) = TIOCM_DSR | TIOCM_CTS;
  } else {
    std::memset(argument, 0, sizeof(serial_icounter_struct));
  }
  return 0;
}
