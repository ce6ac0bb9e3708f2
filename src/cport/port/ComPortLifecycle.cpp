// Construction, open and close of the port, and the apply operations that
// send its settings to the device.
#include <exception>
#include <system_error>
#include <utility>

#include "cport/errors/ApplicationException.h"
#include "cport/errors/ComError.h"
#include "cport/port/ComPort.h"
#include "cport/port/DeviceSettings.h"

namespace cport {
namespace {

[[noreturn]] void Raise(PortError code, std::error_code error) {
  throw EComPort(code, error.value());
}

// Rethrows the exception in flight as the EComPort a caller of OpenPort
// expects: an EComPort as it is, a std::system_error with its system code,
// anything else with none.
[[noreturn]] void RethrowAsPortError(PortError code) {
  try {
    throw;
  } catch (const EComPort&) {
    throw;
  } catch (const std::system_error& error) {
    const std::error_category& category = error.code().category();
    if (category == std::system_category() || category == std::generic_category()) {
      throw EComPort(code, error.code().value());
    }
    throw EComPort(code);
  } catch (...) {
    throw EComPort(code);
  }
}

// The port whose line-event handler the calling thread is running, if any.
thread_local const TCustomComPort* t_handlerPort = nullptr;

}  // namespace

TCustomComPort::HandlerScope::HandlerScope(const TCustomComPort& Port) noexcept
    : before_(t_handlerPort) {
  t_handlerPort = &Port;
}

TCustomComPort::HandlerScope::~HandlerScope() { t_handlerPort = before_; }

bool TCustomComPort::InLineEventHandler() const noexcept { return t_handlerPort == this; }

TCustomComPort::TCustomComPort() : TCustomComPort(nullptr) {}

TCustomComPort::TCustomComPort(std::unique_ptr<device::ComDevice> Device)
    : device_(Device ? std::move(Device) : device::CreatePlatformComDevice()) {}

TCustomComPort::~TCustomComPort() {
  // After a subclass's CloseOnDestruction this finds the port closed.
  CloseOnDestruction();
}

void TCustomComPort::CloseOnDestruction() noexcept {
  // A destructor must not throw. A close that fails is reported like any
  // other uncaught failure, and the monitor and device are released anyway
  // so that no worker outlives the port.
  try {
    ClosePort();
  } catch (const std::exception& error) {
    try {
      HandleApplicationException(error);
    } catch (...) {
    }
  } catch (...) {
  }
  if (connected_) {
    StopEventMonitor();
    CloseDevice();
    connected_ = false;
  }
  deferred_ = DeferredRequest::kNone;
  ReapRetiredMonitor();
}

void TCustomComPort::SetConnected(bool Value) {
  if (Loading() || Designing()) {
    connected_ = Value;
    return;
  }
  if (Value == connected_) return;
  if (Value) {
    OpenPort();
  } else {
    ClosePort();
  }
}

void TCustomComPort::OpenPort() {
  if (InLineEventHandler()) {
    // Closing and opening again from a handler is a reopen after it.
    auto close = DeferredRequest::kClose;
    deferred_.compare_exchange_strong(close, DeferredRequest::kReopen);
    return;
  }
  ReapRetiredMonitor();
  if (connected_ || Designing()) return;
  deferred_ = DeferredRequest::kNone;
  DoBeforeOpen();
  try {
    OpenDevice();
  } catch (const EComPort&) {
    throw;
  } catch (...) {
    // An override may have got as far as opening the device.
    CloseDevice();
    RethrowAsPortError(PortError::OpenFailed);
  }
  connected_ = true;
  bool configured = false;
  try {
    // Even inside a settings batch (a reopen by SetPort): until the device
    // has its settings it runs with whatever the terminal had before (echo,
    // CR-to-LF, a fresh adapter's XON/XOFF), and the monitor must not read a
    // byte under those.
    configuringOpen_ = true;
    ApplyAllSettings();
    configuringOpen_ = false;
    configured = true;
    // The batch's end need not send them again unless a setter is held
    // after this.
    sentAtOpenInBatch_ = batchDepth_ > 0;
    heldInBatch_ = false;
    // The monitor takes the event mask from Events now; a later change of
    // Events waits for the next open.
    monitorRunning_ = !events_.Empty();
    if (monitorRunning_) monitor_ = CreateEventMonitor();
  } catch (...) {
    // A port that could not be configured, or that cannot watch its line,
    // is not left half open.
    configuringOpen_ = false;
    StopEventMonitor();
    CloseDevice();
    connected_ = false;
    RethrowAsPortError(configured ? PortError::WaitForEventFailed : PortError::SetStateFailed);
  }
  DoAfterOpen();
  // Each state comes from a fresh query: the line may change in between.
  DoCTSChange(ModemSignals().Contains(LineSignal::lsCTS));
  DoDSRChange(ModemSignals().Contains(LineSignal::lsDSR));
  DoRLSDChange(ModemSignals().Contains(LineSignal::lsRLSD));
}

void TCustomComPort::ClosePort() {
  if (InLineEventHandler()) {
    // The monitor is waiting for this handler (smThreadSync, smNone), or
    // would be destroyed under it: the close runs once it has returned.
    if (connected_ && !Designing()) deferred_ = DeferredRequest::kClose;
    return;
  }
  ReapRetiredMonitor();
  if (!connected_ || Designing()) return;
  deferred_ = DeferredRequest::kNone;
  DoCTSChange(false);
  DoDSRChange(false);
  DoRLSDChange(false);
  DoBeforeClose();
  // Pending transfers end before the worker stops and the device closes.
  CancelTransfers();
  StopEventMonitor();
  CloseDevice();
  connected_ = false;
  DoAfterClose();
}

void TCustomComPort::StopEventMonitor() noexcept {
  if (!monitorRunning_) return;
  monitorRunning_ = false;
  if (!monitor_ || !monitor_->OnOwnWorker()) {
    monitor_.reset();  // returns once the worker has ended
    return;
  }
  // The close runs on the monitor's own worker (an smNone handler asked for
  // it): the worker cannot wait for itself, so it stops watching now and
  // ends after the close; its object waits here until then.
  monitor_->StopFromOwnWorker();
  std::unique_ptr<EventMonitor> older;
  {
    std::lock_guard lock(retiredMu_);
    older = std::exchange(retired_, std::move(monitor_));
  }
  // The worker of an earlier open, which has ended or is about to.
  older.reset();
}

void TCustomComPort::ReapRetiredMonitor() noexcept {
  std::unique_ptr<EventMonitor> done;
  {
    std::lock_guard lock(retiredMu_);
    if (retired_ && !retired_->OnOwnWorker()) done = std::move(retired_);
  }
  done.reset();  // waits for its worker
}

void TCustomComPort::RunDeferredRequest() {
  const DeferredRequest request = deferred_.exchange(DeferredRequest::kNone);
  if (request == DeferredRequest::kNone || !connected_) return;
  ClosePort();
  if (request == DeferredRequest::kReopen) OpenPort();
}

void TCustomComPort::Loaded() {
  TComponent::Loaded();
  if (!connected_ || Designing()) return;
  connected_ = false;
  try {
    OpenPort();
  } catch (const std::exception& error) {
    HandleApplicationException(error);
  }
}

void TCustomComPort::OpenDevice() {
  if (auto error = device_->Open(port_)) Raise(PortError::OpenFailed, error);
}

void TCustomComPort::CloseDevice() {
  if (device_->IsOpen()) (void)device_->Close();
}

std::unique_ptr<EventMonitor> TCustomComPort::CreateEventMonitor() {
  return monitorFactory_ ? monitorFactory_(*this) : nullptr;
}

// ---- Settings batch and apply operations ---------------------------------------

void TCustomComPort::BeginSettingsBatch() noexcept {
  if (batchDepth_++ == 0) sentAtOpenInBatch_ = heldInBatch_ = false;
}

void TCustomComPort::EndSettingsBatch() {
  if (batchDepth_ <= 0) return;
  if (--batchDepth_ > 0) return;
  // A port (re)opened inside the batch got every setting at its open; only
  // a setter held after that makes a second sending worth it.
  const bool sent = sentAtOpenInBatch_ && !heldInBatch_;
  sentAtOpenInBatch_ = heldInBatch_ = false;
  if (!sent) ApplyAllSettings();
}

void TCustomComPort::ApplyAllSettings() {
  ApplyBufferSettings();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

void TCustomComPort::NoteHeldSetting() noexcept {
  if (batchDepth_ > 0) heldInBatch_ = true;
}

bool TCustomComPort::CanApplySettings() const noexcept {
  return connected_ && (batchDepth_ == 0 || configuringOpen_) && !Loading() && !Designing();
}

void TCustomComPort::ApplyLineSettings() {
  if (!CanApplySettings()) {
    NoteHeldSetting();
    return;
  }
  if (auto error = device_->SetLineSettings(BuildDcb(*this))) {
    Raise(PortError::SetStateFailed, error);
  }
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!CanApplySettings()) {
    NoteHeldSetting();
    return;
  }
  if (auto error = device_->SetTimeouts(BuildCommTimeouts(timeouts_))) {
    Raise(PortError::SetTimeoutsFailed, error);
  }
}

void TCustomComPort::ApplyBufferSettings() {
  if (!CanApplySettings()) {
    NoteHeldSetting();
    return;
  }
  // A negative size reaches the device as a huge unsigned one and is refused
  // there (code 9).
  if (auto error = device_->SetQueueSizes(static_cast<std::uint32_t>(buffer_.InputSize()),
                                          static_cast<std::uint32_t>(buffer_.OutputSize()))) {
    Raise(PortError::SetupCommFailed, error);
  }
}

}  // namespace cport
