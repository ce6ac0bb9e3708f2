#pragma once
// The device on Linux: a tty opened non-blocking and configured through
// termios2. Only the device layer includes this; everyone else goes through
// ComDevice and CreatePlatformComDevice.
//
// Split by concern over three files: PosixComDevice.cpp (open, close, settings,
// purge, queries, the receive queue), PosixTransfers.cpp (started reads and
// writes and their waits), PosixLineEvents.cpp (the wait for line events), with
// PosixModemWatch.cpp as the helper for modem-line changes and
// PosixMarkedInput.cpp for the received bytes' error marks.
//
// The receive queue. As a Windows driver does, the device keeps its own queue
// of up to the input queue size (SetQueueSizes; at least 4096 bytes, as the
// Windows serial driver keeps at least its default):
// the tty's bytes move into it whenever the line-event wait wakes, a read runs
// or ClearErrors asks, and reads are served from it. Only so can the device see
// what arrives (event characters, error marks, NUL bytes it drops) before it
// reports a count, so that the count of a kEvRxChar equals what a read returns.
// With XON/XOFF input flow (fInX) the device stops the sender when fewer than
// XoffLim bytes of the queue are free and lets it go on when fewer than XonLim
// bytes are left in it, holding its own output meanwhile unless
// fTxContinueOnXoff is set, as a Windows driver does. While the queue is full
// the bytes stay in the kernel, whose own buffer then throttles the line (its
// thresholds, for RTS handshake too).
#include <poll.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "cport/device/ComDevice.h"
#include "cport/device/posix/PosixMarkedInput.h"

namespace cport::device {

class ModemWatch;

// The driver's cumulative line counters (TIOCGICOUNT), the part we report.
struct LineCounters {
  std::uint32_t frame = 0;
  std::uint32_t parity = 0;
  std::uint32_t overrun = 0;
  std::uint32_t buf_overrun = 0;
  std::uint32_t brk = 0;
};

// Fired once by a purge-abort (or a close) and never reset: the transfers
// started under it see it for good, while transfers started after the purge
// get the next one. One per direction and purge.
class AbortSignal {
 public:
  AbortSignal() noexcept;
  ~AbortSignal();
  AbortSignal(const AbortSignal&) = delete;
  AbortSignal& operator=(const AbortSignal&) = delete;
  int fd() const noexcept { return fd_; }
  void Fire() noexcept;

 private:
  int fd_;
};

class PosixComDevice final : public ComDevice {
 public:
  PosixComDevice() = default;
  ~PosixComDevice() override;

  std::error_code Open(std::string_view port_name) noexcept override;
  std::error_code Close() noexcept override;
  bool IsOpen() const noexcept override { return fd_ >= 0; }
  std::error_code SetQueueSizes(std::uint32_t input_size,
                                std::uint32_t output_size) noexcept override;
  std::error_code SetLineSettings(const Dcb& dcb) noexcept override;
  std::error_code SetTimeouts(const CommTimeouts& timeouts) noexcept override;
  std::error_code Purge(std::uint32_t flags) noexcept override;
  std::error_code ClearErrors(LineStatus& status) noexcept override;
  std::error_code GetModemStatus(std::uint32_t& status) noexcept override;
  std::error_code StartRead(void* buffer, std::uint32_t count, Transfer& transfer,
                            std::uint32_t& transferred) noexcept override;
  std::error_code StartWrite(const void* data, std::uint32_t count, Transfer& transfer,
                             std::uint32_t& transferred) noexcept override;
  std::error_code WaitForTransfer(Transfer& transfer, std::uint32_t& transferred) noexcept override;
  std::error_code SetEventMask(std::uint32_t mask) noexcept override;
  std::error_code WaitForLineEvents(const ManualResetEvent& stop,
                                    std::uint32_t& events) noexcept override;
  void WaitForLineNews(const ManualResetEvent& stop) noexcept override;

 private:
  struct PosixTransfer;
  using Clock = std::chrono::steady_clock;

