#pragma once
// The record of one started read or write, the counterpart of an OVERLAPPED
// record. It is owned by the caller, serves one transfer at a time and may be
// reused once ComDevice::WaitForTransfer has observed the previous transfer's
// completion. A new Transfer counts as completed with 0 bytes, so waiting on it
// succeeds at once with 0.
//
// Threads: a Transfer belongs to one thread at a time. Destroying a Transfer
// whose transfer is still pending abandons it: the device forgets it, and the
// bytes it did not move stay where they were.
#include <memory>

namespace cport::device {

class ComDevice;

// The device implementation's own part of a Transfer.
class TransferState {
 public:
  virtual ~TransferState() = default;
  bool pending = false;  // started and not yet observed complete by a wait
};

class Transfer {
 public:
  Transfer() noexcept = default;
  Transfer(Transfer&&) noexcept = default;
  Transfer& operator=(Transfer&&) noexcept = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // True between a start that did not complete at once and the wait that
  // observed its end.
  bool IsPending() const noexcept { return state_ && state_->pending; }

 private:
  friend class ComDevice;
  std::shared_ptr<TransferState> state_;
};

}  // namespace cport::device
