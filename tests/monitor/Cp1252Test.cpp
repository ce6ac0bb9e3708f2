#include "monitor/Cp1252.h"

#include <gtest/gtest.h>

#include <string>

using monitor::Cp1252ToUtf8;
using monitor::Utf8ToCp1252;

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughUtf8) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << b;
  }
}

TEST(Cp1252, CharactersOutsideTheCodePageAndBrokenSequencesBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC 5"), "\x80 5");        // the euro sign
  EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD" "b"), "a?b");         // a CJK character
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");                        // cut short
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");                   // overlong
  EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "???");              // a surrogate
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!");          // outside the basic plane
}
