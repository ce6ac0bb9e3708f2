#include "cport/port/ComPort.h"

#include <utility>

#include "cport/errors/ComError.h"
#include "cport/port/StoreIfChanged.h"

namespace cport {

// ---- Settings ----------------------------------------------------------------

void TCustomComPort::SetBaudRate(TBaudRate Value) {
  if (StoreIfChanged(baudRate_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t Value) {
  if (StoreIfChanged(customBaudRate_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetPort(std::string Value) {
  if (!StoreIfChanged(port_, std::move(Value))) return;
  if (LiveOnDevice()) {
    ClosePort();
    OpenPort();
  }
}

void TCustomComPort::SetStopBits(TStopBits Value) {
  if (StoreIfChanged(stopBits_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits Value) {
  if (StoreIfChanged(dataBits_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool Value) {
  if (StoreIfChanged(discardNull_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char Value) {
  if (StoreIfChanged(eventChar_, Value)) ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value) {
  if (Value == syncMethod_) return;
  // The event monitor and its delivery path are chosen at open; they cannot
  // change under a running monitor.
  if (LiveOnDevice()) throw EComPort(PortError::SetWhileConnected);
  syncMethod_ = Value;
}

void TCustomComPort::SetParity(const TComParity& Value) {
  parity_.Assign(Value);
  ApplyLineSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl& Value) {
  flowControl_.Assign(Value);
  ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts& Value) {
  timeouts_.Assign(Value);
  ApplyTimeoutSettings();
}

void TCustomComPort::SetBuffer(const TComBuffer& Value) {
  buffer_.Assign(Value);
  ApplyBufferSettings();
}

void TCustomComPort::CloseLostDevice() {
  if (!connected_ || Designing()) return;
  try {
    ClosePort();
    return;
  } catch (const EComPort& error) {
    if (error.PortErrorCode() != static_cast<std::int32_t>(PortError::PurgeFailed)) throw;
  }
  // The purge failed after OnBeforeClose: finish the sequence from there.
  StopEventMonitor();
  CloseDevice();
  connected_ = false;
  DoAfterClose();
}

// ---- Event hooks ---------------------------------------------------------------

void TCustomComPort::DoAfterClose() {
  if (OnAfterClose) OnAfterClose(*this);
}
void TCustomComPort::DoAfterOpen() {
  if (OnAfterOpen) OnAfterOpen(*this);
}
void TCustomComPort::DoBeforeClose() {
  if (OnBeforeClose) OnBeforeClose(*this);
}
void TCustomComPort::DoBeforeOpen() {
  if (OnBeforeOpen) OnBeforeOpen(*this);
}
void TCustomComPort::DoRxChar(int Count) {
  if (OnRxChar) OnRxChar(*this, Count);
}
void TCustomComPort::DoRxBuf(const void* Buffer, int Count) {
  if (OnRxBuf) OnRxBuf(*this, Buffer, Count);
}
void TCustomComPort::DoTxEmpty() {
  if (OnTxEmpty) OnTxEmpty(*this);
}
void TCustomComPort::DoBreak() {
  if (OnBreak) OnBreak(*this);
}
void TCustomComPort::DoRing() {
  if (OnRing) OnRing(*this);
}
void TCustomComPort::DoRxFlag() {
  if (OnRxFlag) OnRxFlag(*this);
}
void TCustomComPort::DoCTSChange(bool OnOff) {
  if (OnCTSChange) OnCTSChange(*this, OnOff);
}
void TCustomComPort::DoDSRChange(bool OnOff) {
  if (OnDSRChange) OnDSRChange(*this, OnOff);
}
void TCustomComPort::DoError(TComErrors Errors) {
  if (OnError) OnError(*this, Errors);
}
void TCustomComPort::DoRLSDChange(bool OnOff) {
  if (OnRLSDChange) OnRLSDChange(*this, OnOff);
}
void TCustomComPort::DoRx80Full() {
  if (OnRx80Full) OnRx80Full(*this);
}

}  // namespace cport
