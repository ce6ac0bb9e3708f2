#include "cport/device/fake/FakeComDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace cport::device {
namespace {

std::error_code Errno(int e) { return {e, std::system_category()}; }

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", v);
  return text;
}

}  // namespace

struct FakeComDevice::FakeTransfer : TransferState {
  bool read = false;
  void* buffer = nullptr;
  const void* data = nullptr;
  std::uint32_t count = 0;
  std::uint32_t result = 0;
  std::error_code error;
  bool aborted = false;
  std::uint64_t generation = 0;
};

FakeComDevice::FakeComDevice() = default;
FakeComDevice::~FakeComDevice() = default;

std::error_code FakeComDevice::Enter(FakeCall call, std::string log_text) {
  if (call != FakeCall::kWaitForLineEvents) log_.push_back(std::move(log_text));
  Failure& f = failures_[static_cast<int>(call)];
  if (f.times != 0) {
    if (f.times > 0) --f.times;
    return Errno(f.error);
  }
  if (call == FakeCall::kOpen || call == FakeCall::kClose) return {};
  if (!open_) return Errno(EBADF);
  if (vanished_) return Errno(EIO);
  return {};
}

void FakeComDevice::Wake() { wake_.Set(); }

std::error_code FakeComDevice::Open(std::string_view port_name) noexcept {
  std::lock_guard lock(mu_);
  if (auto ec = Enter(FakeCall::kOpen, "Open(" + std::string(port_name) + ")")) return ec;
  if (open_) return Errno(EALREADY);
  open_ = true;
  vanished_ = false;
  ++generation_;
  opened_name_ = std::string(port_name);
  event_mask_ = 0;
  pending_events_ = 0;
  return {};
}

std::error_code FakeComDevice::Close() noexcept {
  std::lock_guard lock(mu_);
  if (auto ec = Enter(FakeCall::kClose, "Close()")) return ec;
  if (!open_) return {};
  open_ = false;
  ++generation_;  // pending transfers end with ECANCELED
  pending_read_.reset();
  pending_write_.reset();
  Wake();
  return {};
}

bool FakeComDevice::IsOpen() const noexcept {
  std::lock_guard lock(mu_);
  return open_;
}

std::error_code FakeComDevice::SetQueueSizes(std::uint32_t input_size,
                                             std::uint32_t output_size) noexcept {
  std::lock_guard lock(mu_);
  if (auto ec = Enter(FakeCall::kSetQueueSizes, "SetQueueSizes(" + std::to_string(input_size) +
                                                    "," + std::to_string(output_size) + ")")) {
    return ec;
  }
  if (input_size > 0x7FFFFFFFu || output_size > 0x7FFFFFFFu) return Errno(EINVAL);
  input_size_ = input_size;
  output_size_ = output_size;
  return {};
}

std::error_code FakeComDevice::SetLineSettings(const Dcb& dcb) noexcept {
  std::lock_guard lock(mu_);
  if (auto ec = Enter(FakeCall::kSetLineSettings,
                      "SetLineSettings(" + std::to_string(dcb.BaudRate) + ")")) {
    return ec;
  }
  dcb_ = dcb;
  return {};
}

std::error_code FakeComDevice::SetTimeouts(const CommTimeouts& t) noexcept {
  std::lock_guard lock(mu_);
  if (auto ec =
          Enter(FakeCall::kSetTimeouts, "SetTimeouts(" + std::to_string(t.ReadIntervalTimeout) +
                                            "," + std::to_string(t.ReadTotalTimeoutMultiplier) +
                                            "," + std::to_string(t.ReadTotalTimeoutConstant) + "," +
                                            std::to_string(t.WriteTotalTimeoutMultiplier) + "," +
                                            std::to_string(t.WriteTotalTimeoutConstant) + ")")) {
    return ec;
  }
  timeouts_ = t;
  return {};
}

std::error_code FakeComDevice::Purge(std::uint32_t flags) noexcept {
  std::lock_guard lock(mu_);
  if (auto ec = Enter(FakeCall::kPurge, "Purge(" + Hex(flags) + ")")) return ec;
  if (flags & kPurgeRxAbort) {
    if (auto t = pending_read_.lock()) t->aborted = true;
    pending_read_.reset();
  }
  if (flags & kPurgeTxAbort) {
    if (auto t = pending_write_.lock()) t->aborted = true;
    pending_write_.reset();
  }
  if (flags & kPurgeRxClear) received_.clear();
  return {};
}

