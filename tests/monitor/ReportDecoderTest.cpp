#include "monitor/ReportDecoder.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "monitor/TimeOfDay.h"

namespace monitor {
namespace {

struct LoggedLine {
  std::string text;
  Rgb colour;
  bool operator==(const LoggedLine&) const = default;
};

// A log and a label as the window keeps them.
class FakeWindow final : public ReportSink {
 public:
  void ClearLog() override {
    if (clearing) lines.clear();
    ++clears;
  }
  void SetInsertionColour(Rgb c) override { colour = c; }
  void AppendLine(std::string_view text) override { lines.push_back({std::string(text), colour}); }
  void SetResultLabel(std::string_view text, Rgb c) override {
    label = text;
    labelColour = c;
  }

  bool clearing = true;
  std::vector<LoggedLine> lines;
  Rgb colour = 0x123456;
  std::string label;
  Rgb labelColour = 0;
  int clears = 0;
};

// Describes every code as the section's initial and the code in hex: "T07".
// Also notes the frame brackets and lookups, in order: "[RT]" for a frame
// that looked up a result and a test.
class EchoDescriptions final : public DescriptionSource {
 public:
  std::string Lookup(std::string_view section, std::uint8_t code) override {
    calls += section[0];
    char text[8];
    std::snprintf(text, sizeof text, "%c%02X", section[0], static_cast<unsigned>(code));
    return text;
  }
  void BeginFrame() override { calls += '['; }
  void EndFrame() override { calls += ']'; }
  std::string calls;
};

constexpr double kSecond = 1.0 / 86400.0;

class ReportDecoderTest : public ::testing::Test {
 protected:
  void Feed(const std::vector<std::uint8_t>& bytes, DescriptionSource* source = nullptr) {
    for (const std::uint8_t b : bytes) decoder.AnalisaRecebimento(b, options, source, window);
  }
  void FeedEcho(const std::vector<std::uint8_t>& bytes) { Feed(bytes, &echo); }

