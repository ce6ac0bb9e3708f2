#include "monitor/CallerIdMessage.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

using monitor::BuildCallerIdMessage;
using monitor::LocalDateTime;
using Bytes = std::vector<std::uint8_t>;

namespace {

unsigned SumFromType(const Bytes& message) {
  return std::accumulate(message.begin() + 30, message.end(), 0u) % 256;
}

}  // namespace

TEST(CallerIdMessage, WorkedExampleOnTheSeventhOfDecemberAt2345) {
  const Bytes message = BuildCallerIdMessage("abc", LocalDateTime{12, 7, 23, 45});
  Bytes expected(30, 0x55);
  for (std::uint8_t b : {0x04, 0x0B, 0x31, 0x32, 0x30, 0x37, 0x32, 0x33, 0x34, 0x35, 0x61, 0x62,
                         0x63, 0x33}) {
    expected.push_back(b);
  }
  EXPECT_EQ(message, expected);
  EXPECT_EQ(message.size(), 44u);
  EXPECT_EQ(SumFromType(message), 0u);
}

TEST(CallerIdMessage, DateDigitsLengthAndChecksum) {
  const Bytes newYear = BuildCallerIdMessage("5", LocalDateTime{1, 1, 0, 5});
  ASSERT_EQ(newYear.size(), 42u);
  EXPECT_EQ(newYear[31], 9);
  EXPECT_EQ(Bytes(newYear.begin() + 32, newYear.begin() + 40),
            (Bytes{0x30, 0x31, 0x30, 0x31, 0x30, 0x30, 0x30, 0x35}));
  EXPECT_EQ(SumFromType(newYear), 0u);

  // Blanks are text like any other.
  const Bytes blanks = BuildCallerIdMessage("   ", LocalDateTime{6, 15, 12, 30});
  EXPECT_EQ(blanks.size(), 44u);
  EXPECT_EQ(Bytes(blanks.begin() + 40, blanks.begin() + 43), (Bytes{' ', ' ', ' '}));

  // Find a text whose sum is a multiple of 256: its checksum is 0x00.
  const LocalDateTime when{12, 7, 23, 45};
  const Bytes base = BuildCallerIdMessage("", when);
  const unsigned partial = std::accumulate(base.begin() + 30, base.end() - 1, 0u) + 1;
  const auto fill = static_cast<char>((256 - partial % 256) % 256);
  const Bytes zero = BuildCallerIdMessage(std::string(1, fill), when);
  EXPECT_EQ(zero.back(), 0x00);
  EXPECT_EQ(SumFromType(zero), 0u);
}

TEST(CallerIdMessage, TextUpTo209Characters) {
  const Bytes longest = BuildCallerIdMessage(std::string(209, 'x'), LocalDateTime{});
  EXPECT_EQ(longest.size(), 250u);
  EXPECT_EQ(longest[31], 217);
  EXPECT_THROW(BuildCallerIdMessage(std::string(210, 'x'), LocalDateTime{}), std::length_error);
}
