// Construction, open and close of the port, and the apply operations that
// send its settings to the device.
#include <exception>
#include <system_error>
#include <utility>

#include "cport/ApplicationException.h"
#include "cport/ComError.h"
#include "cport/ComPort.h"
#include "cport/DeviceSettings.h"

namespace cport {
namespace {

[[noreturn]] void Raise(PortError code, std::error_code error) {
  throw EComPort(code, error.value());
}

}  // namespace

TCustomComPort::TCustomComPort() : TCustomComPort(nullptr) {}

TCustomComPort::TCustomComPort(std::unique_ptr<device::ComDevice> Device)
    : device_(Device ? std::move(Device) : device::CreatePlatformComDevice()) {}

TCustomComPort::~TCustomComPort() {
  // A destructor must not throw. A close that fails is reported like any
  // other uncaught failure, and the monitor and device are released anyway
  // so that no worker outlives the port.
  try {
    ClosePort();
  } catch (const std::exception& error) {
    HandleApplicationException(error);
  } catch (...) {
  }
  if (connected_) {
    StopEventMonitor();
    CloseDevice();
    connected_ = false;
  }
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
  if (connected_ || Designing()) return;
  DoBeforeOpen();
  OpenDevice();
  connected_ = true;
  try {
    ApplyAllSettings();
    // The monitor takes the event mask from Events now; a later change of
    // Events waits for the next open.
    monitorRunning_ = !events_.Empty();
    if (monitorRunning_) monitor_ = CreateEventMonitor();
  } catch (...) {
    // A port that could not be configured, or that cannot watch its line,
    // is not left half open.
    StopEventMonitor();
    CloseDevice();
    connected_ = false;
    throw;
  }
  DoAfterOpen();
  // Each state comes from a fresh query: the line may change in between.
  DoCTSChange(ModemSignals().Contains(LineSignal::lsCTS));
  DoDSRChange(ModemSignals().Contains(LineSignal::lsDSR));
  DoRLSDChange(ModemSignals().Contains(LineSignal::lsRLSD));
}

void TCustomComPort::ClosePort() {
  if (!connected_ || Designing()) return;
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
  monitor_.reset();  // returns once the worker has ended
  monitorRunning_ = false;
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

void TCustomComPort::BeginSettingsBatch() noexcept { ++batchDepth_; }

void TCustomComPort::EndSettingsBatch() {
  if (batchDepth_ <= 0) return;
  if (--batchDepth_ == 0) ApplyAllSettings();
}

void TCustomComPort::ApplyAllSettings() {
  ApplyBufferSettings();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

bool TCustomComPort::CanApplySettings() const noexcept {
  return connected_ && batchDepth_ == 0 && !Loading() && !Designing();
}

void TCustomComPort::ApplyLineSettings() {
  if (!CanApplySettings()) return;
  if (auto error = device_->SetLineSettings(BuildDcb(*this))) {
    Raise(PortError::SetStateFailed, error);
  }
}

void TCustomComPort::ApplyTimeoutSettings() {
  if (!CanApplySettings()) return;
  if (auto error = device_->SetTimeouts(BuildCommTimeouts(timeouts_))) {
    Raise(PortError::SetTimeoutsFailed, error);
  }
}

void TCustomComPort::ApplyBufferSettings() {
  if (!CanApplySettings()) return;
  // A negative size reaches the device as a huge unsigned one and is refused
  // there (code 9).
  if (auto error = device_->SetQueueSizes(static_cast<std::uint32_t>(buffer_.InputSize()),
                                          static_cast<std::uint32_t>(buffer_.OutputSize()))) {
    Raise(PortError::SetupCommFailed, error);
  }
}

}  // namespace cport