std::error_code FakeComDevice::ClearErrors(LineStatus& status) noexcept {
  std::lock_guard lock(mu_);
  status = {};
  if (auto ec = Enter(FakeCall::kClearErrors, "ClearErrors()")) return ec;
  status.Errors = std::exchange(line_errors_, 0);
  status.InQueue = static_cast<std::uint32_t>(received_.size());
  return {};
}

std::error_code FakeComDevice::GetModemStatus(std::uint32_t& status) noexcept {
  std::lock_guard lock(mu_);
  status = 0;
  if (auto ec = Enter(FakeCall::kGetModemStatus, "GetModemStatus()")) return ec;
  status = modem_status_;
  return {};
}

std::error_code FakeComDevice::Complete(FakeTransfer& t) {
  t.pending = false;
  if (t.aborted || t.generation != generation_) {
    t.error = Errno(ECANCELED);
  } else if (vanished_) {
    t.error = Errno(EIO);
  } else if (t.read) {
    const std::size_t n = std::min<std::size_t>(t.count, received_.size());
    std::copy_n(received_.begin(), n, static_cast<char*>(t.buffer));
    received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
    t.result = static_cast<std::uint32_t>(n);
  } else {
    written_.append(static_cast<const char*>(t.data), t.count);
    t.result = t.count;
  }
  return t.error;
}

std::error_code FakeComDevice::StartRead(void* buffer, std::uint32_t count, Transfer& transfer,
                                         std::uint32_t& transferred) noexcept {
  std::lock_guard lock(mu_);
  transferred = 0;
  if (auto ec = Enter(FakeCall::kStartRead, "StartRead(" + std::to_string(count) + ")")) {
    return ec;
  }
  if (transfer.IsPending()) return Errno(EINVAL);
  if (!pending_read_.expired()) return Errno(EBUSY);
  auto t = std::make_shared<FakeTransfer>();
  t->read = true;
  t->buffer = buffer;
  t->count = count;
  t->generation = generation_;
  StateOf(transfer) = t;
  if (!complete_at_once_) {
    t->pending = true;
    pending_read_ = t;
    return {};
  }
  auto ec = Complete(*t);
  transferred = t->result;
  return ec;
}

std::error_code FakeComDevice::StartWrite(const void* data, std::uint32_t count, Transfer& transfer,
                                          std::uint32_t& transferred) noexcept {
  std::lock_guard lock(mu_);
  transferred = 0;
  if (auto ec = Enter(FakeCall::kStartWrite, "StartWrite(" + std::to_string(count) + ")")) {
    return ec;
  }
  if (transfer.IsPending()) return Errno(EINVAL);
  if (!pending_write_.expired()) return Errno(EBUSY);
  auto t = std::make_shared<FakeTransfer>();
  t->data = data;
  t->count = count;
  t->generation = generation_;
  StateOf(transfer) = t;
  if (!complete_at_once_) {
    t->pending = true;
    pending_write_ = t;
    return {};
  }
  auto ec = Complete(*t);
  transferred = t->result;
  return ec;
}

std::error_code FakeComDevice::WaitForTransfer(Transfer& transfer,
                                               std::uint32_t& transferred) noexcept {
  std::lock_guard lock(mu_);
  transferred = 0;
  // The wait belongs to the transfer, not the device: a scripted failure is
  // the only thing that stops it from reporting what happened to the transfer.
  log_.push_back("WaitForTransfer()");
  Failure& f = failures_[static_cast<int>(FakeCall::kWaitForTransfer)];
  if (f.times != 0) {
    if (f.times > 0) --f.times;
    return Errno(f.error);
  }
  auto* t = static_cast<FakeTransfer*>(StateOf(transfer).get());
  if (t == nullptr) return {};
  if (t->pending) {
    Complete(*t);
    if (t->read && pending_read_.lock().get() == t) pending_read_.reset();
    if (!t->read && pending_write_.lock().get() == t) pending_write_.reset();
  }
  transferred = t->result;
  return t->error;
}

std::error_code FakeComDevice::SetEventMask(std::uint32_t mask) noexcept {
  std::lock_guard lock(mu_);
  if (auto ec = Enter(FakeCall::kSetEventMask, "SetEventMask(" + Hex(mask) + ")")) return ec;
  event_mask_ = mask;
  pending_events_ = 0;
  ++mask_changes_;
  Wake();
  return {};
}

