#pragma once
// An in-memory device for tests of the port and its event worker. It keeps the
// ComDevice contract (EBADF while closed, one pending transfer per direction,
// ECANCELED after a purge-abort, the line-event wait ended by its stop event
// or a mask change) and adds a script and an observation side.
//
// Script: received bytes, line events, modem status and line errors are set
// from any thread; any call can be made to fail with a chosen errno; Vanish()
// makes the device go away as an unplugged adapter does.
//
// Transfers complete at once by default: a read takes what has been pushed
// (as with the port's default timeouts), a write appends to Written(). With
// SetCompleteAtOnce(false) each start stays pending and its wait does the work.
// Timeouts are recorded, not simulated.
//
// Call log: every call except WaitForLineEvents (which a worker repeats at its
// own pace; see LineEventWaits) is logged as text, for example "Open(COM1)",
// "SetQueueSizes(1024,1024)", "SetLineSettings(9600)", "Purge(0x3)",
// "StartRead(10)", "StartWrite(4)", "SetEventMask(0x5ff)". A failed call is
// logged like any other.
//
// Threads: every member may be called from any thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cport/device/ComDevice.h"

namespace cport::device {

enum class FakeCall : std::uint8_t {
  kOpen,
  kClose,
  kSetQueueSizes,
  kSetLineSettings,
  kSetTimeouts,
  kPurge,
  kClearErrors,
  kGetModemStatus,
  kStartRead,
  kStartWrite,
  kWaitForTransfer,
  kSetEventMask,
  kWaitForLineEvents,
};
inline constexpr int kFakeCallCount = 13;

class FakeComDevice final : public ComDevice {
 public:
  FakeComDevice();
  ~FakeComDevice() override;

  // ComDevice.
  std::error_code Open(std::string_view port_name) noexcept override;
  std::error_code Close() noexcept override;
  bool IsOpen() const noexcept override;
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

  // --- Script ---
  // Appends bytes to the receive queue and raises kEvRxChar (when watched).
  void PushReceived(std::string_view bytes);
  // Raises line events: the watched ones among them are reported by the
  // pending or next wait, together with any others not yet reported.
  void RaiseLineEvents(std::uint32_t events);
  void SetModemStatus(std::uint32_t ms_bits);
  // Adds kCe* flags to those the next ClearErrors returns.
  void AddLineErrors(std::uint32_t ce_flags);
  // Makes the next `times` calls of `call` fail with `error` (an errno) before
  // they do anything; times < 0 means until ClearFailures.
  void FailCall(FakeCall call, int error, int times = -1);
  void ClearFailures();
  // The device goes away: a pending line-event wait ends with EIO, and every
  // later call except Close fails with EIO. Opening again brings it back.
  void Vanish();
  void SetCompleteAtOnce(bool at_once);

  // --- Observation ---
  std::vector<std::string> CallLog() const;
  void ClearCallLog();
  std::string Written() const;  // every byte written since construction
  std::size_t ReceivedWaiting() const;
  std::string OpenedName() const;
  std::uint32_t InputQueueSize() const;
  std::uint32_t OutputQueueSize() const;
  Dcb LastDcb() const;
  CommTimeouts LastTimeouts() const;
  std::uint32_t EventMask() const;
  // How many WaitForLineEvents calls have started.
  int LineEventWaits() const;
  // Blocks until a thread sits in WaitForLineEvents, or the timeout passes.
  bool AwaitLineEventWaiter(std::chrono::milliseconds timeout) const;

 private:
  struct FakeTransfer;
  std::error_code Enter(FakeCall call, std::string log_text);  // with mu_ held
  std::error_code Complete(FakeTransfer& t);                   // with mu_ held
  void Wake();                                                 // with mu_ held

  mutable std::mutex mu_;
  mutable std::condition_variable waiter_changed_;
  ManualResetEvent wake_;  // set when a waiting worker has something to look at
  bool open_ = false;
  bool vanished_ = false;
  bool complete_at_once_ = true;
  bool waiting_ = false;
  int line_event_waits_ = 0;
  std::uint64_t generation_ = 0;  // counts opens; a transfer belongs to one
  std::uint64_t mask_changes_ = 0;
  std::uint32_t event_mask_ = 0;
  std::uint32_t pending_events_ = 0;
  std::uint32_t modem_status_ = 0;
  std::uint32_t line_errors_ = 0;
  std::uint32_t input_size_ = 0;
  std::uint32_t output_size_ = 0;
  Dcb dcb_;
  CommTimeouts timeouts_;
  std::string opened_name_;
  std::deque<char> received_;
  std::string written_;
  std::vector<std::string> log_;
  struct Failure {
    int error = 0;
    int times = 0;
  };
  Failure failures_[kFakeCallCount];
  std::weak_ptr<FakeTransfer> pending_read_;
  std::weak_ptr<FakeTransfer> pending_write_;
};

}  // namespace cport::device
