#include "cport/device/posix/PosixComDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "cport/device/PortPath.h"
#include "cport/device/posix/PosixLineSettings.h"
#include "cport/device/posix/PosixModemWatch.h"
#include "cport/device/TransferLimits.h"

namespace cport::device {
namespace {

std::error_code Errno(int e) { return {e, std::system_category()}; }
std::error_code LastError() { return Errno(errno); }

// The receive queue's least size, whatever SetQueueSizes asks: as with the
// Windows serial driver, whose queue a smaller request does not shrink, and
// the kernel's own line buffer behind it holds as much.
constexpr std::size_t kLeastInputQueue = 4096;

// A pseudo-terminal has no modem lines and no error counters: its driver
// answers those ioctls with ENOTTY (no such operation) or EINVAL.
bool NotSupported(int e) { return e == ENOTTY || e == EINVAL; }

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = ::ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r;
}

}  // namespace

AbortSignal::AbortSignal() noexcept : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

AbortSignal::~AbortSignal() {
  if (fd_ >= 0) ::close(fd_);
}

void AbortSignal::Fire() noexcept {
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

PosixComDevice::~PosixComDevice() { Close(); }

std::error_code PosixComDevice::Open(std::string_view port_name) noexcept {
  if (fd_ >= 0) return Errno(EALREADY);
  const std::string path = DevicePathForPort(port_name);
  if (path.empty()) return Errno(ENOENT);

  // O_NONBLOCK: neither the open (waiting for carrier) nor any read or write
  // may block; the transfers wait in poll() where an abort can reach them.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError();
  auto fail = [fd](int e) {
    ::close(fd);
    return Errno(e);
  };
  if (!::isatty(fd)) return fail(ENOTTY);
  // Two locks, because each misses a case: TIOCEXCL makes the kernel refuse
  // further opens of the tty but lets root through; the advisory lock stops
  // every cooperating opener (this program, other instances), root included.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  if (Ioctl(fd, TIOCEXCL, nullptr) != 0) return fail(errno);
  // From here on the exclusive flag is ours to clear again on failure.
  auto fail_held = [fd](int e) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return Errno(e);
  };

  // The device's own wake-up objects. The tty sits edge-triggered in an epoll
  // set for the whole open, so that bytes arriving while no line-event wait is
  // pending are still reported by the next wait.
  auto read_abort = std::make_shared<AbortSignal>();
  auto write_abort = std::make_shared<AbortSignal>();
  if (read_abort->fd() < 0 || write_abort->fd() < 0) return fail_held(errno);
  auto modem_watch = std::make_unique<ModemWatch>();
  if (modem_watch->Error()) return fail_held(modem_watch->Error().value());
  const int wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int read_wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event interest{};
  interest.events = EPOLLIN | EPOLLOUT | EPOLLET;
  interest.data.fd = fd;
  if (wake_fd < 0 || read_wake_fd < 0 || epoll_fd < 0 ||
      ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &interest) != 0) {
    const int e = errno;
    for (int own : {wake_fd, read_wake_fd, epoll_fd}) {
      if (own >= 0) ::close(own);
    }
    return fail_held(e);
  }

  fd_ = fd;
  epoll_fd_ = epoll_fd;
  wake_fd_ = wake_fd;
  read_wake_fd_ = read_wake_fd;
  modem_watch_ = std::move(modem_watch);
  ++generation_;
  LineCounters counters;
  has_counters_ = ReadCounters(counters);
  {
    std::lock_guard lock(mu_);
    timeouts_ = {};
    input_size_ = output_size_ = 0;
    rules_ = {};
    input_flow_ = tx_continue_ = xoff_sent_ = output_held_ = false;
    xon_lim_ = xoff_lim_ = 0;
    line_rate_ = 0;
    bits_per_char_ = 10;
    read_abort_ = std::move(read_abort);
    write_abort_ = std::move(write_abort);
    pending_read_.reset();
    pending_write_.reset();
    counters_base_ = counters;
    marked_.Reset();
    rx_queue_.clear();
    line_errors_ = line_events_ = 0;
    reported_80_full_ = false;
    tty_holds_more_ = true;
  }
  event_mask_ = 0;
  tx_since_empty_ = false;
  return {};
}