  std::error_code Start(bool read, void* buffer, const void* data, std::uint32_t count,
                        Transfer& transfer, std::uint32_t& transferred) noexcept;
  // Moves what can be moved without blocking; an error ends the transfer.
  std::error_code Progress(PosixTransfer& t) noexcept;
  bool Finished(const PosixTransfer& t, Clock::time_point now) const noexcept;
  void Release(PosixTransfer& t) noexcept;  // frees the device's slot
  // Whether the line-event wait must look before it first sleeps: at what no
  // descriptor announces.
  bool MustLookFirst(std::uint32_t mask) noexcept;
  // The descriptors the line-event wait sleeps on, in the order it reads them.
  void LineEventFds(const ManualResetEvent& stop, pollfd (&fds)[5]) const noexcept;
  // What the line-event wait found once poll() returned: `tty_signalled` when
  // the tty's epoll set was readable, `modem_signalled` when the modem watch's
  // eventfd was.
  std::error_code CollectLineEvents(std::uint32_t mask, bool tty_signalled, bool modem_signalled,
                                    std::uint32_t& events) noexcept;
  // With mu_ held: moves what the tty holds into the receive queue, as far as
  // it has room, and adds the watched events that came with it to
  // line_events_ (also in `found`), with the errors to line_errors_; fails
  // with EIO when the line is gone (what was queued before stays).
  // `tty_readable` false: the caller's poll() found nothing to read, so the
  // tty is read only if an earlier fill left bytes there for want of room.
  std::error_code TakeInLocked(bool tty_readable, std::uint32_t& found) noexcept;
  // TakeInLocked for any thread but the line-event wait's: wakes the wait when
  // it found events for it.
  std::error_code FillLocked(bool tty_readable = true) noexcept;
  // With mu_ held: moves up to `count` queued bytes to `out`; their number.
  std::uint32_t TakeLocked(char* out, std::uint32_t count) noexcept;
  void Note80FullLocked(std::uint32_t& events) noexcept;
  // With mu_ held: XON/XOFF input flow at the queue's XoffLim / XonLim.
  void ThrottleLocked() noexcept;
  void UnthrottleLocked(bool always) noexcept;
  std::size_t CapacityLocked() const noexcept;
  bool ReadCounters(LineCounters& out) const noexcept;
  void DrainOutput() noexcept;              // lets accepted output leave before a close
  std::error_code HungUp() const noexcept;  // EIO when the line is gone, else none

  // Set by Open and Close only, which never overlap any other call.
  int fd_ = -1;
  int epoll_fd_ = -1;      // the tty, edge-triggered: arrivals between waits are kept
  int wake_fd_ = -1;       // eventfd for the line-event wait: the mask changed or events queued
  int read_wake_fd_ = -1;  // eventfd for a pending read: received bytes were queued
  std::uint64_t generation_ = 0;  // counts opens and closes; a transfer belongs to one
  bool has_counters_ = false;     // the driver answers TIOCGICOUNT
  // Modem-line changes, where the driver has counters; its thread runs while
  // the event mask asks for modem events.
  std::unique_ptr<ModemWatch> modem_watch_;

  mutable std::mutex mu_;  // guards the members down to the next blank line
  CommTimeouts timeouts_;
  std::uint32_t input_size_ = 0;
  std::uint32_t output_size_ = 0;
  ReceiveRules rules_;
  bool input_flow_ = false;   // fInX: the device sends XOFF / XON itself
  bool tx_continue_ = false;  // fTxContinueOnXoff
  std::uint32_t xon_lim_ = 0;
  std::uint32_t xoff_lim_ = 0;
  bool xoff_sent_ = false;            // the sender has been stopped
  bool output_held_ = false;          // our own output waits for the XON we send
  std::uint32_t line_rate_ = 0;       // bits per second, from the last line settings
  std::uint32_t bits_per_char_ = 10;  // start, data, parity and stop bits
  std::shared_ptr<AbortSignal> read_abort_;
  std::shared_ptr<AbortSignal> write_abort_;
  std::weak_ptr<PosixTransfer> pending_read_;
  std::weak_ptr<PosixTransfer> pending_write_;
  LineCounters counters_base_;  // the driver's counters at the last look
  MarkedInput marked_;
  std::deque<char> rx_queue_;
  std::string decoded_;            // FillLocked's scratch
  std::uint32_t line_errors_ = 0;  // kCe* flags since ClearErrors last took them
  std::uint32_t line_events_ = 0;  // watched kEv* bits not yet reported by a wait
  bool reported_80_full_ = false;
  bool tty_holds_more_ = true;  // the last fill stopped for want of room (or none ran yet)

  std::atomic<std::uint32_t> event_mask_{0};
  std::atomic<std::uint64_t> mask_changes_{0};
  std::atomic<bool> tx_since_empty_{false};  // written since kEvTxEmpty was last reported
};

}  // namespace cport::device
