#pragma once
// A one-shot stop request that every wait of the player also waits on: an
// eventfd that becomes readable for good once Raise is called.
//
// Raise may be called from any thread and from a signal handler (it only
// stores an atomic flag and writes to the eventfd). Raised and Fd may be used
// from any thread. Throws std::system_error when no eventfd can be made.
#include <atomic>

namespace fixture_sim {

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  void Raise() noexcept;
  bool Raised() const noexcept { return raised_.load(std::memory_order_acquire); }
  // Readable once raised; for poll().
  int Fd() const noexcept { return fd_; }

 private:
  int fd_;
  std::atomic<bool> raised_{false};
  static_assert(std::atomic<bool>::is_always_lock_free, "Raise must be async-signal-safe");
};

}  // namespace fixture_sim
