#pragma once
// One read or write of a port that is started and awaited separately (the
// started forms BeginRead / BeginWrite / WaitForTransfer of TCustomComPort).
//
// A request belongs to whoever created it with NewTransfer and is released
// with ReleaseTransfer (or by its unique_ptr). It serves one transfer at a
// time and may be reused once WaitForTransfer has returned. The buffer of a
// started transfer must stay valid until that wait. A new request counts as
// completed with 0 bytes. Releasing a request whose transfer is still
// pending abandons the transfer.
//
// Threads: a request belongs to one thread at a time.
#include <memory>

#include "cport/port/ComEnums.h"
#include "cport/device/Transfer.h"

namespace cport {

class TCustomComPort;

class TransferRequest {
 public:
  // What the last start was: tkWrite in a new request.
  TransferKind Kind() const noexcept { return kind_; }

 private:
  friend class TCustomComPort;

  device::Transfer transfer_;
  TransferKind kind_ = TransferKind::tkWrite;
  // Whether the device has seen this request; one it never saw has nothing
  // to wait for.
  bool started_ = false;
};

// Fills `Request` with a new request (replacing, and so releasing, any
// request it held).
void NewTransfer(std::unique_ptr<TransferRequest>& Request);
// Frees the request; `Request` becomes empty.
void ReleaseTransfer(std::unique_ptr<TransferRequest>& Request) noexcept;

}  // namespace cport
