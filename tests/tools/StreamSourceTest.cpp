#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "DecodedReports.h"
#include "fixture_sim/StreamSource.h"

using namespace fixture_sim;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Make(StreamPattern pattern, std::size_t count, std::uint64_t seed = 1) {
  Bytes bytes(count);
  StreamSource(pattern, seed).Fill(bytes);
  return bytes;
}

}  // namespace

TEST(StreamSource, CounterWrapsAfterFF) {
  const Bytes bytes = Make(StreamPattern::spCounter, 600);
  for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], i % 256) << i;
}

// Pieces of any size continue the same sequence: a paced stream is made in
// chunks, the expected bytes in one go.
TEST(StreamSource, PiecesContinueTheSameSequence) {
  for (auto pattern :
       {StreamPattern::spCounter, StreamPattern::spRandom, StreamPattern::spFrames}) {
    const Bytes whole = Make(pattern, 1000, 5);
    StreamSource source(pattern, 5);
    Bytes pieces;
    for (std::size_t size = 1; pieces.size() < whole.size(); ++size) {
      Bytes piece(std::min(size, whole.size() - pieces.size()));
      source.Fill(piece);
      pieces.insert(pieces.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(pieces, whole) << static_cast<int>(pattern);
  }
}

TEST(StreamSource, RandomBytesFollowTheSeed) {
  const Bytes a = Make(StreamPattern::spRandom, 4096, 1);
  EXPECT_EQ(Make(StreamPattern::spRandom, 4096, 1), a);
  EXPECT_NE(Make(StreamPattern::spRandom, 4096, 2), a);
  // Fixed sequence: splitmix64 from seed 1, low byte first.
  EXPECT_EQ(Bytes(a.begin(), a.begin() + 8),
            (Bytes{0xC1, 0x5C, 0x02, 0x89, 0xEC, 0x2D, 0x0A, 0x91}));
  std::set<std::uint8_t> seen(a.begin(), a.end());
  EXPECT_EQ(seen.size(), 256u) << "every byte value turns up";
}

// The frames pattern is a run of valid reports that the monitor decodes,
// progress and pass reports with an error report every seventh frame.
TEST(StreamSource, FramesDecodeAsReports) {
  fixture_sim::testing::DecodedReports reports;
  reports.Feed(Make(StreamPattern::spFrames, 5 * 6 + 8 + 5 * 2));
  ASSERT_EQ(reports.lines.size(), 9u);
  EXPECT_EQ(reports.lines[0].text, "R01 - T01");
  EXPECT_EQ(reports.lines[1].text, "R03 - T01");
  EXPECT_EQ(reports.lines[2].text, "R01 - T02");
  EXPECT_EQ(reports.lines[6].text, "R02 - T04 - E07 06 (06) ");
  EXPECT_EQ(reports.lines[8].text, "R01 - T05");
  EXPECT_EQ(reports.Pending(), 0);
}
