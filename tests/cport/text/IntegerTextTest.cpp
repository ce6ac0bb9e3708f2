#include "cport/text/IntegerText.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using cport::ParseIntegerText;

TEST(IntegerText, DecimalWithSignsAndLeadingBlanks) {
  EXPECT_EQ(ParseIntegerText("0"), 0);
  EXPECT_EQ(ParseIntegerText("234"), 234);
  EXPECT_EQ(ParseIntegerText("  13"), 13);
  EXPECT_EQ(ParseIntegerText("+7"), 7);
  EXPECT_EQ(ParseIntegerText("-1"), -1);
  EXPECT_EQ(ParseIntegerText("007"), 7);
  EXPECT_EQ(ParseIntegerText("2147483647"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(ParseIntegerText("-2147483648"), std::numeric_limits<std::int32_t>::min());
}

TEST(IntegerText, DecimalOverflowIsInvalid) {
  EXPECT_FALSE(ParseIntegerText("2147483648"));
  EXPECT_FALSE(ParseIntegerText("+2147483648"));
  EXPECT_FALSE(ParseIntegerText("-2147483649"));
  EXPECT_FALSE(ParseIntegerText("99999999999999999999999"));
}

TEST(IntegerText, AllFiveHexPrefixesInEitherCase) {
  for (const char* prefix : {"$", "x", "X", "0x", "0X"}) {
    SCOPED_TRACE(prefix);
    EXPECT_EQ(ParseIntegerText(std::string(prefix) + "1F"), 0x1F);
    EXPECT_EQ(ParseIntegerText(std::string(prefix) + "1f"), 0x1F);
    EXPECT_EQ(ParseIntegerText(std::string("-") + prefix + "10"), -16);
    EXPECT_FALSE(ParseIntegerText(prefix)) << "prefix without digits";
    EXPECT_FALSE(ParseIntegerText(std::string(prefix) + "G"));
  }
}

TEST(IntegerText, HexIsA32BitPattern) {
  EXPECT_EQ(ParseIntegerText("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseIntegerText("0x80000000"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ParseIntegerText("$000000000000FF"), 255) << "leading zeros are allowed";
  EXPECT_EQ(ParseIntegerText("-$FFFFFFFF"), 1);
  EXPECT_FALSE(ParseIntegerText("$100000000"));
}

TEST(IntegerText, RejectsEverythingElse) {
  for (const char* bad : {"", " ", "-", "+", "12 ", "1 2", "12a", "\t12", "$ 1", "--1", "+-1",
                          "0x-1", "0$1", "1e3", "x$1", "0xx1"}) {
    EXPECT_FALSE(ParseIntegerText(bad)) << '"' << bad << '"';
  }
}
