#pragma once
// Modem-line events for drivers that support TIOCMIWAIT (real UARTs, most USB
// adapters; not pseudo-terminals). That ioctl blocks until a line changes and
// cannot take part in poll(), so a helper thread sits in it and hands each
// change to the line-event wait through an eventfd, which the wait polls with
// the tty. Only a signal ends the ioctl early: Stop sends one (repeatedly,
// because it may arrive just before the thread enters the ioctl) until the
// thread has left. The signal's handler does nothing and is installed the
// first time a watch starts, without SA_RESTART so that the ioctl returns.
//
// Threads: Start, Stop and Take may be called from any thread; Start and
// Stop are serialised inside.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace cport::device {

// The driver's cumulative modem-line counters (TIOCGICOUNT).
struct ModemCounts {
  std::uint32_t cts = 0;
  std::uint32_t dsr = 0;
  std::uint32_t dcd = 0;
  std::uint32_t rng = 0;
};

// kEvCts, kEvDsr, kEvRlsd, kEvRing for the counters that moved.
std::uint32_t ModemEvents(const ModemCounts& before, const ModemCounts& after) noexcept;

class ModemWatch {
 public:
  using WaitCall = std::function<int()>;  // blocks until a line changes; -1 and errno on failure
  using CountCall = std::function<bool(ModemCounts&)>;

  ModemWatch() noexcept;  // creates the eventfd; check Error()
  ~ModemWatch();
  ModemWatch(const ModemWatch&) = delete;
  ModemWatch& operator=(const ModemWatch&) = delete;

  std::error_code Error() const noexcept { return error_; }
  // Readable while changes wait to be taken. Valid for the watch's lifetime.
  int wake_fd() const noexcept { return wake_fd_; }

  // Starts the helper thread unless it runs. Changes from here on are
  // reported; fails with the errno of `counts` when it cannot read them.
  std::error_code Start(WaitCall wait, CountCall counts) noexcept;
  // Ends the helper thread; returns once it has left. Changes not yet taken stay.
  void Stop() noexcept;
  bool Running() const noexcept;
  // The events since the previous Take.
  std::uint32_t Take() noexcept;

 private:
  void Run(WaitCall wait, CountCall counts, ModemCounts base) noexcept;

  int wake_fd_ = -1;
  std::error_code error_;
  std::mutex start_stop_mu_;  // serialises Start and Stop
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint32_t> pending_{0};
  mutable std::mutex exit_mu_;
  std::condition_variable exit_cv_;
  bool exited_ = true;
};

}  // namespace cport::device
