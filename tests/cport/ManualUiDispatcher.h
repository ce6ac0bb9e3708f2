#pragma once
// A UiDispatcher for tests: the test thread is the user-interface thread and
// runs the queued calls itself, when it pumps, so that what runs where and
// in which order is the test's choice.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "cport/dispatch/UiCallQueue.h"
#include "cport/dispatch/UiDispatcher.h"

namespace cport::testing {

class ManualUiDispatcher final : public UiCallQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // Drains the queue until `done` holds or `limit` has passed; between
  // drains it sleeps until a call is queued (or a short while, for
  // conditions no call announces). False on timeout.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = Clock::now() + limit;
    for (;;) {
      std::uint64_t seen;
      {
        std::lock_guard lock(mu_);
        seen = wakes_;
      }
      Drain();
      if (done()) return true;
      if (Clock::now() >= end) return false;
      std::unique_lock lock(mu_);
      woken_.wait_for(lock, std::chrono::milliseconds(5), [&] { return wakes_ != seen; });
    }
  }

  // Waits (without running anything) until `n` calls are queued.
  bool AwaitQueued(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock lock(mu_);
    return woken_.wait_for(lock, limit, [&] { return Queued() >= n; });
  }

  std::uint64_t Wakes() const {
    std::lock_guard lock(mu_);
    return wakes_;
  }

 protected:
  void WakeUiThread() noexcept override {
    {
      std::lock_guard lock(mu_);
      ++wakes_;
    }
    woken_.notify_all();
  }

 private:
  mutable std::mutex mu_;
  std::condition_variable woken_;
  std::uint64_t wakes_ = 0;
};

// Installs a dispatcher for the life of the object and restores the one
// before.
class ScopedUiDispatcher {
 public:
  explicit ScopedUiDispatcher(UiDispatcher* dispatcher) : before_(SetUiDispatcher(dispatcher)) {}
  ~ScopedUiDispatcher() { SetUiDispatcher(before_); }
  ScopedUiDispatcher(const ScopedUiDispatcher&) = delete;
  ScopedUiDispatcher& operator=(const ScopedUiDispatcher&) = delete;

 private:
  UiDispatcher* before_;
};

}  // namespace cport::testing
