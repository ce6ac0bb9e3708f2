#include <gtest/gtest.h>

#include "cport/device/TransferLimits.h"

namespace cport::device {
namespace {

using std::chrono::milliseconds;
constexpr std::uint32_t M = kMaxDword;

TEST(TransferLimitsTest, ReadLimitsKeepTheWindowsMeaning) {
  const struct {
    CommTimeouts timeouts;
    std::uint32_t count;
    bool immediate;
    bool return_on_any;
    std::optional<std::int64_t> total_ms;
    std::optional<std::int64_t> interval_ms;
  } cases[] = {
      // The port's defaults: return at once with what has arrived.
      {{M, 0, 0, 100, 1000}, 10, true, false, {}, {}},
      {{M, M, 500, 0, 0}, 10, false, true, 500, {}},
      // Not one of the two particular forms: ordinary limits.
      {{M, M, 0, 0, 0}, 1, false, false, M, M},
      {{M, M, M, 0, 0}, 1, false, false, std::int64_t{M} * 1 + M, M},
      {{M, 0, 7, 0, 0}, 1, false, false, 7, M},
      {{0, 0, 0, 0, 0}, 10, false, false, {}, {}},  // no limit at all
      {{50, 10, 100, 0, 0}, 5, false, false, 150, 50},
      {{50, 0, 0, 0, 0}, 5, false, false, {}, 50},
      {{0, 10, 0, 0, 0}, 0, false, false, 0, {}},
      // 64-bit arithmetic: no wrap into a short timeout.
      {{0, M, M, 0, 0}, M, false, false, kLongestTimeout.count(), {}},
      {{0, M, 0, 0, 0}, 256, false, false, std::int64_t{M} * 256, {}},
  };
  for (const auto& c : cases) {
    const ReadLimits got = ReadLimitsFor(c.timeouts, c.count);
    SCOPED_TRACE(testing::Message()
                 << c.timeouts.ReadIntervalTimeout << "/" << c.timeouts.ReadTotalTimeoutMultiplier
                 << "/" << c.timeouts.ReadTotalTimeoutConstant << " x" << c.count);
    EXPECT_EQ(got.immediate, c.immediate);
    EXPECT_EQ(got.return_on_any, c.return_on_any);
    EXPECT_EQ(got.total.has_value(), c.total_ms.has_value());
    if (got.total && c.total_ms) {
      EXPECT_EQ(got.total->count(), *c.total_ms);
    }
    EXPECT_EQ(got.interval.has_value(), c.interval_ms.has_value());
    if (got.interval && c.interval_ms) {
      EXPECT_EQ(got.interval->count(), *c.interval_ms);
    }
  }
}

TEST(TransferLimitsTest, WriteLimitIsMultiplierPerBytePlusConstant) {
  EXPECT_EQ(WriteLimitFor({M, 0, 0, 100, 1000}, 3), milliseconds(1300));
  EXPECT_EQ(WriteLimitFor({0, 0, 0, 100, 0}, 3), milliseconds(300));
  EXPECT_EQ(WriteLimitFor({0, 0, 0, 0, 20}, 3), milliseconds(20));
  EXPECT_EQ(WriteLimitFor({0, 0, 0, 0, 0}, 3), std::nullopt);
  EXPECT_EQ(WriteLimitFor({0, 0, 0, M, M}, M), kLongestTimeout);
}

TEST(TransferLimitsTest, ACloseWaitsForQueuedOutputByTheWriteLimitElseByTheLineSpeed) {
  EXPECT_EQ(DrainLimitFor({0, 0, 0, 100, 1000}, 9600, 10, 3), milliseconds(1300));
  // 4096 bytes of 10 bits at 9600 bit/s take 4266.7 ms.
  EXPECT_EQ(DrainLimitFor({}, 9600, 10, 4096), milliseconds(4267) + kDrainAllowance);
  EXPECT_EQ(DrainLimitFor({}, 4000000, 12, 1), milliseconds(1) + kDrainAllowance);
}

}  // namespace
}  // namespace cport::device
