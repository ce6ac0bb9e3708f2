#pragma once
// The device on Windows: a comm handle opened for overlapped I/O, through the
// Win32 communications API. The driver does what the POSIX device has to do
// itself (the receive queue, line errors and breaks, XON/XOFF, timeouts,
// modem-line events), so each operation is one or two system calls. Only the
// device layer includes this; everyone else goes through ComDevice and
// CreatePlatformComDevice.
//
// Transfers. Each started read or write owns its OVERLAPPED record and event
// (inside the Transfer's state), so the system may complete it at any time
// while the record stays where it was. A Transfer destroyed while its I/O is
// still in the system's hands cancels that I/O and waits for the
// cancellation before the record goes: the system never writes into freed
// memory. Close cancels every transfer still pending and waits for each, so
// their waits then fail with ERROR_OPERATION_ABORTED. Output the driver has
// already accepted is not thrown away: the close waits for it to leave, as
// long as the write timeouts allow or the bytes take at the line's rate, and
// purges only what is left then.
//
// Errors carry GetLastError() values in Win32Category() (Win32Error.h),
// which maps them to std::errc for the component's checks.
#include <memory>
#include <mutex>

#include "cport/device/ComDevice.h"

namespace cport::device {

class Win32ComDevice final : public ComDevice {
 public:
  Win32ComDevice();
  ~Win32ComDevice() override;

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

 private:
  struct Win32Transfer;
  struct LineWait;

  std::error_code Start(bool read, void* buffer, const void* data, std::uint32_t count,
                        Transfer& transfer, std::uint32_t& transferred) noexcept;
  void ReleaseSlot(const Win32Transfer* t) noexcept;
  void EndPending(std::weak_ptr<Win32Transfer>& slot) noexcept;
  void EndLineWait(LineWait& w) noexcept;  // ends the wait in progress and waits for its end
  void DrainOutput() noexcept;  // lets accepted output leave before a close

  // Set by Open and Close only, which never overlap any other call.
  void* handle_;                     // the comm handle, INVALID_HANDLE_VALUE when closed
  std::unique_ptr<LineWait> wait_;   // the line-event wait's OVERLAPPED, while open
  // Shared with every transfer's state, which may outlive the device: guards
  // whether the system still holds a transfer's record.
  std::shared_ptr<std::mutex> io_guard_;

  // Set on the owning thread only: what the close needs to bound its drain.
  CommTimeouts timeouts_;
  std::uint32_t line_rate_ = 0;       // bits per second
  std::uint32_t bits_per_char_ = 10;  // start, data, parity and stop bits

  std::mutex mu_;  // guards the pending slots
  std::weak_ptr<Win32Transfer> pending_read_;
  std::weak_ptr<Win32Transfer> pending_write_;
  std::uint32_t event_mask_ = 0;     // guarded by mu_
  std::uint64_t mask_changes_ = 0;   // guarded by mu_; counts SetEventMask calls
};

}  // namespace cport::device
