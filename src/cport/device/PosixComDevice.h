#pragma once
// The device on Linux: a tty opened non-blocking and configured through
// termios2. Only the device layer includes this; everyone else goes through
// ComDevice and CreatePlatformComDevice.
//
// Split by concern over three files: PosixComDevice.cpp (open, close, settings,
// purge, queries), PosixTransfers.cpp (started reads and writes and their
// waits), PosixLineEvents.cpp (the wait for line events), with
// PosixModemWatch.cpp as the helper for modem-line changes.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "cport/device/ComDevice.h"

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

 private:
  struct PosixTransfer;
  using Clock = std::chrono::steady_clock;

  std::error_code Start(bool read, void* buffer, const void* data, std::uint32_t count,
                        Transfer& transfer, std::uint32_t& transferred) noexcept;
  // Moves what can be moved without blocking; an error ends the transfer.
  std::error_code Progress(PosixTransfer& t) noexcept;
  bool Finished(const PosixTransfer& t, Clock::time_point now) const noexcept;
  void Release(PosixTransfer& t) noexcept;  // frees the device's slot
  std::error_code CollectLineEvents(std::uint32_t mask, std::uint32_t& events) noexcept;
  bool ReadCounters(LineCounters& out) const noexcept;
  std::error_code HungUp() const noexcept;  // EIO when the line is gone, else none

  // Set by Open and Close only, which never overlap any other call.
  int fd_ = -1;
  int epoll_fd_ = -1;             // the tty, edge-triggered: arrivals between waits are kept
  int mask_fd_ = -1;              // eventfd, written when the event mask changes
  std::uint64_t generation_ = 0;  // counts opens and closes; a transfer belongs to one
  bool has_counters_ = false;     // the driver answers TIOCGICOUNT
  // Modem-line changes, where the driver has counters; its thread runs while
  // the event mask asks for modem events.
  std::unique_ptr<ModemWatch> modem_watch_;

  mutable std::mutex mu_;  // guards the members down to the next blank line
  CommTimeouts timeouts_;
  std::uint32_t input_size_ = 0;
  std::uint32_t output_size_ = 0;
  bool discard_nul_ = false;
  std::shared_ptr<AbortSignal> read_abort_;
  std::shared_ptr<AbortSignal> write_abort_;
  std::weak_ptr<PosixTransfer> pending_read_;
  std::weak_ptr<PosixTransfer> pending_write_;
  LineCounters errors_base_;  // ClearErrors' last reading

  std::atomic<std::uint32_t> event_mask_{0};
  std::atomic<std::uint64_t> mask_changes_{0};
  std::atomic<std::uint64_t> rx_consumed_{0};  // bumped around every read and receive purge
  std::atomic<bool> tx_since_empty_{false};    // written since kEvTxEmpty was last reported

  // Owned by the thread in WaitForLineEvents (one at a time).
  std::uint32_t reported_in_queue_ = 0;
  std::uint64_t reported_consumed_ = 0;
  bool reported_80_full_ = false;
  LineCounters events_base_;
};

}  // namespace cport::device
