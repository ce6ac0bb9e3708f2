#include "monitor/LineMarks.h"

#include <gtest/gtest.h>

namespace monitor {
namespace {

constexpr double kMs = 1.0 / (24.0 * 60 * 60 * 1000);

TEST(LineMarksTest, TextsAndClock) {
  const double t = (14 * 3600 + 3 * 60 + 7) * 1000 * kMs + 120 * kMs;
  EXPECT_EQ(PortLostMark(t), "\x97 porta perdida 14:03:07 \x97");
  EXPECT_EQ(PortReopenedMark(t + 5000 * kMs), "\x97 porta reaberta 14:03:12 \x97");
  EXPECT_EQ(SignalMark(cport::LineSignal::lsRing, true, t), "\x97 RING ativo 14:03:07.120 \x97");
  EXPECT_EQ(SignalMark(cport::LineSignal::lsRLSD, false, t), "\x97 RLSD inativo 14:03:07.120 \x97");
  // Rounded to the millisecond; the last millisecond of the day stays in it.
  EXPECT_EQ(ClockText(0.9999999, true), "23:59:59.991");
  EXPECT_EQ(ClockText(1.0 - kMs / 4, true), "00:00:00.000");
  EXPECT_EQ(ClockText(0, false), "00:00:00");

  using enum cport::TComError;
  const auto marks = ErrorMarks(cport::TComErrors{ceRxParity, ceBreak, ceOverrun}, t);
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_EQ(marks[0], "\x97 BREAK 14:03:07.120 \x97");
  EXPECT_EQ(marks[1], "\x97 erro de paridade 14:03:07.120 \x97");
  EXPECT_EQ(marks[2], "\x97 erro de sobreposi\xE7\xE3o 14:03:07.120 \x97");
  EXPECT_TRUE(ErrorMarks({}, t).empty());
}

}  // namespace
}  // namespace monitor