std::error_code PosixComDevice::Close() noexcept {
  if (fd_ < 0) return {};
  {
    // Our own hold on output (input flow, fTxContinueOnXoff off) would keep
    // the accepted output from leaving.
    std::lock_guard lock(mu_);
    if (output_held_) ::tcflow(fd_, TCOON);
    output_held_ = false;
  }
  DrainOutput();
  {
    // Transfers still pending end with ECANCELED, as they do when Windows
    // closes a handle with I/O in flight.
    std::lock_guard lock(mu_);
    read_abort_->Fire();
    write_abort_->Fire();
    read_abort_.reset();
    write_abort_.reset();
    pending_read_.reset();
    pending_write_.reset();
  }
  ++generation_;
  modem_watch_.reset();  // its thread leaves the ioctl before the descriptor goes
  // The exclusive flag outlives our descriptor while the other side of a
  // pseudo-terminal stays open; clear it so that the next open succeeds.
  ::ioctl(fd_, TIOCNXCL);
  ::close(epoll_fd_);
  ::close(wake_fd_);
  ::close(read_wake_fd_);
  {
    std::lock_guard lock(mu_);
    rx_queue_.clear();
  }
  // close() releases the descriptor (and the advisory lock) even when it
  // reports an error, so the device counts as closed either way.
  const int r = ::close(fd_);
  const int e = errno;
  fd_ = epoll_fd_ = wake_fd_ = read_wake_fd_ = -1;
  return r == 0 || e == EINTR ? std::error_code{} : Errno(e);
}

// Output the driver has accepted belongs to the line: a close lets it leave
// instead of throwing it away, as a Windows close does (its purge at close
// aborts transfers, it does not clear the transmit queue). tcdrain() would wait
// without limit, and flow control (XOFF, CTS off) can hold output for ever, so
// the wait is bounded and polls the queue in short steps; what is left at the
// bound is flushed, or the kernel's own close would wait up to the driver's
// closing_wait (30 s on a UART) for it.
void PosixComDevice::DrainOutput() noexcept {
  int queued = 0;
  if (Ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
  std::chrono::milliseconds limit;
  {
    std::lock_guard lock(mu_);
    limit =
        DrainLimitFor(timeouts_, line_rate_, bits_per_char_, static_cast<std::uint32_t>(queued));
  }
  const Clock::time_point deadline = Clock::now() + limit;
  constexpr std::chrono::milliseconds kStep{5};
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      ::tcflush(fd_, TCOFLUSH);
      return;
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(kStep, deadline - now));
    if (Ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
  }
}

std::error_code PosixComDevice::SetQueueSizes(std::uint32_t input_size,
                                              std::uint32_t output_size) noexcept {
  if (fd_ < 0) return Errno(EBADF);
  if (input_size > 0x7FFFFFFFu || output_size > 0x7FFFFFFFu) return Errno(EINVAL);
  std::lock_guard lock(mu_);
  input_size_ = input_size;
  output_size_ = output_size;
  return {};
}

