#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "cport/device/ManualResetEvent.h"

namespace cport::device {

// An eventfd stays readable while its counter is above zero, which is exactly
// a manual-reset event: Set adds one, Reset drains the counter.
ManualResetEvent::ManualResetEvent() noexcept : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (handle_ < 0) error_ = std::error_code(errno, std::system_category());
}

ManualResetEvent::~ManualResetEvent() {
  if (handle_ >= 0) ::close(handle_);
}

void ManualResetEvent::Set() noexcept {
  if (handle_ < 0) return;
  const std::uint64_t one = 1;
  // Only EAGAIN (counter at its maximum, so still set) can make this fail.
  [[maybe_unused]] ssize_t n = ::write(handle_, &one, sizeof one);
}

void ManualResetEvent::Reset() noexcept {
  if (handle_ < 0) return;
  std::uint64_t value = 0;
  [[maybe_unused]] ssize_t n = ::read(handle_, &value, sizeof value);
}

bool ManualResetEvent::IsSet() const noexcept {
  if (handle_ < 0) return false;
  pollfd p{handle_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

std::error_code WaitForAnyEvent(std::initializer_list<const ManualResetEvent*> events,
                                std::chrono::milliseconds timeout, int& which) noexcept {
  which = -1;
  std::vector<pollfd> fds;
  fds.reserve(events.size());
  for (const ManualResetEvent* e : events) fds.push_back({e->Handle(), POLLIN, 0});
  const int ms = timeout.count() < 0            ? -1
                 : timeout.count() > 0x7FFFFFFF ? 0x7FFFFFFF
                                                : static_cast<int>(timeout.count());
  int n;
  do {
    n = ::poll(fds.data(), fds.size(), ms);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return {errno, std::system_category()};
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents & POLLIN) {
      which = static_cast<int>(i);
      break;
    }
  }
  return {};
}

}  // namespace cport::device