  double now = 10 * 3600 * kSecond;  // 10:00:00
  ReportDecoder decoder{[this] { return now; }};
  MonitorSettings options;
  FakeWindow window;
  EchoDescriptions echo;
};

TEST_F(ReportDecoderTest, WorkedRunWithElapsedTime) {
  options.MostrarTempo = true;
  Feed({0xFA, 0x05, 0xAA, 0x00, 0x01});
  EXPECT_EQ(window.label, "TESTANDO");
  EXPECT_EQ(window.labelColour, kBlue);
  now += 65 * kSecond;
  Feed({0xFA, 0x08, 0xAA, 0x02, 0x07, 0x03, 0x05, 0x1C});
  now += 25 * kSecond;
  Feed({0xFA, 0x07, 0xAA, 0x05, 0x01, 0x00, 0x01});
  const std::vector<LoggedLine> expected = {{"00:00 - *** - ***", kBlue},
                                            {"01:05 - *** - *** - *** 03 (1C) ", kRed},
                                            {"01:30 - *** - ***", kGreen}};
  EXPECT_EQ(window.lines, expected);
  EXPECT_EQ(window.label, "APROVADA");
  EXPECT_EQ(window.labelColour, kGreen);
}

TEST_F(ReportDecoderTest, ResultCodesColourTheLineAndTheLabel) {
  struct Case {
    std::uint8_t result, verdict;
    Rgb colour;
    std::optional<std::string> label;
    Rgb labelColour;
  };
  const Case cases[] = {
      {0, 0, kBlue, "TESTANDO", kBlue}, {1, 1, kBlue, std::nullopt, 0},
      {2, 1, kRed, std::nullopt, 0},    {3, 1, kGreen, std::nullopt, 0},
      {4, 1, kRed, std::nullopt, 0},    {5, 1, kGreen, "APROVADA", kGreen},
      {5, 0, kRed, "REPROVADA", kRed},  {5, 2, kRed, "REPROVADA", kRed},
      {6, 1, kBlue, std::nullopt, 0},   {255, 1, kBlue, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "result " << int{c.result} << " verdict " << int{c.verdict});
    ReportDecoder fresh([] { return 0.0; });
    FakeWindow w;
    for (std::uint8_t b : {0xFA, 0x08, 0xAA, int{c.result}, 0x04, 0x07, int{c.verdict}, 0x0A}) {
      fresh.AnalisaRecebimento(b, options, &echo, w);
    }
    ASSERT_EQ(w.lines.size(), 1u);
    EXPECT_EQ(w.lines[0].colour, c.colour);
    EXPECT_EQ(w.label, c.label.value_or(""));
    EXPECT_EQ(w.labelColour, c.labelColour);
  }
}

TEST_F(ReportDecoderTest, ComposesDescriptionsAndErrorDetails) {
  FeedEcho({0xFA, 0x08, 0xAA, 0x01, 0x0B, 0x07, 0x05, 0x0A});
  FeedEcho({0xFA, 0x08, 0xAA, 0x02, 0x0B, 0x07, 0x05, 0x0A});
  FeedEcho({0xFA, 0x08, 0xAA, 0x02, 0x0B, 200, 0xAB, 0xFF});
  FeedEcho({0xFA, 0x08, 0xAA, 0x02, 0x0B, 0, 0, 0});
  ASSERT_EQ(window.lines.size(), 4u);
  EXPECT_EQ(window.lines[0].text, "R01 - T0B");
  EXPECT_EQ(window.lines[1].text, "R02 - T0B - E05 07 (0A) ");
  EXPECT_EQ(window.lines[2].text, "R02 - T0B - EAB 200 (FF) ");
  EXPECT_EQ(window.lines[3].text, "R02 - T0B - E00 00 (00) ");
  // Each frame's lookups in one bracket, so the file is checked once a frame.
  EXPECT_EQ(echo.calls, "[RT][RTE][RTE][RTE]");
}

TEST_F(ReportDecoderTest, CollectsFramesFromTheByteStream) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"idle bytes other than FA are dropped",
       {0x00, 0xAA, 0x05, 0xFB, 0xFA, 0x05, 0xAA, 0x01, 0x02, 0x33},
       {"R01 - T02"}},
      {"FA inside a frame is data",
       {0xFA, 0x08, 0xAA, 0x02, 0xFA, 0x03, 0xFA, 0xFA},
       {"R02 - TFA - EFA 03 (FA) "}},
      {"a marker other than AA drops the frame",
       {0xFA, 0x05, 0xAB, 0x01, 0x02, 0xFA, 0x05, 0xAA, 0x03, 0x04},
       {"R03 - T04"}},
      {"a lost byte joins the next frame; resync at the frame after it",
       {0xFA, 0x06, 0xAA, 0x01, 0x02, /*lost*/ 0xFA, 0x06, 0xAA, 0x03, 0x04, 0x00, 0xFA, 0x06, 0xAA,
        0x01, 0x05, 0x00},
       {"R01 - T02", "R01 - T05"}},
      {"length 3 reuses the previous frame's fields",
       {0xFA, 0x08, 0xAA, 0x03, 0x07, 0x01, 0x02, 0x03, 0xFA, 0x03, 0xAA},
       {"R03 - T07", "R03 - T07"}},
      {"length 3 before any frame reads zeros", {0xFA, 0x03, 0xAA}, {"R00 - T00"}},
      {"lengths 0 1 2 drop at once",
       {0xFA, 0x00, 0xFA, 0x01, 0xFA, 0x02, 0xFA, 0x05, 0xAA, 0x01, 0x01},
       {"R01 - T01"}},
      {"lengths above 101 drop at once",
       {0xFA, 102, 0xFA, 0xFA, 0xFA, 0xFF, 0xFA, 0x05, 0xAA, 0x01, 0x01},
       {"R01 - T01"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReportDecoder fresh([] { return 0.0; });
    FakeWindow w;
    for (std::uint8_t b : c.bytes) fresh.AnalisaRecebimento(b, options, &echo, w);
    std::vector<std::string> texts;
    for (const LoggedLine& line : w.lines) texts.push_back(line.text);
    EXPECT_EQ(texts, c.lines);
    EXPECT_EQ(fresh.ReceivedCount(), 0);
  }
}

TEST_F(ReportDecoderTest, LongestFrameFillsTheBuffer) {
  std::vector<std::uint8_t> frame(101, 0x5A);
  frame[0] = 0xFA, frame[1] = 101, frame[2] = 0xAA, frame[3] = 0x01;
  frame.pop_back();
  FeedEcho(frame);
  EXPECT_EQ(decoder.ReceivedCount(), 100);
  EXPECT_TRUE(window.lines.empty());
  FeedEcho({0xEE});
  EXPECT_EQ(decoder.ReceivedCount(), 0);
  ASSERT_EQ(window.lines.size(), 1u);
  EXPECT_EQ(decoder.FrameBuffer()[100], 0xEE);
}

TEST_F(ReportDecoderTest, TestStartClearsTheLogOnlyWhenAsked) {
  FeedEcho({0xFA, 0x05, 0xAA, 0x01, 0x01});
  FeedEcho({0xFA, 0x05, 0xAA, 0x00, 0x02});
  EXPECT_EQ(window.lines.size(), 2u);
  options.AutoLimparLog = true;
  FeedEcho({0xFA, 0x05, 0xAA, 0x01, 0x01});
  FeedEcho({0xFA, 0x05, 0xAA, 0x00, 0x03});
  EXPECT_EQ(window.lines, (std::vector<LoggedLine>{{"R00 - T03", kBlue}}));
  EXPECT_EQ(window.clears, 1);
}

// Before the first test start there is nothing to count from: the lines
// carry no time (not the clock's minutes and seconds, which would read as
// an elapsed time). The option applies from the next frame.
TEST_F(ReportDecoderTest, ElapsedTimeCountsFromTheFirstTestStart) {
  options.MostrarTempo = true;
  now = (10 * 3600 + 17 * 60 + 42) * kSecond;
  FeedEcho({0xFA, 0x05, 0xAA, 0x01, 0x01});
  FeedEcho({0xFA, 0x05, 0xAA, 0x00, 0x02});
  now += 7 * kSecond;
  FeedEcho({0xFA, 0x05, 0xAA, 0x01, 0x03});
  options.MostrarTempo = false;
  FeedEcho({0xFA, 0x05, 0xAA, 0x01, 0x04});
  options.MostrarTempo = true;
  now += 60 * kSecond;
  FeedEcho({0xFA, 0x05, 0xAA, 0x01, 0x05});
  std::vector<std::string> texts;
  for (const LoggedLine& line : window.lines) texts.push_back(line.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"R01 - T01", "00:00 - R00 - T02",
                                             "00:07 - R01 - T03", "R01 - T04",
                                             "01:07 - R01 - T05"}));
}