std::error_code PosixComDevice::SetLineSettings(const Dcb& dcb) noexcept {
  if (fd_ < 0) return Errno(EBADF);
  LineRequest request;
  if (auto ec = DcbToTermios(dcb, request)) return ec;
  KernelTermios previous;
  if (auto ec = GetKernelTermios(fd_, previous)) return ec;
  const KernelTermios wanted = ToKernelTermios(request);
  if (auto ec = SetKernelTermios(fd_, wanted, request.custom_speed)) return ec;
  if ((previous.iflag & PARMRK) == 0) {
    // The tty did not mark its input until now (a fresh port, another
    // program's settings): what it holds cannot be told from marks, and a
    // 0xFF 0x00 pair of data would read as an error and lose two bytes. A
    // Windows driver starts with an empty queue at open; so does the port.
    // The flush comes after the switch, so everything left is marked.
    std::lock_guard lock(mu_);
    if (::tcflush(fd_, TCIFLUSH) != 0) return LastError();
    marked_.Reset();
  }

  // The kernel answers success when it took only part of the request (a
  // pseudo-terminal forces 8 bits without parity; a UART driver falls back
  // to another speed), so look at what it kept.
  KernelTermios applied;
  if (auto ec = GetKernelTermios(fd_, applied)) return ec;
  if (!AppliedAsRequested(wanted, applied)) {
    SetKernelTermios(fd_, previous, false);
    return Errno(EINVAL);
  }
  for (auto [lines, request_code] :
       {std::pair{request.lines_to_set, TIOCMBIS}, std::pair{request.lines_to_clear, TIOCMBIC}}) {
    if (lines != 0 && Ioctl(fd_, request_code, &lines) != 0 && !NotSupported(errno)) {
      return LastError();
    }
  }
  std::lock_guard lock(mu_);
  rules_ = request.receive;
  input_flow_ = (dcb.Flags & kDcbInX) != 0;
  tx_continue_ = (dcb.Flags & kDcbTxContinueOnXoff) != 0;
  xon_lim_ = dcb.XonLim;
  xoff_lim_ = dcb.XoffLim;
  if (tx_continue_ && output_held_) {
    ::tcflow(fd_, TCOON);
    output_held_ = false;
  }
  UnthrottleLocked(!input_flow_);
  ThrottleLocked();
  line_rate_ = request.rate;
  bits_per_char_ = 1u + dcb.ByteSize + (dcb.Parity != kNoParity ? 1u : 0u) +
                   (dcb.StopBits == kOneStopBit ? 1u : 2u);
  return {};
}

std::error_code PosixComDevice::SetTimeouts(const CommTimeouts& timeouts) noexcept {
  if (fd_ < 0) return Errno(EBADF);
  std::lock_guard lock(mu_);
  timeouts_ = timeouts;
  return {};
}

std::error_code PosixComDevice::Purge(std::uint32_t flags) noexcept {
  if (fd_ < 0) return Errno(EBADF);
  if ((flags & ~(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear)) != 0) {
    return Errno(EINVAL);
  }
  if (flags & (kPurgeTxAbort | kPurgeRxAbort)) {
    // Fresh signals first, so that a failure changes nothing.
    std::shared_ptr<AbortSignal> next_read, next_write;
    if (flags & kPurgeRxAbort) next_read = std::make_shared<AbortSignal>();
    if (flags & kPurgeTxAbort) next_write = std::make_shared<AbortSignal>();
    if ((next_read && next_read->fd() < 0) || (next_write && next_write->fd() < 0)) {
      return LastError();
    }
    std::lock_guard lock(mu_);
    if (next_read) {
      std::exchange(read_abort_, next_read)->Fire();
      pending_read_.reset();
    }
    if (next_write) {
      std::exchange(write_abort_, next_write)->Fire();
      pending_write_.reset();
    }
  }
  const bool rx = (flags & kPurgeRxClear) != 0;
  const bool tx = (flags & kPurgeTxClear) != 0;
  if (rx || tx) {
    // Under the lock, so that no fill moves bytes between the kernel's flush
    // and the queue's.
    std::lock_guard lock(mu_);
    if (::tcflush(fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0) return LastError();
    if (rx) {
      rx_queue_.clear();
      tty_holds_more_ = false;
      marked_.Reset();
      reported_80_full_ = false;
      UnthrottleLocked(false);
    }
  }
  return {};
}

bool PosixComDevice::ReadCounters(LineCounters& out) const noexcept {
  serial_icounter_struct icount{};
  if (Ioctl(fd_, TIOCGICOUNT, &icount) != 0) return false;
  out.frame = static_cast<std::uint32_t>(icount.frame);
  out.parity = static_cast<std::uint32_t>(icount.parity);
  out.overrun = static_cast<std::uint32_t>(icount.overrun);
  out.buf_overrun = static_cast<std::uint32_t>(icount.buf_overrun);
  out.brk = static_cast<std::uint32_t>(icount.brk);
  return true;
}

std::error_code PosixComDevice::ClearErrors(LineStatus& status) noexcept {
  status = {};
  if (fd_ < 0) return Errno(EBADF);
  // One look tells both whether the line is gone and whether the tty has
  // bytes: in the common case the line-event wait has just moved them, and
  // the read that would find nothing is saved. (With VMIN 1 the tty is
  // readable exactly when a read would return bytes.)
  pollfd look{fd_, POLLIN, 0};
  if (::poll(&look, 1, 0) < 0 && errno != EINTR) return LastError();
  if (look.revents & (POLLHUP | POLLERR | POLLNVAL)) return Errno(EIO);
  std::lock_guard lock(mu_);
  if (auto ec = FillLocked((look.revents & POLLIN) != 0)) return ec;
  status.Errors = std::exchange(line_errors_, 0u);
  status.InQueue = static_cast<std::uint32_t>(rx_queue_.size());
  return {};
}

std::error_code PosixComDevice::FillLocked(bool tty_readable) noexcept {
  std::uint32_t found = 0;
  const std::error_code error = TakeInLocked(tty_readable, found);
  if (found != 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_fd_, &one, sizeof one);
  }
  return error;
}

