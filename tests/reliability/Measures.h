#pragma once
// What the reliability tests measure of their own process: resident memory,
// open file descriptors and threads (from /proc/self), and how late the
// event loop of the user-interface thread runs a 10 ms timer.
#include <unistd.h>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace reliability {

inline std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

inline std::size_t EntriesOf(const char* dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                                std::filesystem::directory_iterator{}));
}
inline std::size_t OpenFiles() { return EntriesOf("/proc/self/fd"); }
inline std::size_t Threads() { return EntriesOf("/proc/self/task"); }

// A 10 ms timer on the user-interface thread: the longest gap between two of
// its runs, less the 10 ms, is the longest time the event loop was blocked
// (to within one timer period).
class LoopLateness {
 public:
  LoopLateness() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      ++runs_;
      const qint64 gap = clock_.restart();
      if (gap - kPeriodMs > worst_) worst_ = gap - kPeriodMs;
    });
    clock_.start();
    timer_.start(kPeriodMs);
  }
  qint64 WorstMs() const { return worst_; }
  // How often the timer ran: a loop that never ran it measured nothing.
  std::size_t Runs() const { return runs_; }

 private:
  static constexpr int kPeriodMs = 10;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 worst_ = 0;
  std::size_t runs_ = 0;
};

// Sizes and durations: the CI size, or the one set in the environment.
inline std::size_t EnvOr(const char* name, std::size_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::strtoull(text, nullptr, 10) > 0
             ? static_cast<std::size_t>(std::strtoull(text, nullptr, 10))
             : fallback;
}

// Sanitizer builds run many times slower; their timings are reported, not
// held to the goal.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

}  // namespace reliability