TEST_F(ReportDecoderTest, ElapsedPrefix) {
  struct Case {
    double start, now;
    const char* prefix;
  };
  const double midnight = 86400 * kSecond;
  const Case cases[] = {
      {0.5, 0.5 + 65 * kSecond, "01:05 - "},
      {0.1, 0.1 + 3725 * kSecond, "02:05 - "},  // 1 h 2 min 5 s: hours dropped
      {0.2, 0.2 + 59.9996 * kSecond, "01:00 - "},
      {0.2, 0.2 + 59.9994 * kSecond, "00:59 - "},
      {0.3, 0.3 - 65 * kSecond, "01:05 - "},
      // Started 23:59:30, now 00:00:45: the magnitude of -23:58:45 shows.
      {midnight - 30 * kSecond, 45 * kSecond, "58:45 - "},
      {0.0, 2.0 + 61 * kSecond, "01:01 - "},  // whole days dropped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ElapsedPrefix(c.start, c.now), c.prefix) << c.start << " " << c.now;
  }
}

TEST(LocalTimeOfDayTest, FollowsTheLocalClock) {
  for (int i = 0; i < 3; ++i) {  // the first call converts, the others may reuse
    const time_t now = time(nullptr);
    tm local{};
    ASSERT_NE(localtime_r(&now, &local), nullptr);
    const double expected = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    const double got = LocalTimeOfDay() * 86400;
    const double apart = std::fabs(got - expected);
    EXPECT_TRUE(apart < 2 || apart > 86398) << got << " vs " << expected;
  }
}

// The collector against a model that cuts frames out of the whole stream.
std::vector<std::string> ModelLines(const std::vector<std::uint8_t>& s) {
  std::vector<std::string> lines;
  std::uint8_t last[101] = {};
  std::size_t i = 0;
  while (i + 1 < s.size()) {
    const std::size_t length = s[i + 1];
    if (s[i] != 0xFA) {
      ++i;
    } else if (length < 3 || length > 101) {
      i += 2;
    } else if (i + length > s.size()) {
      break;
    } else {
      std::copy(s.begin() + i, s.begin() + i + length, last);
      i += length;
      if (last[2] != 0xAA) continue;
      char text[64];
      std::snprintf(text, sizeof text, "R%02X - T%02X", last[3], last[4]);
      lines.push_back(text);
      if (last[3] == 2) {
        std::snprintf(text, sizeof text, " - E%02X %02d (%02X) ", last[6], last[5], last[7]);
        lines.back() += text;
      }
    }
  }
  return lines;
}

TEST(ReportDecoderRandomTest, CollectorMatchesModelOnRandomStreams) {
  for (const unsigned seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<std::uint8_t> stream;
    while (stream.size() < (1u << 20)) {
      const int kind = pick(10);
      if (kind < 2) {  // noise, rich in start and marker bytes
        for (int n = pick(8); n-- > 0;)
          stream.push_back(pick(3) ? pick(256) : (pick(2) ? 0xFA : 0xAA));
        continue;
      }
      const int length = kind < 9 ? 3 + pick(10) + (pick(8) ? 0 : pick(89)) : pick(256);
      std::vector<std::uint8_t> frame = {0xFA, static_cast<std::uint8_t>(length),
                                         static_cast<std::uint8_t>(pick(10) ? 0xAA : pick(256))};
      while (frame.size() < static_cast<std::size_t>(std::max(length, 3))) {
        frame.push_back(static_cast<std::uint8_t>(frame.size() == 3 ? pick(7) : pick(256)));
      }
      if (pick(20) == 0) frame.erase(frame.begin() + pick(static_cast<int>(frame.size())));
      stream.insert(stream.end(), frame.begin(), frame.end());
    }
    ReportDecoder decoder([] { return 0.0; });
    MonitorSettings options;
    options.AutoLimparLog = true;
    FakeWindow window;
    window.clearing = false;
    EchoDescriptions echo;
    for (const std::uint8_t b : stream) {
      decoder.AnalisaRecebimento(b, options, &echo, window);
      ASSERT_LT(decoder.ReceivedCount(), kFrameBufferSize);
    }
    std::vector<std::string> texts;
    for (const LoggedLine& line : window.lines) texts.push_back(line.text);
    const std::vector<std::string> expected = ModelLines(stream);
    ASSERT_EQ(texts.size(), expected.size());
    ASSERT_TRUE(texts == expected);
    EXPECT_GT(texts.size(), 20000u);
  }
}

}  // namespace
}  // namespace monitor
