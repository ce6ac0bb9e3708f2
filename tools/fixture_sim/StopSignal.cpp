#include "fixture_sim/StopSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace fixture_sim {

StopSignal::StopSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::system_category(), "eventfd");
}

StopSignal::~StopSignal() { ::close(fd_); }

void StopSignal::Raise() noexcept {
  const int savedErrno = errno;  // a signal handler must leave errno alone
  raised_.store(true, std::memory_order_release);
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
  errno = savedErrno;
}

}  // namespace fixture_sim
