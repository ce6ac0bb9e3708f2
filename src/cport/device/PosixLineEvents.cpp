// The wait for line events. It sleeps in one poll() on four descriptors: the
// device's epoll set (which holds the tty edge-triggered), the caller's stop
// event, the device's wake eventfd (mask changes, events queued by another
// thread) and the modem watch's eventfd. It never wakes on a timer.
//
// Edge-triggered, because a tty's readiness is a level: bytes that stay in
// the kernel while the receive queue is full would make a level-driven wait
// return at once, forever. With the edge, a wake means the driver has news
// (received bytes, room to send, hang-up). Every wake moves the tty's bytes
// into the receive queue, which is where the receive events come from: a
// Windows driver raises them as it queues bytes, and only bytes that have been
// read can show an event character or an error mark.
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "cport/device/PosixComDevice.h"
#include "cport/device/PosixModemWatch.h"

namespace cport::device {
namespace {

std::error_code Errno(int e) { return {e, std::system_category()}; }

void Drain(int eventfd) {
  std::uint64_t value;
  [[maybe_unused]] ssize_t n = ::read(eventfd, &value, sizeof value);
}

}  // namespace

namespace {
constexpr std::uint32_t kModemEvents = kEvCts | kEvDsr | kEvRlsd | kEvRing;
}  // namespace

std::error_code PosixComDevice::SetEventMask(std::uint32_t mask) noexcept {
  if (fd_ < 0) return Errno(EBADF);
  event_mask_ = mask;
  {
    // Bytes queued already (taken in when the line was set up, before any
    // mask) are reported by the next wait rather than waiting for more.
    std::lock_guard lock(mu_);
    if ((mask & kEvRxChar) && !rx_queue_.empty()) line_events_ |= kEvRxChar;
  }
  ++mask_changes_;
  const std::uint64_t one = 1;
  if (::write(wake_fd_, &one, sizeof one) < 0 && errno != EAGAIN) return Errno(errno);
  if (!has_counters_) return {};  // no TIOCMIWAIT without counters (a pseudo-terminal)
  if ((mask & kModemEvents) == 0) {
    modem_watch_->Stop();
    return {};
  }
  const int fd = fd_;
  return modem_watch_->Start(
      [fd] { return ::ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG); },
      [fd](ModemCounts& out) {
        serial_icounter_struct icount{};
        if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
        out = {static_cast<std::uint32_t>(icount.cts), static_cast<std::uint32_t>(icount.dsr),
               static_cast<std::uint32_t>(icount.dcd), static_cast<std::uint32_t>(icount.rng)};
        return true;
      });
}

std::error_code PosixComDevice::WaitForLineEvents(const ManualResetEvent& stop,
                                                  std::uint32_t& events) noexcept {
  events = 0;
  if (fd_ < 0) return Errno(EBADF);
  const std::uint32_t mask = event_mask_;
  if (mask == 0) return Errno(EINVAL);
  // Drained before the change count is taken: a change after this point
  // both bumps the count and leaves the eventfd readable. Drained again at
  // every turn, before the queued events are looked at, for the same reason.
  Drain(wake_fd_);
  const std::uint64_t mask_changes = mask_changes_;
  for (;;) {
    if (stop.IsSet()) return Errno(ECANCELED);
    if (mask_changes_ != mask_changes) return {};
    Drain(wake_fd_);
    if (mask_changes_ != mask_changes) return {};
    if (auto ec = CollectLineEvents(mask, events)) return ec;
    if (events != 0) return {};
    pollfd fds[4] = {{epoll_fd_, POLLIN, 0},
                     {stop.Handle(), POLLIN, 0},
                     {wake_fd_, POLLIN, 0},
                     {modem_watch_->wake_fd(), POLLIN, 0}};
    if (::poll(fds, 4, -1) < 0 && errno != EINTR) return Errno(errno);
  }
}

std::error_code PosixComDevice::CollectLineEvents(std::uint32_t mask,
                                                  std::uint32_t& events) noexcept {
  // A hang-up is a level as well as an edge: check it every time, so that a
  // wait started after the line went away still reports it.
  if (auto ec = HungUp()) return ec;
  epoll_event ready[1];
  const int n = ::epoll_wait(epoll_fd_, ready, 1, 0);
  if (n < 0) return errno == EINTR ? std::error_code{} : Errno(errno);

  if (n == 1 && (ready[0].events & (EPOLLHUP | EPOLLERR))) return Errno(EIO);
  {
    std::lock_guard lock(mu_);
    if (auto ec = FillLocked()) return ec;
    events |= std::exchange(line_events_, 0u);
  }

  events |= modem_watch_->Take();

  if ((mask & kEvTxEmpty) && tx_since_empty_.exchange(false)) {
    int out_queue = 0;
    if (::ioctl(fd_, TIOCOUTQ, &out_queue) != 0) return Errno(errno);
    if (out_queue == 0) {
      events |= kEvTxEmpty;
    } else {
      tx_since_empty_ = true;  // the driver's wake-up when it drains brings us back
    }
  }
  events &= mask;
  return {};
}

}  // namespace cport::device
