// Started reads and writes. A start moves what the tty takes or gives without
// blocking; what is left makes the transfer pending, and its wait finishes it
// in poll() on the tty and the direction's abort signal, bounded by the
// timeouts in force when it started. Reads are served from the device's
// receive queue, which they fill first; a pending read also wakes when another
// thread (the line-event wait) has queued bytes. Written bytes wait in the
// kernel's queue, which is where Windows would keep them too.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "cport/device/posix/PosixComDevice.h"
#include "cport/device/TransferLimits.h"

namespace cport::device {
namespace {

std::error_code Errno(int e) { return {e, std::system_category()}; }

}  // namespace

struct PosixComDevice::PosixTransfer : TransferState {
  const PosixComDevice* owner = nullptr;
  std::uint64_t generation = 0;
  bool read = false;
  char* buffer = nullptr;
  const char* data = nullptr;
  std::uint32_t count = 0;
  std::uint32_t done = 0;
  std::error_code error;
  std::shared_ptr<AbortSignal> abort;
  bool immediate = false;      // reads only
  bool return_on_any = false;  // reads only
  std::optional<Clock::time_point> deadline;
  std::optional<std::chrono::milliseconds> interval;
  Clock::time_point last_byte;
};

std::error_code PosixComDevice::StartRead(void* buffer, std::uint32_t count, Transfer& transfer,
                                          std::uint32_t& transferred) noexcept {
  return Start(true, buffer, nullptr, count, transfer, transferred);
}

std::error_code PosixComDevice::StartWrite(const void* data, std::uint32_t count,
                                           Transfer& transfer,
                                           std::uint32_t& transferred) noexcept {
  return Start(false, nullptr, data, count, transfer, transferred);
}

std::error_code PosixComDevice::Start(bool read, void* buffer, const void* data,
                                      std::uint32_t count, Transfer& transfer,
                                      std::uint32_t& transferred) noexcept {
  transferred = 0;
  if (fd_ < 0) return Errno(EBADF);
  if (transfer.IsPending()) return Errno(EINVAL);
  auto t = std::make_shared<PosixTransfer>();
  t->owner = this;
  t->generation = generation_;
  t->read = read;
  t->buffer = static_cast<char*>(buffer);
  t->data = static_cast<const char*>(data);
  t->count = count;
  CommTimeouts timeouts;
  {
    // One transfer per direction at a time: a second one would move its
    // bytes ahead of the first one's remainder.
    std::lock_guard lock(mu_);
    std::weak_ptr<PosixTransfer>& slot = read ? pending_read_ : pending_write_;
    if (!slot.expired()) return Errno(EBUSY);
    slot = t;
    t->abort = read ? read_abort_ : write_abort_;
    timeouts = timeouts_;
  }
  const Clock::time_point now = Clock::now();
  std::optional<std::chrono::milliseconds> total;
  if (read) {
    const ReadLimits limits = ReadLimitsFor(timeouts, count);
    t->immediate = limits.immediate;
    t->return_on_any = limits.return_on_any;
    t->interval = limits.interval;
    total = limits.total;
  } else {
    total = WriteLimitFor(timeouts, count);
  }
  if (total) t->deadline = now + *total;
  t->last_byte = now;
  StateOf(transfer) = t;

  if (auto ec = Progress(*t)) {
    t->error = ec;
    Release(*t);
    return ec;
  }
  if (Finished(*t, Clock::now())) {
    Release(*t);
    transferred = t->done;
    return {};
  }
  t->pending = true;
  return {};
}

std::error_code PosixComDevice::Progress(PosixTransfer& t) noexcept {
  if (t.read) {
    std::lock_guard lock(mu_);
    const std::uint32_t before = t.done;
    while (t.done < t.count) {
      const std::error_code error = FillLocked();
      const std::uint32_t n = TakeLocked(t.buffer + t.done, t.count - t.done);
      if (n == 0) {
        // Bytes queued before a hang-up are delivered first; the failure
        // comes with the next attempt that finds none.
        return t.done > before ? std::error_code{} : error;
      }
      t.done += n;
      t.last_byte = Clock::now();
    }
    return {};
  }
  while (t.done < t.count) {
    const ssize_t n = ::write(fd_, t.data + t.done, t.count - t.done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return {};
      return Errno(errno);
    }
    if (n == 0) return {};
    tx_since_empty_ = true;
    t.done += static_cast<std::uint32_t>(n);
  }
  return {};
}

bool PosixComDevice::Finished(const PosixTransfer& t, Clock::time_point now) const noexcept {
  if (t.done == t.count) return true;
  if (t.immediate || (t.return_on_any && t.done > 0)) return true;
  if (t.deadline && now >= *t.deadline) return true;
  return t.interval && t.done > 0 && now - t.last_byte >= *t.interval;
}

void PosixComDevice::Release(PosixTransfer& t) noexcept {
  std::lock_guard lock(mu_);
  std::weak_ptr<PosixTransfer>& slot = t.read ? pending_read_ : pending_write_;
  if (slot.lock().get() == &t) slot.reset();
}

std::error_code PosixComDevice::WaitForTransfer(Transfer& transfer,
                                                std::uint32_t& transferred) noexcept {
  transferred = 0;
  TransferState* state = StateOf(transfer).get();
  if (state == nullptr) return {};
  auto* t = dynamic_cast<PosixTransfer*>(state);
  if (t == nullptr || t->owner != this) return Errno(EINVAL);
  auto finish = [&](std::error_code ec) {
    t->pending = false;
    t->error = ec;
    Release(*t);
    transferred = t->done;
    return ec;
  };
  if (!t->pending) {
    transferred = t->done;
    return t->error;
  }
  for (;;) {
    if (t->generation != generation_) return finish(Errno(ECANCELED));  // closed since
    const Clock::time_point now = Clock::now();
    if (Finished(*t, now)) return finish({});
    std::optional<Clock::time_point> until = t->deadline;
    if (t->interval && t->done > 0) {
      const Clock::time_point gap_end = t->last_byte + *t->interval;
      if (!until || gap_end < *until) until = gap_end;
    }
    int timeout_ms = -1;
    if (until) {
      // Rounded up: a wait that wakes a fraction early would only spin.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - now).count();
      timeout_ms = static_cast<int>(std::clamp<std::int64_t>(left, 0, 0x7FFFFFFF));
    }
    // A negative descriptor is ignored by poll(): writes have no wake-up.
    pollfd fds[3] = {{fd_, static_cast<short>(t->read ? POLLIN : POLLOUT), 0},
                     {t->abort->fd(), POLLIN, 0},
                     {t->read ? read_wake_fd_ : -1, POLLIN, 0}};
    const int n = ::poll(fds, 3, timeout_ms);
    if (n < 0) {
      if (errno == EINTR) continue;
      return finish(Errno(errno));
    }
    if (fds[1].revents & POLLIN) return finish(Errno(ECANCELED));
    if (fds[2].revents & POLLIN) {
      // Drained before the queue is looked at, so a later fill wakes again.
      std::uint64_t count;
      [[maybe_unused]] ssize_t r = ::read(read_wake_fd_, &count, sizeof count);
    }
    if (fds[0].revents == 0 && fds[2].revents == 0) continue;
    const std::uint32_t before = t->done;
    if (auto ec = Progress(*t)) return finish(ec);
    if (t->done == before && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
      return finish(Errno(EIO));
    }
  }
}

}  // namespace cport::device