std::error_code PosixComDevice::TakeInLocked(bool tty_readable, std::uint32_t& found) noexcept {
  found = 0;
  // The counters first: a marked error in the bytes read below was counted
  // by the driver before the line discipline saw it.
  CountedErrors counted;
  std::uint32_t events = 0;
  LineCounters now;
  if (has_counters_ && ReadCounters(now)) {
    const LineCounters& was = counters_base_;
    counted = {true, now.parity != was.parity, now.frame != was.frame, now.brk != was.brk};
    std::uint32_t errors = 0;
    if (counted.frame) errors |= kCeFrame;
    if (counted.parity) errors |= kCeRxParity;
    if (now.overrun != was.overrun) errors |= kCeOverrun;
    if (now.buf_overrun != was.buf_overrun) errors |= kCeRxOver;
    if (counted.brk) errors |= kCeBreak;
    if (errors & ~kCeBreak) events |= kEvErr;
    if (errors & kCeBreak) events |= kEvBreak;
    line_errors_ |= errors;
    counters_base_ = now;
  }

  const std::size_t capacity = CapacityLocked();
  std::error_code error;
  bool queued = false;
  // Each raw byte makes at most one data byte, so reading no more than the
  // room left never overfills the queue.
  while ((tty_readable || tty_holds_more_) && rx_queue_.size() < capacity) {
    std::uint8_t raw[4096];
    const std::size_t room = std::min(sizeof raw, capacity - rx_queue_.size());
    const ssize_t n = ::read(fd_, raw, room);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) error = LastError();
      tty_holds_more_ = false;
      break;
    }
    if (n == 0) {
      // A tty with VMIN 1 says "nothing yet" with EAGAIN; 0 is the end of a
      // hung-up line (or, before the port configured it, an empty queue).
      error = HungUp();
      tty_holds_more_ = false;
      break;
    }
    decoded_.clear();
    const DecodeResult decoded =
        marked_.Decode({raw, static_cast<std::size_t>(n)}, rules_, counted, decoded_);
    rx_queue_.insert(rx_queue_.end(), decoded_.begin(), decoded_.end());
    line_errors_ |= decoded.errors;
    events |= decoded.events;
    queued = queued || decoded.appended > 0;
    // A short read took all there was; a full one may have left more, which
    // the next fill reads even when no poll() points at it.
    tty_holds_more_ = static_cast<std::size_t>(n) == room;
    if (!tty_holds_more_) break;
  }
  Note80FullLocked(events);
  ThrottleLocked();

  // A pending read sleeps until bytes are queued; nobody else listens.
  if (queued && !pending_read_.expired()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(read_wake_fd_, &one, sizeof one);
  }
  // Only the watched events are kept, as a Windows driver records them.
  found = events & event_mask_;
  line_events_ |= found;
  return error;
}

