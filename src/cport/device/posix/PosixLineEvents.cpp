// The wait for line events. It sleeps in one poll() on five descriptors: the
// caller's stop event, the tty itself (for a hang-up only), the device's epoll
// set (which holds the tty edge-triggered), the device's wake eventfd (mask
// changes, events queued by another thread) and the modem watch's eventfd. It
// never wakes on a timer.
//
// Edge-triggered, because a tty's readiness is a level: bytes that stay in
// the kernel while the receive queue is full would make a level-driven wait
// return at once, forever. With the edge, a wake means the driver has news
// (received bytes, room to send, hang-up). Every wake moves the tty's bytes
// into the receive queue, which is where the receive events come from: a
// Windows driver raises them as it queues bytes, and only bytes that have been
// read can show an event character or an error mark.
//
// The same poll() is also the wait's first look: whatever is pending already
// (a stop set before the call, a hang-up, bytes that arrived while no wait
// ran, events another thread queued) makes it return at once, and only the
// descriptors it points at are read. A receive event then costs the worker
// four system calls (the poll, the epoll_wait that takes the edge, the read
// and the poll that starts the next wait) instead of a round of looks at every
// source before each sleep; system calls are much of the cost of a paced line.
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "cport/device/posix/PosixComDevice.h"
#include "cport/device/posix/PosixModemWatch.h"

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
  // The count before the mask: a change that the mask read misses moves the
  // count past this one, and the wait returns for it.
  const std::uint64_t mask_changes = mask_changes_;
  const std::uint32_t mask = event_mask_;
  if (mask == 0) return Errno(EINVAL);
  bool look_first = MustLookFirst(mask);
  for (;;) {
    pollfd fds[5];
    LineEventFds(stop, fds);
    const int n = ::poll(fds, 5, std::exchange(look_first, false) ? 0 : -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno(errno);
    }
    if (fds[0].revents & POLLIN) return Errno(ECANCELED);
    // Drained before the change count is looked at: a change after this
    // point both bumps the count and leaves the eventfd readable.
    if (fds[3].revents & POLLIN) Drain(wake_fd_);
    if (mask_changes_ != mask_changes) return {};
    // A hang-up is a level as well as an edge: poll() reports it to every
    // wait that starts after the line went away.
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) return Errno(EIO);
    if (auto ec = CollectLineEvents(mask, (fds[2].revents & POLLIN) != 0,
                                    (fds[4].revents & POLLIN) != 0, events)) {
      return ec;
    }
    if (events != 0) return {};
  }
}

void PosixComDevice::WaitForLineNews(const ManualResetEvent& stop) noexcept {
  if (fd_ < 0 || MustLookFirst(event_mask_)) return;
  pollfd fds[5];
  LineEventFds(stop, fds);
  // Only a look: the descriptors stay as they are for WaitForLineEvents.
  while (::poll(fds, 5, -1) < 0 && errno == EINTR) {
  }
}

bool PosixComDevice::MustLookFirst(std::uint32_t mask) noexcept {
  // Bytes a fill left in the tty for want of room, and an output queue that
  // may have emptied since the last write.
  if ((mask & kEvTxEmpty) && tx_since_empty_) return true;
  std::lock_guard lock(mu_);
  return tty_holds_more_;
}

void PosixComDevice::LineEventFds(const ManualResetEvent& stop,
                                  pollfd (&fds)[5]) const noexcept {
  fds[0] = {stop.Handle(), POLLIN, 0};
  fds[1] = {fd_, 0, 0};  // POLLHUP and POLLERR come unasked
  fds[2] = {epoll_fd_, POLLIN, 0};
  fds[3] = {wake_fd_, POLLIN, 0};
  fds[4] = {modem_watch_->wake_fd(), POLLIN, 0};
}

std::error_code PosixComDevice::CollectLineEvents(std::uint32_t mask, bool tty_signalled,
                                                  bool modem_signalled,
                                                  std::uint32_t& events) noexcept {
  if (tty_signalled) {
    // Takes the edge, so that the epoll set is readable again only with news.
    epoll_event ready[1];
    const int n = ::epoll_wait(epoll_fd_, ready, 1, 0);
    if (n < 0 && errno != EINTR) return Errno(errno);
    if (n == 1 && (ready[0].events & (EPOLLHUP | EPOLLERR))) return Errno(EIO);
  }
  {
    std::lock_guard lock(mu_);
    // Filled here without waking anyone: the events are this wait's.
    std::uint32_t found = 0;
    if (auto ec = TakeInLocked(tty_signalled, found)) return ec;
    events |= std::exchange(line_events_, 0u);
  }

  // The watch sets its events before it signals, and the signal is drained
  // before they are taken: none is missed, at worst one wake finds nothing.
  if (modem_signalled) events |= modem_watch_->Take();

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