std::error_code FakeComDevice::WaitForLineEvents(const ManualResetEvent& stop,
                                                 std::uint32_t& events) noexcept {
  std::unique_lock lock(mu_);
  events = 0;
  ++line_event_waits_;
  if (auto ec = Enter(FakeCall::kWaitForLineEvents, {})) return ec;
  if (event_mask_ == 0) return Errno(EINVAL);
  const std::uint64_t generation = generation_;
  const std::uint64_t mask_changes = mask_changes_;
  for (;;) {
    if (stop.IsSet()) return Errno(ECANCELED);
    if (generation != generation_) return Errno(EBADF);  // closed under the wait
    if (vanished_) return Errno(EIO);
    if (mask_changes != mask_changes_) return {};
    if (pending_events_ != 0) {
      events = std::exchange(pending_events_, 0);
      return {};
    }
    // Reset under the lock, after looking: whatever sets it later is seen.
    wake_.Reset();
    waiting_ = true;
    waiter_changed_.notify_all();
    lock.unlock();
    int which = -1;
    const std::error_code ec =
        WaitForAnyEvent({&stop, &wake_}, std::chrono::milliseconds(-1), which);
    lock.lock();
    waiting_ = false;
    waiter_changed_.notify_all();
    if (ec) return ec;
  }
}

void FakeComDevice::PushReceived(std::string_view bytes) {
  std::lock_guard lock(mu_);
  received_.insert(received_.end(), bytes.begin(), bytes.end());
  if (!bytes.empty() && (event_mask_ & kEvRxChar)) {
    pending_events_ |= kEvRxChar;
    Wake();
  }
}

void FakeComDevice::RaiseLineEvents(std::uint32_t events) {
  std::lock_guard lock(mu_);
  if (events & event_mask_) {
    pending_events_ |= events & event_mask_;
    Wake();
  }
}

void FakeComDevice::SetModemStatus(std::uint32_t ms_bits) {
  std::lock_guard lock(mu_);
  modem_status_ = ms_bits;
}

void FakeComDevice::AddLineErrors(std::uint32_t ce_flags) {
  std::lock_guard lock(mu_);
  line_errors_ |= ce_flags;
}

void FakeComDevice::FailCall(FakeCall call, int error, int times) {
  std::lock_guard lock(mu_);
  failures_[static_cast<int>(call)] = {error, times};
}

void FakeComDevice::ClearFailures() {
  std::lock_guard lock(mu_);
  for (Failure& f : failures_) f = {};
}

void FakeComDevice::Vanish() {
  std::lock_guard lock(mu_);
  vanished_ = true;
  Wake();
}

void FakeComDevice::SetCompleteAtOnce(bool at_once) {
  std::lock_guard lock(mu_);
  complete_at_once_ = at_once;
}

std::vector<std::string> FakeComDevice::CallLog() const {
  std::lock_guard lock(mu_);
  return log_;
}

void FakeComDevice::ClearCallLog() {
  std::lock_guard lock(mu_);
  log_.clear();
}

std::string FakeComDevice::Written() const {
  std::lock_guard lock(mu_);
  return written_;
}

std::size_t FakeComDevice::ReceivedWaiting() const {
  std::lock_guard lock(mu_);
  return received_.size();
}

std::string FakeComDevice::OpenedName() const {
  std::lock_guard lock(mu_);
  return opened_name_;
}

std::uint32_t FakeComDevice::InputQueueSize() const {
  std::lock_guard lock(mu_);
  return input_size_;
}

std::uint32_t FakeComDevice::OutputQueueSize() const {
  std::lock_guard lock(mu_);
  return output_size_;
}

Dcb FakeComDevice::LastDcb() const {
  std::lock_guard lock(mu_);
  return dcb_;
}

CommTimeouts FakeComDevice::LastTimeouts() const {
  std::lock_guard lock(mu_);
  return timeouts_;
}

std::uint32_t FakeComDevice::EventMask() const {
  std::lock_guard lock(mu_);
  return event_mask_;
}

int FakeComDevice::LineEventWaits() const {
  std::lock_guard lock(mu_);
  return line_event_waits_;
}

bool FakeComDevice::AwaitLineEventWaiter(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mu_);
  return waiter_changed_.wait_for(lock, timeout, [this] { return waiting_; });
}

}  // namespace cport::device
