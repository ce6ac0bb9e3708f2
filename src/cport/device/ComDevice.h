#pragma once
// The serial device as the port component sees the operating system: exactly
// the operations the port needs, nothing more. One implementation per platform
// (PosixComDevice.cpp now), chosen by CMake, plus FakeComDevice for tests.
//
// Errors. Every operation returns a std::error_code: empty on success, else
// the system's error in std::system_category() (errno on POSIX, GetLastError
// on Windows). Nothing throws, nothing prints. On a device that is not open
// every operation except Open and Close fails with EBADF.
//
// Threads. Open and Close run on the owning thread (the port's user-interface
// thread) and never concurrently with any other call; the port stops and joins
// its event worker before it closes the device. While the device is open, one
// worker thread may sit in WaitForLineEvents while the owning thread calls
// anything else (transfers, purge, queries, SetEventMask): those calls are safe
// to make concurrently with each other and with the wait.
//
// Lifecycle. closed --Open--> open --Close--> closed; a device object may be
// opened again after a close. Settings are not kept across a close.
#include <cstdint>
#include <memory>
#include <string_view>
#include <system_error>

#include "cport/device/CommTimeouts.h"
#include "cport/device/Dcb.h"
#include "cport/device/LineFlags.h"
#include "cport/device/ManualResetEvent.h"
#include "cport/device/Transfer.h"

namespace cport::device {

// What ClearErrors reports.
struct LineStatus {
  std::uint32_t Errors = 0;   // kCe* flags accumulated since the previous call
  std::uint32_t InQueue = 0;  // bytes waiting in the receive queue
};

class ComDevice {
 public:
  virtual ~ComDevice() = default;

  // Opens the port by its name (see DevicePathForPort in PortPath.h),
  // exclusively: while one device object holds it, a second open of the same
  // device fails (EBUSY on POSIX). A missing device fails with ENOENT. Opening
  // a device object that is already open fails with EALREADY.
  virtual std::error_code Open(std::string_view port_name) noexcept = 0;
  // Closes the device; pending transfers end (their wait fails with
  // ECANCELED). Closing a closed device does nothing and succeeds.
  virtual std::error_code Close() noexcept = 0;
  virtual bool IsOpen() const noexcept = 0;

  // The receive and transmit queue sizes in bytes (SetupComm). Values above
  // 0x7FFFFFFF (a negative size passed as unsigned) fail with EINVAL. On Linux
  // the input size is that of the device's own receive queue, which holds at
  // least 4096 bytes (kEvRx80Full is reckoned against the size asked for); the
  // kernel's transmit queue is fixed, so the output size is only remembered.
  virtual std::error_code SetQueueSizes(std::uint32_t input_size,
                                        std::uint32_t output_size) noexcept = 0;

  // Applies the line settings (SetCommState). A setting the device cannot
  // carry out fails with EINVAL and leaves the previous settings in force as
  // far as the system allows.
  //
  // On Linux (termios), refused: 1.5 stop bits except with 5 data bits, DSR
  // output flow, DTR handshake, DSR sensitivity, RTS toggle, abort-on-error, a
  // speed of 0, XON/XOFF flow with XonChar equal to XoffChar, and anything the
  // driver did not take (the settings are read back after applying them).
  // Carried out by the device itself, as a Windows driver does: the receive
  // side (fParity checks, and a byte with a parity or framing error is kept
  // as received or becomes ErrorChar under fErrorChar; a break leaves no byte;
  // fNull drops NUL bytes before they are counted; EvtChar raises kEvRxFlag)
  // and XON/XOFF input flow (fInX) at XoffLim / XonLim of its receive queue,
  // with fTxContinueOnXoff. Mapped as closely as Linux allows, not refused: RTS
  // handshake and CTS output flow are one setting there (CRTSCTS), and RTS
  // handshake throttles at the kernel's thresholds, not at XoffLim / XonLim;
  // a received XON restarts output that fTxContinueOnXoff off is holding;
  // EofChar has no meaning for binary data.
  virtual std::error_code SetLineSettings(const Dcb& dcb) noexcept = 0;

  // Applies the transfer timeouts (SetCommTimeouts, see CommTimeouts.h). They
  // hold for transfers started afterwards.
  virtual std::error_code SetTimeouts(const CommTimeouts& timeouts) noexcept = 0;

  // kPurge* flags. TxAbort / RxAbort end every pending write / read of the
  // device at once: its WaitForTransfer fails with ECANCELED. Transfers started
  // after the purge are not affected. TxClear / RxClear discard the driver's
  // transmit / receive queue.
  virtual std::error_code Purge(std::uint32_t flags) noexcept = 0;

