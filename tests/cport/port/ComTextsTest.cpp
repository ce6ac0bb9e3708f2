#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "cport/port/ComTexts.h"

namespace cport {
namespace {

using enum TBaudRate;

// Each value's text, in ordinal order, and each text parses back to its value.
template <typename Enum, typename ToText, typename Parse>
void ExpectTexts(std::initializer_list<const char*> texts, ToText toText, Parse parse) {
  int ordinal = 0;
  for (const char* text : texts) {
    const auto value = static_cast<Enum>(ordinal++);
    EXPECT_EQ(toText(value), text) << ordinal - 1;
    EXPECT_EQ(parse(text), value) << text;
  }
}

TEST(ComTexts, TextsAreTheStoredFormsInOrdinalOrder) {
  ExpectTexts<TBaudRate>({"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400",
                          "19200", "38400", "56000", "57600", "115200", "128000", "256000"},
                         BaudRateText, ParseBaudRate);
  ExpectTexts<TStopBits>({"1", "1.5", "2"}, StopBitsText, ParseStopBits);
  ExpectTexts<TDataBits>({"5", "6", "7", "8"}, DataBitsText, ParseDataBits);
  ExpectTexts<TParityBits>({"None", "Odd", "Even", "Mark", "Space"}, ParityText, ParseParity);
  ExpectTexts<TFlowControl>({"Hardware", "Software", "None", "Custom"}, FlowControlText,
                            ParseFlowControl);
  ExpectTexts<TDTRFlowControl>({"Disable", "Enable", "Handshake"}, DTRText, ParseDTR);
  ExpectTexts<TRTSFlowControl>({"Disable", "Enable", "Handshake", "Toggle"}, RTSText, ParseRTS);
  EXPECT_EQ(YesNoText(true), "Yes");
  EXPECT_EQ(YesNoText(false), "No");
}

TEST(ComTexts, ParsesIgnoreCaseAndFallBack) {
  EXPECT_EQ(ParseBaudRate("custom"), brCustom);
  EXPECT_EQ(ParseBaudRate("CuStOm"), brCustom);
  EXPECT_EQ(ParseBaudRate("9601"), br9600);
  EXPECT_EQ(ParseBaudRate(" 110"), br9600) << "no trimming";
  EXPECT_EQ(ParseBaudRate(""), br9600);
  EXPECT_EQ(ParseFlowControl("NONE"), TFlowControl::fcNone);
  EXPECT_EQ(ParseFlowControl(""), TFlowControl::fcCustom);
  EXPECT_EQ(ParseFlowControl("rts/cts"), TFlowControl::fcCustom);
  EXPECT_EQ(ParseDataBits("9"), TDataBits::dbEight);
  EXPECT_EQ(ParseDataBits("7"), TDataBits::dbSeven);
  EXPECT_EQ(ParseStopBits("1,5"), TStopBits::sbOneStopBit);
  EXPECT_EQ(ParseStopBits("2"), TStopBits::sbTwoStopBits);
  EXPECT_EQ(ParseParity("even"), TParityBits::prEven);
  EXPECT_EQ(ParseParity("parity"), TParityBits::prNone);
  EXPECT_EQ(ParseDTR("ENABLE"), TDTRFlowControl::dtrEnable);
  EXPECT_EQ(ParseDTR("on"), TDTRFlowControl::dtrDisable);
  EXPECT_EQ(ParseRTS("toggle"), TRTSFlowControl::rtsToggle);
  EXPECT_EQ(ParseRTS("x"), TRTSFlowControl::rtsDisable);
}

TEST(ComTexts, ParseYesNoIsTrueOnlyForYes) {
  EXPECT_TRUE(ParseYesNo("yes"));
  EXPECT_TRUE(ParseYesNo("YES"));
  EXPECT_TRUE(ParseYesNo("Yes"));
  for (const char* text : {"Y", "True", "1", "yes ", "", "No", "yess"}) {
    EXPECT_FALSE(ParseYesNo(text)) << '"' << text << '"';
  }
}

TEST(ComTexts, CharTextWritesPrintableCodesAsThemselves) {
  struct Case {
    int code;
    std::string text;
  };
  const Case cases[] = {
      {'A', "A"},    {0, "#0"},     {13, "#13"},   {32, "#32"}, {33, "!"},
      {127, "\x7f"}, {128, "#128"}, {255, "#255"}, {'#', "#"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CharText(static_cast<char>(c.code)), c.text) << "code " << c.code;
  }
}

TEST(ComTexts, ParseCharTextFollowsItsFourRules) {
  struct Case {
    std::string text;
    int code;
  };
  const Case cases[] = {
      {"", 0},
      {"A", 'A'},
      {"AB", 'A'},
      {"#", '#'},
      {"#13", 13},
      {"#$0D", 13},
      {"#0x0d", 13},
      {"#300", 44},
      {"#-1", 255},
      {"#x", 0},
      {"# 13", 13},  // the integer text rule allows leading blanks
      {"#13 ", 0},   // ... but nothing after the digits
      {"#99999999999", 0},
      {"##", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<unsigned char>(ParseCharText(c.text)), c.code) << '"' << c.text << '"';
  }
}

TEST(ComTexts, EveryCodeRoundTripsThroughCharText) {
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    EXPECT_EQ(ParseCharText(CharText(c)), c) << "code " << code;
  }
}

}  // namespace
}  // namespace cport
