// Reads, writes and the status queries of an open port.
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "cport/errors/ComError.h"
#include "cport/port/ComPort.h"
#include "cport/port/LineFlagMapping.h"
#include "cport/device/LineFlags.h"

namespace cport {
namespace {

[[noreturn]] void Raise(PortError code, std::error_code error) {
  throw EComPort(code, error.value());
}

PortError FailureOf(TransferKind kind) {
  return kind == TransferKind::tkWrite ? PortError::WriteFailed : PortError::ReadFailed;
}

// A request must exist before anything reaches the device; a negative count
// would reach it as a huge unsigned one and is refused as a failed start.
void CheckStart(const TransferRequest* request, std::int32_t count, TransferKind kind) {
  if (!request) throw EComPort(PortError::InvalidAsync);
  if (count < 0) throw EComPort(FailureOf(kind), EINVAL);
}

}  // namespace

std::int32_t TCustomComPort::BeginWrite(const void* Source, std::int32_t Count,
                                        TransferRequest* Request) {
  CheckStart(Request, Count, TransferKind::tkWrite);
  Request->kind_ = TransferKind::tkWrite;
  std::uint32_t done = 0;
  if (auto error = device_->StartWrite(Source, static_cast<std::uint32_t>(Count),
                                       Request->transfer_, done)) {
    Raise(PortError::WriteFailed, error);
  }
  Request->started_ = true;
  return static_cast<std::int32_t>(done);
}

std::int32_t TCustomComPort::BeginWriteText(std::string_view Text, TransferRequest* Request) {
  if (Text.empty()) return 0;
  return BeginWrite(Text.data(), static_cast<std::int32_t>(Text.size()), Request);
}

std::int32_t TCustomComPort::BeginRead(void* Destination, std::int32_t Count,
                                       TransferRequest* Request) {
  CheckStart(Request, Count, TransferKind::tkRead);
  Request->kind_ = TransferKind::tkRead;
  std::uint32_t done = 0;
  if (auto error = device_->StartRead(Destination, static_cast<std::uint32_t>(Count),
                                      Request->transfer_, done)) {
    Raise(PortError::ReadFailed, error);
  }
  Request->started_ = true;
  return static_cast<std::int32_t>(done);
}

std::int32_t TCustomComPort::WaitForTransfer(TransferRequest* Request) {
  if (!Request) throw EComPort(PortError::InvalidAsync);
  // A request the device never saw is complete with 0 bytes; asking the
  // device would fail on a closed port for a transfer that never existed.
  if (!Request->started_) return 0;
  std::uint32_t done = 0;
  if (auto error = device_->WaitForTransfer(Request->transfer_, done)) {
    Raise(FailureOf(Request->kind_), error);
  }
  // The count is not needed; the query clears the line errors that the read
  // may have left in the device.
  if (Request->kind_ == TransferKind::tkRead) (void)BytesWaiting();
  return static_cast<std::int32_t>(done);
}

template <typename Begin>
std::int32_t TCustomComPort::RunBlocking(Begin begin) {
  // The request lives in this frame, so it is released on every path.
  std::unique_ptr<TransferRequest> request;
  NewTransfer(request);
  begin(request.get());
  return WaitForTransfer(request.get());
}

std::int32_t TCustomComPort::WriteBlock(const void* Source, std::int32_t Count) {
  return RunBlocking([&](TransferRequest* r) { BeginWrite(Source, Count, r); });
}

std::int32_t TCustomComPort::WriteText(std::string_view Text) {
  return RunBlocking([&](TransferRequest* r) { BeginWriteText(Text, r); });
}

std::int32_t TCustomComPort::ReadBlock(void* Destination, std::int32_t Count) {
  return RunBlocking([&](TransferRequest* r) { BeginRead(Destination, Count, r); });
}

void TCustomComPort::CancelTransfers() {
  if (auto error = device_->Purge(device::kPurgeTxAbort | device::kPurgeRxAbort)) {
    Raise(PortError::PurgeFailed, error);
  }
}

std::int32_t TCustomComPort::BytesWaiting() {
  device::LineStatus status;
  if (auto error = device_->ClearErrors(status)) Raise(PortError::ClearCommFailed, error);
  return static_cast<std::int32_t>(status.InQueue);
}

LineSignals TCustomComPort::ModemSignals() {
  std::uint32_t status = 0;
  if (auto error = device_->GetModemStatus(status)) Raise(PortError::ModemStatusFailed, error);
  return ModemStatusToSignals(status);
}

TComErrors TCustomComPort::TakeLineErrors() {
  device::LineStatus status;
  if (auto error = device_->ClearErrors(status)) Raise(PortError::ClearCommFailed, error);
  return LineErrorsToComErrors(status.Errors, parity_.Check());
}

}  // namespace cport
