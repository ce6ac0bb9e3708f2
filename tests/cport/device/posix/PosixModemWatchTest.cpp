// The modem-line helper with its blocking call stood in for: real TIOCMIWAIT
// needs a UART, which a pseudo-terminal is not.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#include "cport/device/LineFlags.h"
#include "cport/device/posix/PosixModemWatch.h"

namespace cport::device {
namespace {

using Clock = std::chrono::steady_clock;

TEST(ModemWatchTest, EachMovedCounterIsItsEvent) {
  const ModemCounts base{5, 6, 7, 8};
  EXPECT_EQ(ModemEvents(base, base), 0u);
  EXPECT_EQ(ModemEvents(base, {6, 6, 7, 8}), kEvCts);
  EXPECT_EQ(ModemEvents(base, {5, 7, 7, 8}), kEvDsr);
  EXPECT_EQ(ModemEvents(base, {5, 6, 9, 8}), kEvRlsd);
  EXPECT_EQ(ModemEvents(base, {5, 6, 7, 9}), kEvRing);
  EXPECT_EQ(ModemEvents(base, {0, 0, 0, 0}), kEvCts | kEvDsr | kEvRlsd | kEvRing);  // wrapped
}

// The line: a pipe stands for "a line changed" and the counters are the
// test's own.
class ModemLine {
 public:
  ModemLine() { EXPECT_EQ(::pipe(fds_), 0); }
  ~ModemLine() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  ModemWatch::WaitCall Wait() {
    return [this] {
      char c;
      return ::read(fds_[0], &c, 1) == 1 ? 0 : -1;
    };
  }
  ModemWatch::CountCall Counts() {
    return [this](ModemCounts& out) {
      std::lock_guard lock(mu_);
      out = counts_;
      return true;
    };
  }
  void Change(void (*change)(ModemCounts&)) {
    {
      std::lock_guard lock(mu_);
      change(counts_);
    }
    ASSERT_EQ(::write(fds_[1], "x", 1), 1);
  }

 private:
  int fds_[2] = {-1, -1};
  std::mutex mu_;
  ModemCounts counts_;
};

bool AwaitReadable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 5000) == 1;
}

TEST(ModemWatchTest, ChangesWakeThePollerAndAreTakenOnce) {
  ModemLine line;
  ModemWatch watch;
  ASSERT_FALSE(watch.Error());
  ASSERT_FALSE(watch.Start(line.Wait(), line.Counts()));
  EXPECT_TRUE(watch.Running());

  line.Change([](ModemCounts& c) { ++c.cts; });
  ASSERT_TRUE(AwaitReadable(watch.wake_fd()));
  EXPECT_EQ(watch.Take(), kEvCts);
  EXPECT_EQ(watch.Take(), 0u);

  line.Change([](ModemCounts& c) {
    ++c.dcd;
    c.rng += 2;
  });
  ASSERT_TRUE(AwaitReadable(watch.wake_fd()));
  EXPECT_EQ(watch.Take(), kEvRlsd | kEvRing);
  watch.Stop();
  EXPECT_FALSE(watch.Running());
}

TEST(ModemWatchTest, StopEndsABlockedWaitAndTheWatchStartsAgain) {
  ModemLine line;
  ModemWatch watch;
  for (int round = 0; round < 3; ++round) {
    // pause() stands for TIOCMIWAIT: only a signal ends it.
    ASSERT_FALSE(watch.Start([] { return ::pause(); }, line.Counts()));
    const auto start = Clock::now();
    watch.Stop();
    EXPECT_FALSE(watch.Running());
    std::printf(
        "[ measured ] modem watch stopped in %lld us\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count()));
  }
  // Stopped, a change is not taken any more; restarted, it is.
  ASSERT_FALSE(watch.Start(line.Wait(), line.Counts()));
  line.Change([](ModemCounts& c) { ++c.dsr; });
  ASSERT_TRUE(AwaitReadable(watch.wake_fd()));
  EXPECT_EQ(watch.Take(), kEvDsr);
}

}  // namespace
}  // namespace cport::device
