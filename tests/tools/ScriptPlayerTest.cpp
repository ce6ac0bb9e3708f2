#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "fixture_sim/ScriptParser.h"
#include "fixture_sim/ScriptPlayer.h"

using namespace fixture_sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

const PaceTime kStart = PaceTime() + 1000s;

// A line on a clock of its own: waits jump to their deadline, so that a
// test of timing runs in no time and never depends on the machine's load.
class FakeLine final : public Line {
 public:
  struct Taken {
    PaceTime at;
    Bytes bytes;
  };

  WriteOutcome Write(std::span<const std::uint8_t> bytes) override {
    ++writeCalls;
    if (failWith) return {0, false, failWith};
    if (full > 0) {
      --full;
      return {};
    }
    const std::size_t taken = std::min(bytes.size(), takesAtMost);
    if (!listening) {
      dropped.insert(dropped.end(), bytes.begin(), bytes.begin() + taken);
      return {taken, true, {}};
    }
    writes.push_back({now, Bytes(bytes.begin(), bytes.begin() + taken)});
    return {taken, false, {}};
  }

  std::error_code Wait(bool forWrite, PaceTime deadline, const StopSignal&) override {
    ++waits;
    if (stopOnWait != nullptr && waits == stopAfterWaits) stopOnWait->Raise();
    if (forWrite) {
      now += fullFor;
      return {};
    }
    EXPECT_NE(deadline, PaceTime::max()) << "a wait for nothing would never end";
    now = std::max(now, deadline);
    return {};
  }

  PaceTime Now() const override { return now; }

  Bytes Written() const {
    Bytes all;
    for (const auto& w : writes) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
  }

  PaceTime now = kStart;
  std::size_t takesAtMost = std::numeric_limits<std::size_t>::max();
  int full = 0;  // writes that take nothing, each followed by a wait of fullFor
  std::chrono::nanoseconds fullFor = 0ns;
  bool listening = true;
  std::error_code failWith;
  StopSignal* stopOnWait = nullptr;
  int stopAfterWaits = 0;
  std::vector<Taken> writes;
  Bytes dropped;
  int writeCalls = 0;
  int waits = 0;
};

}  // namespace

TEST(ScriptPlayer, PlaysBytesAndPausesInOrderOnTime) {
  const Script script = ParseScript(
      "frame 0 1\n"
      "pause 1.5s\n"
      "text \"ab\"\n"
      "pause 250ms\n"
      "bytes 01 02\n");
  FakeLine line;
  StopSignal stop;
  ScriptPlayer player(line, stop);
  std::vector<int> traced;
  player.OnCommand([&](const ScriptCommand& c) { traced.push_back(c.line); });
  const PlayOutcome outcome = player.Play(script);
  EXPECT_EQ(outcome.end, PlayEnd::peFinished);
  EXPECT_EQ(outcome.written, 9u);
  EXPECT_EQ(outcome.dropped, 0u);
  EXPECT_EQ(traced, (std::vector<int>{1, 2, 3, 4, 5}));
  ASSERT_EQ(line.writes.size(), 3u);
  EXPECT_EQ(line.writes[0].at, kStart);
  EXPECT_EQ(line.writes[1].at, kStart + 1500ms);
  EXPECT_EQ(line.writes[2].at, kStart + 1750ms);
  EXPECT_EQ(line.Written(), ScriptBytes(script));
}

// A line that takes a few bytes at a time, or nothing for a while, still
// gets every byte exactly once and in order.
TEST(ScriptPlayer, ShortAndRefusedWritesLoseNothing) {
  const Script script = ParseScript(
      "bytes 00 01 02 03 04 05 06\n"
      "stream 1000 bytes at max pattern random seed 9\n"
      "stream 300 bytes at 3000 B/s pattern frames\n");
  for (std::size_t takes : {1u, 3u, 64u}) {
    FakeLine line;
    line.takesAtMost = takes;
    line.full = 5;
    line.fullFor = 7ms;
    StopSignal stop;
    ScriptPlayer player(line, stop);
    const PlayOutcome outcome = player.Play(script);
    EXPECT_EQ(outcome.end, PlayEnd::peFinished);
    EXPECT_EQ(line.Written(), ScriptBytes(script)) << takes;
    EXPECT_EQ(outcome.written, ScriptBytes(script).size());
  }
}

// Pacing through the player: at every write the line has had no more than
// the rate allows, and no less than one chunk short of it.
TEST(ScriptPlayer, StreamsKeepTheirRate) {
  for (std::uint64_t rate : {50ull, 960ull, 100'000ull}) {
    FakeLine line;
    StopSignal stop;
    ScriptPlayer player(line, stop);
    const std::uint64_t count = rate * 2;
    const PlayOutcome outcome = player.Stream({count, rate, StreamPattern::spCounter, 1});
    ASSERT_EQ(outcome.written, count);
    std::uint64_t sent = 0;
    for (const auto& w : line.writes) {
      sent += w.bytes.size();
      const std::uint64_t due = BytesDue(rate, w.at - kStart);
      ASSERT_LE(sent, due) << rate;
      ASSERT_LE(due - sent, ChunkFor(rate)) << rate;
    }
    EXPECT_EQ(line.now - kStart, TimeFor(rate, count)) << rate;
  }
}

TEST(ScriptPlayer, BytesNobodyHearsAreCountedAsDropped) {
  const Script script = ParseScript("frame 0 1\npause 1s\nstream 100 bytes at 1000 B/s\n");
  FakeLine line;
  line.listening = false;
  StopSignal stop;
  ScriptPlayer player(line, stop);
  const PlayOutcome outcome = player.Play(script);
  EXPECT_EQ(outcome.end, PlayEnd::peFinished);
  EXPECT_EQ(outcome.written, 0u);
  EXPECT_EQ(outcome.dropped, 105u);
  EXPECT_EQ(line.dropped, ScriptBytes(script));
  EXPECT_EQ(line.now - kStart, 1s + TimeFor(1000, 100)) << "dropped bytes keep their pace";
}

TEST(ScriptPlayer, AStopEndsThePlayAtTheNextWait) {
  const Script script = ParseScript("bytes 01\npause 10s\nbytes 02\n");
  FakeLine line;
  StopSignal stop;
  line.stopOnWait = &stop;
  line.stopAfterWaits = 1;
  ScriptPlayer player(line, stop);
  const PlayOutcome outcome = player.Play(script);
  EXPECT_EQ(outcome.end, PlayEnd::peStopped);
  EXPECT_EQ(line.Written(), Bytes{0x01});

  StopSignal stopped;
  stopped.Raise();
  FakeLine idle;
  ScriptPlayer late(idle, stopped);
  EXPECT_EQ(late.Play(script).end, PlayEnd::peStopped);
  EXPECT_EQ(idle.writeCalls, 0);
  EXPECT_EQ(late.Stream({100, 0, StreamPattern::spCounter, 1}).end, PlayEnd::peStopped);
}

TEST(ScriptPlayer, ALineFailureEndsThePlayWithItsError) {
  FakeLine line;
  line.failWith = std::make_error_code(std::errc::io_error);
  StopSignal stop;
  ScriptPlayer player(line, stop);
  const PlayOutcome outcome = player.Play(ParseScript("bytes 01\nbytes 02\n"));
  EXPECT_EQ(outcome.end, PlayEnd::peFailed);
  EXPECT_EQ(outcome.error, std::errc::io_error);
  EXPECT_EQ(line.writeCalls, 1);
}