void PosixComDevice::Note80FullLocked(std::uint32_t& events) noexcept {
  const bool full =
      input_size_ > 0 && std::uint64_t{rx_queue_.size()} * 5 >= std::uint64_t{input_size_} * 4;
  if (full && !reported_80_full_) events |= kEvRx80Full;
  reported_80_full_ = full;
}

std::uint32_t PosixComDevice::TakeLocked(char* out, std::uint32_t count) noexcept {
  const std::size_t n = std::min<std::size_t>(count, rx_queue_.size());
  std::copy_n(rx_queue_.begin(), n, out);
  rx_queue_.erase(rx_queue_.begin(), rx_queue_.begin() + static_cast<std::ptrdiff_t>(n));
  if (n > 0) {
    std::uint32_t ignored = 0;
    Note80FullLocked(ignored);
    UnthrottleLocked(false);
  }
  return static_cast<std::uint32_t>(n);
}

std::size_t PosixComDevice::CapacityLocked() const noexcept {
  return std::max<std::size_t>(input_size_, kLeastInputQueue);
}

// tcflow() sends the flow characters ahead of any queued output (TCIOFF,
// TCION) and stops or restarts our own output (TCOOFF, TCOON). Best effort: a
// line that refuses them has gone away, which the next transfer reports.
void PosixComDevice::ThrottleLocked() noexcept {
  if (!input_flow_ || xoff_sent_) return;
  const std::size_t capacity = CapacityLocked();
  const std::size_t free = rx_queue_.size() < capacity ? capacity - rx_queue_.size() : 0;
  if (free >= xoff_lim_) return;
  ::tcflow(fd_, TCIOFF);
  xoff_sent_ = true;
  if (!tx_continue_) {
    ::tcflow(fd_, TCOOFF);
    output_held_ = true;
  }
}

// `always`: lift what is in force whatever the queue holds (the settings no
// longer ask for it).
void PosixComDevice::UnthrottleLocked(bool always) noexcept {
  if (!always && rx_queue_.size() >= xon_lim_) return;
  // Output restarts first: while TCOOFF holds it the kernel drops a flow
  // character sent without a send_xchar driver operation (a pseudo-terminal).
  // A UART sends the XON ahead of the queued output all the same.
  if (output_held_) {
    ::tcflow(fd_, TCOON);
    output_held_ = false;
  }
  if (xoff_sent_) {
    ::tcflow(fd_, TCION);
    xoff_sent_ = false;
  }
}

std::error_code PosixComDevice::GetModemStatus(std::uint32_t& status) noexcept {
  status = 0;
  if (fd_ < 0) return Errno(EBADF);
  int lines = 0;
  if (Ioctl(fd_, TIOCMGET, &lines) != 0) return NotSupported(errno) ? HungUp() : LastError();
  if (lines & TIOCM_CTS) status |= kMsCtsOn;
  if (lines & TIOCM_DSR) status |= kMsDsrOn;
  if (lines & TIOCM_RNG) status |= kMsRingOn;
  if (lines & TIOCM_CAR) status |= kMsRlsdOn;
  return {};
}

std::error_code PosixComDevice::HungUp() const noexcept {
  pollfd p{fd_, 0, 0};
  if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return Errno(EIO);
  return {};
}

std::unique_ptr<ComDevice> CreatePlatformComDevice() { return std::make_unique<PosixComDevice>(); }

}  // namespace cport::device
