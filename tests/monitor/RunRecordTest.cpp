// The counts of test runs, where a run lies in the log, and its file name.
#include <gtest/gtest.h>

#include "monitor/RunRecord.h"
#include "monitor/RunTally.h"

namespace monitor {
namespace {

TEST(RunTally, CountsStreaksAndTheirSingularAndPluralTexts) {
  RunTally t;
  EXPECT_TRUE(t.Empty());
  for (bool approved : {true, false, true, true, true}) t.Record(approved);
  EXPECT_EQ(t.Approved(), 4u);
  EXPECT_EQ(t.Rejected(), 1u);
  EXPECT_EQ(t.Streak(), 3u);
  EXPECT_TRUE(t.StreakApproved());
  t.Record(false);
  EXPECT_EQ(t.Streak(), 1u);
  EXPECT_FALSE(t.StreakApproved());
  t.Reset();
  EXPECT_TRUE(t.Empty());
  EXPECT_EQ(t.Streak(), 0u);

  EXPECT_EQ(ApprovedText(1), "1 aprovada");
  EXPECT_EQ(ApprovedText(12), "12 aprovadas");
  EXPECT_EQ(ApprovedText(0), "0 aprovadas");
  EXPECT_EQ(RejectedText(1), "1 reprovada");
  EXPECT_EQ(RejectedText(2), "2 reprovadas");
  EXPECT_EQ(ApprovedText(12) + kTallySeparator + RejectedText(1), "12 aprovadas \xB7 1 reprovada");
}

TEST(RunTracker, ARunGoesFromItsStartLineToItsVerdictOrIsCut) {
  RunTracker t;
  const DateTimeStamp when{2026, 12, 9, 14, 3, 7};
  EXPECT_FALSE(t.Ended(3, true, 0)) << "a verdict without a start is no run";
  EXPECT_FALSE(t.Started(2, when, 0));
  const auto run = t.Ended(6, true, 0);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->first_line, 2u);
  EXPECT_EQ(run->last_line, 6u);
  EXPECT_EQ(run->outcome, RunOutcome::Approved);
  EXPECT_FALSE(t.Open());
  EXPECT_FALSE(t.Cut(10, 0)) << "nothing open, nothing cut";

  // A new start before the verdict cuts the open run just before it.
  t.Started(7, when, 0);
  const auto cut = t.Started(9, when, 0);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->first_line, 7u);
  EXPECT_EQ(cut->last_line, 8u);
  EXPECT_EQ(cut->outcome, RunOutcome::Interrupted);
  const auto cleared = t.Cut(12, 0);
  ASSERT_TRUE(cleared);
  EXPECT_EQ(cleared->first_line, 9u);
  EXPECT_EQ(cleared->last_line, 11u);

  // Lines dropped during the run moved it: what is left starts at line 0.
  t.Started(500, when, 4);
  const auto moved = t.Ended(40, false, 5);
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->first_line, 0u);
  EXPECT_EQ(moved->outcome, RunOutcome::Rejected);
  // A cleared log leaves a run nothing to save.
  t.Started(0, when, 0);
  EXPECT_FALSE(t.Cut(0, 0));
  EXPECT_FALSE(t.Open());
}

TEST(RunTracker, EvidenceNamesCarryDateTimeAndVerdict) {
  const DateTimeStamp when{2026, 12, 9, 14, 3, 7};
  EXPECT_EQ(EvidenceBaseName(when, RunOutcome::Approved), "2026-12-09_14-03-07_APROVADA");
  EXPECT_EQ(EvidenceBaseName(when, RunOutcome::Rejected), "2026-12-09_14-03-07_REPROVADA");
  EXPECT_EQ(EvidenceBaseName({2027, 1, 2, 3, 4, 5}, RunOutcome::Interrupted),
            "2027-01-02_03-04-05_INTERROMPIDA");
}

}  // namespace
}  // namespace monitor
