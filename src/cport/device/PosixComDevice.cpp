#include "cport/device/PosixComDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "cport/device/PortPath.h"
#include "cport/device/PosixLineSettings.h"
#include "cport/device/PosixModemWatch.h"

namespace cport::device {
namespace {

std::error_code Errno(int e) { return {e, std::system_category()}; }
std::error_code LastError() { return Errno(errno); }

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
  const int mask_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (mask_fd < 0) return fail_held(errno);
  const int epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event interest{};
  interest.events = EPOLLIN | EPOLLOUT | EPOLLET;
  interest.data.fd = fd;
  if (epoll_fd < 0 || ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &interest) != 0) {
    const int e = errno;
    if (epoll_fd >= 0) ::close(epoll_fd);
    ::close(mask_fd);
    return fail_held(e);
  }

  fd_ = fd;
  epoll_fd_ = epoll_fd;
  mask_fd_ = mask_fd;
  modem_watch_ = std::move(modem_watch);
  ++generation_;
  LineCounters counters;
  has_counters_ = ReadCounters(counters);
  {
    std::lock_guard lock(mu_);
    timeouts_ = {};
    input_size_ = output_size_ = 0;
    discard_nul_ = false;
    read_abort_ = std::move(read_abort);
    write_abort_ = std::move(write_abort);
    pending_read_.reset();
    pending_write_.reset();
    errors_base_ = counters;
  }
  event_mask_ = 0;
  rx_consumed_ = 0;
  tx_since_empty_ = false;
  reported_in_queue_ = 0;
  reported_consumed_ = 0;
  reported_80_full_ = false;
  events_base_ = counters;
  return {};
}

std::error_code PosixComDevice::Close() noexcept {
  if (fd_ < 0) return {};
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
  ::close(mask_fd_);
  // close() releases the descriptor (and the advisory lock) even when it
  // reports an error, so the device counts as closed either way.
  const int r = ::close(fd_);
  const int e = errno;
  fd_ = epoll_fd_ = mask_fd_ = -1;
  return r == 0 || e == EINTR ? std::error_code{} : Errno(e);
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
  discard_nul_ = request.discard_nul;
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
    if (rx) ++rx_consumed_;
    if (::tcflush(fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0) return LastError();
    if (rx) ++rx_consumed_;
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
  if (auto ec = HungUp()) return ec;
  int in_queue = 0;
  if (Ioctl(fd_, FIONREAD, &in_queue) != 0) return LastError();
  status.InQueue = static_cast<std::uint32_t>(in_queue);
  LineCounters now;
  if (has_counters_ && ReadCounters(now)) {
    std::lock_guard lock(mu_);
    const LineCounters& was = errors_base_;
    if (now.frame != was.frame) status.Errors |= kCeFrame;
    if (now.parity != was.parity) status.Errors |= kCeRxParity;
    if (now.overrun != was.overrun) status.Errors |= kCeOverrun;
    if (now.buf_overrun != was.buf_overrun) status.Errors |= kCeRxOver;
    if (now.brk != was.brk) status.Errors |= kCeBreak;
    errors_base_ = now;
  }
  return {};
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
