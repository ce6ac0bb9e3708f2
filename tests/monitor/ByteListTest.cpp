#include "monitor/ByteList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using monitor::ParseByteList;
using Bytes = std::vector<std::uint8_t>;

TEST(ByteList, TokensFollowTheIntegerRuleAndSendTheirLowByte) {
  const struct {
    const char* text;
    Bytes bytes;
  } cases[] = {
      {"234 30 83", {0xEA, 0x1E, 0x53}},
      {"$23 $35 $34", {0x23, 0x35, 0x34}},
      {"0x41 X42", {0x41, 0x42}},
      {"1 2 3", {1, 2, 3}},
      {"256", {0x00}},
      {"-1", {0xFF}},
      {"$1FF", {0xFF}},
      {"7", {7}},
      {"65 66 ", {0x41, 0x42}},  // one trailing blank is allowed
      {"", {}},
  };
  for (const auto& c : cases) {
    const auto bytes = ParseByteList(c.text);
    ASSERT_TRUE(bytes) << '"' << c.text << '"';
    EXPECT_EQ(*bytes, c.bytes) << '"' << c.text << '"';
  }
}

TEST(ByteList, EmptyTokensAndForeignCharactersMakeTheListInvalid) {
  for (const char* text : {"1  2", " 1", "1  ", "12 ab", "1\t2", "1,2", "$", " "}) {
    EXPECT_FALSE(ParseByteList(text)) << '"' << text << '"';
  }
}

TEST(ByteList, AtMost251Tokens) {
  std::string text;
  for (int i = 0; i < 251; ++i) text += (i ? " " : "") + std::to_string(i % 256);
  ASSERT_TRUE(ParseByteList(text));
  EXPECT_EQ(ParseByteList(text)->size(), 251u);
  EXPECT_FALSE(ParseByteList(text + " 1"));
  EXPECT_TRUE(ParseByteList(text + " ")) << "a trailing blank adds no token";
}

TEST(ByteList, QuotedTextDropsItsFirstAndLastCharacterWhateverTheyAre) {
  EXPECT_TRUE(monitor::IsQuotedText("ab\"cd"));
  EXPECT_FALSE(monitor::IsQuotedText("65 66"));
  EXPECT_EQ(monitor::QuotedPayload("ab\"cd"), "b\"c");
  EXPECT_EQ(monitor::QuotedPayload("\"ABC\""), "ABC");
  EXPECT_EQ(monitor::QuotedPayload("\"\""), "");
  EXPECT_EQ(monitor::QuotedPayload("\""), "");
}
