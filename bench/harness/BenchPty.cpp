#include "harness/BenchPty.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

bool OpenRawPty(BenchPty& pty) {
  char name[128] = {};
  if (::openpty(&pty.master, &pty.slave, name, nullptr, nullptr) != 0) return false;
  for (int fd : {pty.master, pty.slave}) {
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
  }
  ::fcntl(pty.master, F_SETFL, ::fcntl(pty.master, F_GETFL) | O_NONBLOCK);
  pty.path = name;
  return true;
}

void ClosePty(BenchPty& pty) {
  for (int* fd : {&pty.master, &pty.slave}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

}  // namespace bench
