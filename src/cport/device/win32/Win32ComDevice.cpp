#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <chrono>
#include <string>
#include <utility>

#include "cport/device/PortPath.h"
#include "cport/device/TransferLimits.h"
#include "cport/device/win32/Win32ComDevice.h"
#include "cport/device/win32/Win32Error.h"

namespace cport::device {

struct Win32ComDevice::Win32Transfer : TransferState {
  Win32Transfer(std::shared_ptr<std::mutex> guard, HANDLE handle) noexcept
      : guard(std::move(guard)), handle(handle) {
    overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~Win32Transfer() override {
    Abandon();
    if (overlapped.hEvent) ::CloseHandle(overlapped.hEvent);
  }
  Win32Transfer(const Win32Transfer&) = delete;
  Win32Transfer& operator=(const Win32Transfer&) = delete;

  // The system still owns `overlapped` (and the caller's buffer): take them
  // back before they go.
  void Abandon() noexcept {
    std::lock_guard lock(*guard);
    if (!in_flight) return;
    ::CancelIoEx(handle, &overlapped);
    DWORD n = 0;
    ::GetOverlappedResult(handle, &overlapped, &n, TRUE);
    in_flight = false;
  }

  // Waits for the system to finish with the transfer and keeps its result.
  void Finish() noexcept {
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(handle, &overlapped, &n, TRUE);
    std::lock_guard lock(*guard);
    done = n;
    if (!ok) error = LastWin32Error();
    in_flight = false;
  }

  std::shared_ptr<std::mutex> guard;
  HANDLE handle;
  OVERLAPPED overlapped{};
  bool in_flight = false;  // guarded by *guard
  DWORD done = 0;
  std::error_code error;
};

// The OVERLAPPED record and result word of WaitCommEvent; one wait at a time.
struct Win32ComDevice::LineWait {
  LineWait() noexcept { overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~LineWait() {
    if (overlapped.hEvent) ::CloseHandle(overlapped.hEvent);
  }
  LineWait(const LineWait&) = delete;
  LineWait& operator=(const LineWait&) = delete;
  OVERLAPPED overlapped{};
  DWORD events = 0;
};

std::unique_ptr<ComDevice> CreatePlatformComDevice() { return std::make_unique<Win32ComDevice>(); }

Win32ComDevice::Win32ComDevice()
    : handle_(INVALID_HANDLE_VALUE), io_guard_(std::make_shared<std::mutex>()) {}

Win32ComDevice::~Win32ComDevice() { (void)Close(); }

bool Win32ComDevice::IsOpen() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }

std::error_code Win32ComDevice::Open(std::string_view port_name) noexcept {
  if (IsOpen()) return Win32Error(ERROR_ALREADY_INITIALIZED);
  std::string path;
  try {
    path = DevicePathForPort(port_name);
  } catch (...) {
    return Win32Error(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (path.empty()) return Win32Error(ERROR_FILE_NOT_FOUND);
  std::unique_ptr<LineWait> wait(new (std::nothrow) LineWait);
  if (!wait) return Win32Error(ERROR_NOT_ENOUGH_MEMORY);
  if (!wait->overlapped.hEvent) return LastWin32Error();
  // No sharing: a comm port is exclusive, and a second open fails with
  // ERROR_ACCESS_DENIED, as Windows' own programs report it.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastWin32Error();
  // A name that opens something other than a comm port (a file, a printer)
  // is not one: GetCommState is the driver's answer.
  DCB probe{};
  probe.DCBlength = sizeof probe;
  if (!::GetCommState(h, &probe)) {
    const std::error_code error = LastWin32Error();
    ::CloseHandle(h);
    return error;
  }
  handle_ = h;
  wait_ = std::move(wait);
  std::lock_guard lock(mu_);
  event_mask_ = 0;
  return {};
}

void Win32ComDevice::EndPending(std::weak_ptr<Win32Transfer>& slot) noexcept {
  std::shared_ptr<Win32Transfer> t = slot.lock();
  slot.reset();
  if (!t) return;
  bool in_flight;
  {
    std::lock_guard lock(*io_guard_);
    in_flight = t->in_flight;
  }
  if (in_flight) t->Finish();
  if (!t->error) t->error = Win32Error(ERROR_OPERATION_ABORTED);
}

std::error_code Win32ComDevice::Close() noexcept {
  if (!IsOpen()) return {};
  // Every transfer still in the system's hands ends now, and is waited for,
  // so that its record is no longer written to once the handle is gone.
  ::CancelIoEx(handle_, nullptr);
  {
    std::lock_guard lock(mu_);
    EndPending(pending_read_);
    EndPending(pending_write_);
    event_mask_ = 0;
  }
  DrainOutput();
  const BOOL ok = ::CloseHandle(handle_);
  const std::error_code error = ok ? std::error_code() : LastWin32Error();
  handle_ = INVALID_HANDLE_VALUE;
  wait_.reset();
  return error;
}

void Win32ComDevice::DrainOutput() noexcept {
  DWORD errors = 0;
  COMSTAT stat{};
  if (!::ClearCommError(handle_, &errors, &stat) || stat.cbOutQue == 0) return;
  // The driver's queue count is the one measure of what is still to go; it
  // is polled, as there is no event for "queue empty" but EV_TXEMPTY, which
  // the event monitor may be using.
  const auto deadline = std::chrono::steady_clock::now() +
                        DrainLimitFor(timeouts_, line_rate_, bits_per_char_, stat.cbOutQue);
  while (std::chrono::steady_clock::now() < deadline) {
    ::Sleep(5);
    if (!::ClearCommError(handle_, &errors, &stat) || stat.cbOutQue == 0) return;
  }
  ::PurgeComm(handle_, PURGE_TXCLEAR);
}

std::error_code Win32ComDevice::SetQueueSizes(std::uint32_t input_size,
                                              std::uint32_t output_size) noexcept {
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  if (input_size > 0x7FFFFFFF || output_size > 0x7FFFFFFF) {
    return Win32Error(ERROR_INVALID_PARAMETER);
  }
  if (!::SetupComm(handle_, input_size, output_size)) return LastWin32Error();
  return {};
}

std::error_code Win32ComDevice::SetLineSettings(const Dcb& dcb) noexcept {
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  // Start from the driver's record, so that the fields the port does not
  // set (the reserved ones) keep the driver's values.
  DCB d{};
  d.DCBlength = sizeof d;
  if (!::GetCommState(handle_, &d)) return LastWin32Error();
  const std::uint32_t f = dcb.Flags;
  d.BaudRate = dcb.BaudRate;
  d.fBinary = (f & kDcbBinary) != 0;
  d.fParity = (f & kDcbParity) != 0;
  d.fOutxCtsFlow = (f & kDcbOutxCtsFlow) != 0;
  d.fOutxDsrFlow = (f & kDcbOutxDsrFlow) != 0;
  d.fDtrControl = dcb.DtrControl();
  d.fDsrSensitivity = (f & kDcbDsrSensitivity) != 0;
  d.fTXContinueOnXoff = (f & kDcbTxContinueOnXoff) != 0;
  d.fOutX = (f & kDcbOutX) != 0;
  d.fInX = (f & kDcbInX) != 0;
  d.fErrorChar = (f & kDcbErrorChar) != 0;
  d.fNull = (f & kDcbNull) != 0;
  d.fRtsControl = dcb.RtsControl();
  d.fAbortOnError = (f & kDcbAbortOnError) != 0;
  d.XonLim = dcb.XonLim;
  d.XoffLim = dcb.XoffLim;
  d.ByteSize = dcb.ByteSize;
  d.Parity = dcb.Parity;
  d.StopBits = dcb.StopBits;
  d.XonChar = static_cast<char>(dcb.XonChar);
  d.XoffChar = static_cast<char>(dcb.XoffChar);
  d.ErrorChar = static_cast<char>(dcb.ErrorChar);
  d.EofChar = static_cast<char>(dcb.EofChar);
  d.EvtChar = static_cast<char>(dcb.EvtChar);
  if (!::SetCommState(handle_, &d)) return LastWin32Error();
  line_rate_ = dcb.BaudRate;
  const std::uint32_t parity_bits = dcb.Parity == kNoParity ? 0 : 1;
  const std::uint32_t stop_bits = dcb.StopBits == kOneStopBit ? 1 : 2;
  bits_per_char_ = 1 + dcb.ByteSize + parity_bits + stop_bits;
  return {};
}

std::error_code Win32ComDevice::SetTimeouts(const CommTimeouts& timeouts) noexcept {
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
  t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
  t.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
  t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
  t.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
  if (!::SetCommTimeouts(handle_, &t)) return LastWin32Error();
  timeouts_ = timeouts;
  return {};
}

std::error_code Win32ComDevice::Purge(std::uint32_t flags) noexcept {
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  if (!::PurgeComm(handle_, flags)) return LastWin32Error();
  // The serial driver ends pending transfers on an abort itself; a driver
  // that only flushes its queues (Wine's, over a tty) would leave them
  // waiting, so they are cancelled here too. Cancelling an ended one is a
  // harmless no-op.
  std::lock_guard lock(mu_);
  for (auto [bit, slot] : {std::pair{kPurgeRxAbort, &pending_read_},
                           std::pair{kPurgeTxAbort, &pending_write_}}) {
    if (!(flags & bit)) continue;
    if (std::shared_ptr<Win32Transfer> t = slot->lock()) {
      std::lock_guard io(*io_guard_);
      if (t->in_flight) ::CancelIoEx(handle_, &t->overlapped);
    }
  }
  return {};
}

std::error_code Win32ComDevice::ClearErrors(LineStatus& status) noexcept {
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  DWORD errors = 0;
  COMSTAT stat{};
  if (!::ClearCommError(handle_, &errors, &stat)) return LastWin32Error();
  status.Errors = errors;
  status.InQueue = stat.cbInQue;
  return {};
}

std::error_code Win32ComDevice::GetModemStatus(std::uint32_t& status) noexcept {
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  DWORD lines = 0;
  if (!::GetCommModemStatus(handle_, &lines)) return LastWin32Error();
  status = lines;
  return {};
}

std::error_code Win32ComDevice::StartRead(void* buffer, std::uint32_t count, Transfer& transfer,
                                          std::uint32_t& transferred) noexcept {
  return Start(true, buffer, nullptr, count, transfer, transferred);
}

std::error_code Win32ComDevice::StartWrite(const void* data, std::uint32_t count,
                                           Transfer& transfer,
                                           std::uint32_t& transferred) noexcept {
  return Start(false, nullptr, data, count, transfer, transferred);
}

void Win32ComDevice::ReleaseSlot(const Win32Transfer* t) noexcept {
  std::lock_guard lock(mu_);
  for (std::weak_ptr<Win32Transfer>* slot : {&pending_read_, &pending_write_}) {
    if (slot->lock().get() == t) slot->reset();
  }
}

std::error_code Win32ComDevice::Start(bool read, void* buffer, const void* data,
                                      std::uint32_t count, Transfer& transfer,
                                      std::uint32_t& transferred) noexcept {
  transferred = 0;
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  if (transfer.IsPending()) return Win32Error(ERROR_INVALID_PARAMETER);
  std::shared_ptr<Win32Transfer> t;
  try {
    t = std::make_shared<Win32Transfer>(io_guard_, handle_);
  } catch (...) {
    return Win32Error(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (!t->overlapped.hEvent) return LastWin32Error();
  {
    // One transfer per direction at a time, as on every platform: a second
    // one could move its bytes ahead of the first one's remainder.
    std::lock_guard lock(mu_);
    std::weak_ptr<Win32Transfer>& slot = read ? pending_read_ : pending_write_;
    if (!slot.expired()) return Win32Error(ERROR_BUSY);
    slot = t;
  }
  {
    std::lock_guard lock(*io_guard_);
    t->in_flight = true;
  }
  const BOOL ok = read ? ::ReadFile(handle_, buffer, count, nullptr, &t->overlapped)
                       : ::WriteFile(handle_, data, count, nullptr, &t->overlapped);
  const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
  if (ok || error == ERROR_IO_PENDING) {
    StateOf(transfer) = t;
    if (ok) {
      // Completed at once; the result is there without waiting.
      t->Finish();
      ReleaseSlot(t.get());
      transferred = t->done;
      return t->error;
    }
    t->pending = true;
    return {};
  }
  {
    std::lock_guard lock(*io_guard_);
    t->in_flight = false;
  }
  ReleaseSlot(t.get());
  return Win32Error(error);
}

std::error_code Win32ComDevice::WaitForTransfer(Transfer& transfer,
                                                std::uint32_t& transferred) noexcept {
  transferred = 0;
  std::shared_ptr<TransferState>& state = StateOf(transfer);
  if (!state) return {};
  auto* t = static_cast<Win32Transfer*>(state.get());
  if (t->pending) {
    bool in_flight;
    {
      std::lock_guard lock(*io_guard_);
      in_flight = t->in_flight;
    }
    if (in_flight) t->Finish();
    t->pending = false;
    ReleaseSlot(t);
  }
  transferred = t->done;
  return t->error;
}

std::error_code Win32ComDevice::SetEventMask(std::uint32_t mask) noexcept {
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  // SetCommMask also ends a WaitCommEvent in progress, with no events.
  if (!::SetCommMask(handle_, mask)) return LastWin32Error();
  std::lock_guard lock(mu_);
  event_mask_ = mask;
  ++mask_changes_;
  return {};
}

void Win32ComDevice::EndLineWait(LineWait& w) noexcept {
  // Setting the mask again is the comm API's own way to end a wait, and the
  // one every driver honours (Wine's does not cancel an event wait through
  // CancelIoEx); the cancel stays as the fallback for a driver that ignores
  // the mask.
  std::uint32_t mask;
  {
    std::lock_guard lock(mu_);
    mask = event_mask_;
  }
  ::SetCommMask(handle_, mask);
  if (::WaitForSingleObject(w.overlapped.hEvent, 1000) != WAIT_OBJECT_0) {
    ::CancelIoEx(handle_, &w.overlapped);
  }
  DWORD n = 0;
  ::GetOverlappedResult(handle_, &w.overlapped, &n, TRUE);
}

std::error_code Win32ComDevice::WaitForLineEvents(const ManualResetEvent& stop,
                                                  std::uint32_t& events) noexcept {
  events = 0;
  if (!IsOpen()) return Win32Error(ERROR_INVALID_HANDLE);
  if (stop.IsSet()) return Win32Error(ERROR_OPERATION_ABORTED);
  std::uint64_t changes_at_start;
  {
    std::lock_guard lock(mu_);
    if (event_mask_ == 0) return Win32Error(ERROR_INVALID_PARAMETER);
    changes_at_start = mask_changes_;
  }
  // Windows ends a wait whose mask changes with success and no events; Wine
  // cancels it instead. Both read as the former.
  auto maskChanged = [&] {
    std::lock_guard lock(mu_);
    return mask_changes_ != changes_at_start;
  };
  LineWait& w = *wait_;
  ::ResetEvent(w.overlapped.hEvent);
  w.events = 0;
  if (::WaitCommEvent(handle_, &w.events, &w.overlapped)) {
    events = w.events;
    return {};
  }
  const DWORD started = ::GetLastError();
  if (started == ERROR_OPERATION_ABORTED && maskChanged()) return {};
  if (started != ERROR_IO_PENDING) return Win32Error(started);
  HANDLE handles[2] = {w.overlapped.hEvent, stop.Handle()};
  const DWORD woke = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (woke != WAIT_OBJECT_0) {
    // Stopping (or the wait itself failed): the system gives the record
    // back only once the cancelled wait has ended.
    const std::error_code failure =
        woke == WAIT_FAILED ? LastWin32Error() : Win32Error(ERROR_OPERATION_ABORTED);
    EndLineWait(w);
    return failure;
  }
  DWORD n = 0;
  if (!::GetOverlappedResult(handle_, &w.overlapped, &n, FALSE)) {
    const DWORD failed = ::GetLastError();
    if (failed == ERROR_OPERATION_ABORTED && maskChanged()) return {};
    return Win32Error(failed);
  }
  events = w.events;
  return {};
}

}  // namespace cport::device
