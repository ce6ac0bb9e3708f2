// Finding a text in the log: direction, wrapping, case, steps, spilled pages.
#include "monitor/log/LogSearch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace monitor {
namespace {

LogSearch::State Run(LogSearch& s, std::size_t per_step = 1000) {
  while (s.Step(per_step) == LogSearch::State::Searching) {
  }
  return s.Current();
}

struct Found {
  std::size_t line, column;
  bool operator==(const Found&) const = default;
};

Found Find(const LogStore& log, std::string_view text, bool match_case, bool forward,
           std::size_t line, std::size_t column, std::size_t per_step = 1000) {
  LogSearch s(log, text, match_case, forward, line, column);
  if (Run(s, per_step) != LogSearch::State::Found) return {999, 999};
  EXPECT_EQ(s.Match().length, text.size());
  return {s.Match().line, s.Match().column};
}

TEST(LogSearch, NextAndPreviousFromAPositionWrapRoundTheLogInAnyStep) {
  LogStore log;
  for (const char* line : {"abc abc", "x", "Abc", "\xC7\xC3O falhou", "abc"}) log.AppendLine(line);
  for (std::size_t step : {1u, 2u, 1000u}) {
    SCOPED_TRACE(step);
    // Forward from the end of a match: the next one, in the same line too.
    EXPECT_EQ(Find(log, "abc", true, true, 0, 3, step), (Found{0, 4}));
    EXPECT_EQ(Find(log, "abc", true, true, 0, 7, step), (Found{4, 0}));
    // Past the last: round to the first.
    EXPECT_EQ(Find(log, "abc", true, true, 4, 3, step), (Found{0, 0}));
    // Backward from the start of a match: the one before it, round the start.
    EXPECT_EQ(Find(log, "abc", true, false, 0, 4, step), (Found{0, 0}));
    EXPECT_EQ(Find(log, "abc", true, false, 0, 0, step), (Found{4, 0}));
    EXPECT_EQ(Find(log, "abc", true, false, 4, 0, step), (Found{0, 4}));
    // Without case: ASCII and the code page's accented capitals.
    EXPECT_EQ(Find(log, "abc", false, false, 4, 0, step), (Found{2, 0}));
    EXPECT_EQ(Find(log, "\xE7\xE3o", false, true, 0, 0, step), (Found{3, 0}));
    EXPECT_EQ(Find(log, "\xE7\xE3o", true, true, 0, 0, step), (Found{999, 999}));
    // The only match, seen from inside itself, is found again.
    EXPECT_EQ(Find(log, "falhou", true, true, 3, 10, step), (Found{3, 4}));
  }
  EXPECT_EQ(Find(log, "zzz", false, true, 2, 0), (Found{999, 999}));
  EXPECT_EQ(Find(log, "", false, true, 2, 0), (Found{999, 999}));
}

TEST(LogSearch, ReachesSpilledLinesAndEndsWhenTheLogIsCleared) {
  const auto dir = std::filesystem::temp_directory_path() / "riri-logsearch";
  std::filesystem::create_directories(dir);
  LogStore log({4096, 1024, dir});
  log.AppendLine("C\xD3" "DIGO 0x1C");
  for (int i = 0; i < 20000; ++i) log.AppendByte(static_cast<std::uint8_t>('a' + i % 26), ByteForm::Character);
  log.SettleSpill();
  ASSERT_GT(log.SpilledBytes(), 0u);
  // Backward from the end: every line is looked at on the way to the first.
  LogSearch s(log, "c\xF3" "digo", false, false, log.LineCount() - 1, 1);
  std::size_t steps = 0;
  while (s.Step(512) == LogSearch::State::Searching) {
    ++steps;
    EXPECT_LT(s.Progress(), 1.0);
  }
  EXPECT_GT(steps, 10u) << "one step looked at more than it was allowed";
  ASSERT_EQ(s.Current(), LogSearch::State::Found);
  EXPECT_EQ(s.Match().line, 0u);

  LogSearch cut(log, "zzz", false, true, 0, 0);
  EXPECT_EQ(cut.Step(10), LogSearch::State::Searching);
  log.Clear();
  EXPECT_EQ(cut.Step(10), LogSearch::State::NotFound);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace monitor
