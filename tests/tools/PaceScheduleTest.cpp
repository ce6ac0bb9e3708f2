#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "fixture_sim/PaceSchedule.h"
#include "fixture_sim/Script.h"

using namespace fixture_sim;
using namespace std::chrono_literals;
using std::chrono::nanoseconds;

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
const PaceTime kStart = PaceTime() + 1000s;

}  // namespace

TEST(Pacing, BytesDueAndTimeForAreInverse) {
  const struct {
    std::uint64_t rate;
    nanoseconds elapsed;
    std::uint64_t due;
  } cases[] = {
      {1000, 1s, 1000},
      {1000, 999'999ns, 0},
      {1000, 1ms, 1},
      {960, 10ms, 9},  // 9.6 rounds down
      {3, 1s, 3},
      {3, 333'333'333ns, 0},
      {3, 333'333'334ns, 1},
      {kMaxStreamRate, 1ns, 1},
      {kMaxStreamRate, 3600s, 3'600'000'000'000},
      {1, 0ns, 0},
      {1, -5s, 0},
      // One byte a nanosecond over the whole range of the clock still fits;
      // a rate beyond the limit saturates.
      {kMaxStreamRate, nanoseconds::max(), static_cast<std::uint64_t>(nanoseconds::max().count())},
      {kMax, 2s, kMax},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BytesDue(c.rate, c.elapsed), c.due) << c.rate << " B/s after " << c.elapsed.count();
  }
  // TimeFor is the least time at which the bytes are due.
  for (std::uint64_t rate :
       std::initializer_list<std::uint64_t>{1, 3, 960, 11'520, 1'000'000, kMaxStreamRate}) {
    for (std::uint64_t bytes :
         std::initializer_list<std::uint64_t>{1, 2, 7, 96, 1000, 123'456'789}) {
      const nanoseconds t = TimeFor(rate, bytes);
      EXPECT_GE(BytesDue(rate, t), bytes) << rate << " " << bytes;
      EXPECT_LT(BytesDue(rate, t - 1ns), bytes) << rate << " " << bytes;
    }
  }
  EXPECT_EQ(TimeFor(1, kMax), nanoseconds::max());
  EXPECT_EQ(TimeFor(1000, 0), 0ns);
}

TEST(Pacing, ChunksHoldAboutTenMillisecondsOfData) {
  EXPECT_EQ(ChunkFor(1), 1u);
  EXPECT_EQ(ChunkFor(150), 1u);
  EXPECT_EQ(ChunkFor(960), 9u);
  EXPECT_EQ(ChunkFor(11'520), 115u);
  EXPECT_EQ(ChunkFor(409'600), 4096u);
  EXPECT_EQ(ChunkFor(kMaxStreamRate), 4096u);
  EXPECT_EQ(ChunkFor(0), 65'536u) << "unpaced";
}

// A writer that always keeps up, woken exactly when told: it never runs
// ahead of the rate, never lags by more than a chunk, and ends on time.
TEST(Pacing, AWriterThatKeepsUpFollowsTheRateWithoutDrift) {
  for (std::uint64_t rate : {7ull, 960ull, 11'520ull, 1'000'000ull}) {
    const std::uint64_t total = rate * 3 + rate / 3;  // 3.33 s of data
    PaceSchedule schedule(total, rate, kStart);
    PaceTime now = kStart;
    int wakeUps = 0;
    while (!schedule.Done()) {
      const std::uint64_t allowed = schedule.Allowed(now);
      if (allowed == 0) {
        ASSERT_GT(schedule.NextDue(), now);
        now = schedule.NextDue();
        ++wakeUps;
        continue;
      }
      ASSERT_LE(allowed, schedule.Chunk());
      schedule.Sent(allowed);
      const std::uint64_t due = BytesDue(rate, now - kStart);
      ASSERT_LE(schedule.SentSoFar(), due) << rate << ": ahead of the rate";
      ASSERT_LE(due - schedule.SentSoFar(), schedule.Chunk()) << rate << ": behind";
    }
    EXPECT_EQ(schedule.SentSoFar(), total);
    EXPECT_EQ(now - kStart, TimeFor(rate, total)) << rate << ": the last byte goes out on time";
    const std::uint64_t chunks = (total + schedule.Chunk() - 1) / schedule.Chunk();
    EXPECT_LE(static_cast<std::uint64_t>(wakeUps), chunks) << rate;
  }
}

// Held up for 2 s (a full line), the writer goes on at the rate, not with a
// burst that makes up for the lost time.
TEST(Pacing, AStallIsNotMadeUpWithABurst) {
  const std::uint64_t rate = 1000;  // chunk 10
  PaceSchedule schedule(10'000, rate, kStart);
  PaceTime now = kStart + 500ms;
  ASSERT_EQ(schedule.Allowed(now), 10u) << "one chunk at a time, though 500 bytes are due";
  schedule.Sent(10);
  EXPECT_EQ(schedule.Allowed(now), 0u) << "a late start is a stall as well";
  EXPECT_EQ(schedule.NextDue(), now + 10ms);
  now += 2s;  // the stall
  std::uint64_t afterStall = 0;
  const PaceTime resumed = now;
  while (now < resumed + 1s) {
    const std::uint64_t allowed = schedule.Allowed(now);
    if (allowed == 0) {
      now = schedule.NextDue();
      continue;
    }
    schedule.Sent(allowed);
    if (now < resumed + 1s) afterStall += allowed;
  }
  EXPECT_GE(afterStall, rate - 10);
  EXPECT_LE(afterStall, rate + 10) << "the second after the stall carries one second of data";
}

TEST(Pacing, UnpacedStreamsAreDueAtOnceInBigChunks) {
  PaceSchedule schedule(100'000, 0, kStart);
  EXPECT_EQ(schedule.Allowed(kStart), 65'536u);
  schedule.Sent(65'536);
  EXPECT_EQ(schedule.Allowed(kStart), 100'000u - 65'536u);
  schedule.Sent(100'000 - 65'536);
  EXPECT_TRUE(schedule.Done());
  EXPECT_EQ(schedule.Allowed(kStart), 0u);
}

TEST(Pacing, TheLastChunkIsShortAndDueWhenItsLastByteIs) {
  PaceSchedule schedule(15, 1000, kStart);  // chunk 10
  EXPECT_EQ(schedule.NextDue(), kStart + 10ms);
  EXPECT_EQ(schedule.Allowed(kStart + 9ms), 0u);
  EXPECT_EQ(schedule.Allowed(kStart + 10ms), 10u);
  schedule.Sent(10);
  EXPECT_EQ(schedule.NextDue(), kStart + 15ms);
  EXPECT_EQ(schedule.Allowed(kStart + 15ms), 5u);
  schedule.Sent(5);
  EXPECT_TRUE(schedule.Done());
}