  // The line errors since the previous call (reading them clears them) and the
  // receive-queue count (ClearCommError): the count is what a read would
  // return now. Errors come from the marks in the received data and, where the
  // driver keeps them (not a pseudo-terminal), its error counters (overruns).
  virtual std::error_code ClearErrors(LineStatus& status) noexcept = 0;

  // The modem input lines as kMs* bits (GetCommModemStatus). A device without
  // modem lines (a pseudo-terminal) reports all lines off.
  virtual std::error_code GetModemStatus(std::uint32_t& status) noexcept = 0;

  // Starts a read of up to `count` bytes into `buffer` (ReadFile with an
  // OVERLAPPED record). The buffer must stay valid until the transfer has
  // completed. When the read completes at once, `transferred` holds its byte
  // count and transfer.IsPending() is false; otherwise `transferred` is 0 and
  // the transfer is pending until WaitForTransfer. A start that fails leaves
  // nothing pending. Only one read may be pending per device at a time: a
  // second start while one is pending fails with EBUSY (so bytes never arrive
  // out of order). `transfer` must not be pending already (EINVAL).
  virtual std::error_code StartRead(void* buffer, std::uint32_t count, Transfer& transfer,
                                    std::uint32_t& transferred) noexcept = 0;
  // Starts a write of `count` bytes; as StartRead otherwise (one pending write
  // per device, EBUSY for a second).
  virtual std::error_code StartWrite(const void* data, std::uint32_t count, Transfer& transfer,
                                     std::uint32_t& transferred) noexcept = 0;
  // Waits without time limit until the transfer has completed and yields its
  // byte count (GetOverlappedResult with waiting). The timeouts set when it was
  // started bound the wait; a timeout completes the transfer successfully with
  // the bytes moved so far. Fails with ECANCELED when a purge aborted the
  // transfer or the device was closed, with EIO when the device went away, or
  // with the system's error of the failed transfer; `transferred` then holds
  // the bytes moved before the failure. A completed transfer yields its result
  // again; a never-started one yields 0.
  virtual std::error_code WaitForTransfer(Transfer& transfer,
                                          std::uint32_t& transferred) noexcept = 0;

  // Sets the line events to watch, kEv* bits (SetCommMask). It also ends a
  // pending WaitForLineEvents, which then succeeds with no events.
  virtual std::error_code SetEventMask(std::uint32_t mask) noexcept = 0;

  // Blocks until one of the watched line events occurs, the mask changes, or
  // `stop` is set (WaitCommEvent plus a stop event). It sleeps in the system's
  // wait and never polls on a timer. Results:
  //  - success, `events` = the kEv* bits that occurred (never 0 except after a
  //    mask change). Events that occur while no wait is pending are kept for
  //    the next wait. kEvRxChar means bytes arrived since the previous report.
  //  - ECANCELED: `stop` is set (also when it was set before the call).
  //  - EINVAL: the event mask is 0.
  //  - EIO (or the system's error): the device went away (unplugged, or the
  //    other side of a pseudo-terminal closed) or the wait failed.
  // Only one thread may wait at a time. On POSIX, the wait moves received
  // bytes into the device's receive queue (a tty cannot be looked into without
  // consuming its bytes), and kEvRxChar, kEvRxFlag, kEvErr, kEvBreak and
  // kEvRx80Full come from what it queued (and the driver's error counters
  // where it keeps them); modem-line events are reported only by drivers that
  // support TIOCMIWAIT.
  virtual std::error_code WaitForLineEvents(const ManualResetEvent& stop,
                                            std::uint32_t& events) noexcept = 0;

  // Sleeps until the line may have news for WaitForLineEvents (anything that
  // would end that wait) or `stop` is set, without taking anything in: what
  // it finds stays for the next WaitForLineEvents. It may return early, even
  // at once (as this default does), so a caller checks what it waited for
  // itself; it only spares a thread that waits for two things a wake-up. Same
  // thread rule as WaitForLineEvents.
  virtual void WaitForLineNews(const ManualResetEvent& /*stop*/) noexcept {}

 protected:
  // Lets each implementation keep its own state inside a Transfer.
  static std::shared_ptr<TransferState>& StateOf(Transfer& transfer) noexcept {
    return transfer.state_;
  }
};

// The device of this platform (PosixComDevice.cpp, a Win32 file later).
std::unique_ptr<ComDevice> CreatePlatformComDevice();

}  // namespace cport::device
