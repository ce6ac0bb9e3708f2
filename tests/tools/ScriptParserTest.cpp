#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture_sim/ScriptParser.h"

using namespace fixture_sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes BytesOf(const ScriptCommand& command) {
  const auto* run = std::get_if<BytesCommand>(&command.action);
  return run ? run->bytes : Bytes{};
}

// The single command of a one-command script.
ScriptCommand Only(const std::string& text) {
  const Script script = ParseScript(text);
  EXPECT_EQ(script.size(), 1u) << text;
  return script.empty() ? ScriptCommand{} : script.front();
}

}  // namespace

TEST(ScriptParser, ByteCommandsGiveTheirBytes) {
  const struct {
    const char* line;
    Bytes bytes;
  } cases[] = {
      {"bytes FA 05 AA 00 01", {0xFA, 0x05, 0xAA, 0x00, 0x01}},
      {"bytes 0xfa 0X0a a 7", {0xFA, 0x0A, 0x0A, 0x07}},
      {"  bytes\tFF  # a comment", {0xFF}},
      {"text \"OK\"", {'O', 'K'}},
      {"text \"a # b\"  # the first '#' is text", {'a', ' ', '#', ' ', 'b'}},
      {R"(text "\\ \" \n\r\t\0 \x41\xfa")",
       {'\\', ' ', '"', ' ', '\n', '\r', '\t', 0, ' ', 0x41, 0xFA}},
      {"text \"tab\there\"", {'t', 'a', 'b', '\t', 'h', 'e', 'r', 'e'}},
      // The frame gets its start byte, its length (the whole frame) and marker.
      {"frame 0 1", {0xFA, 0x05, 0xAA, 0x00, 0x01}},
      {"frame 2 7 3 5 0x1C", {0xFA, 0x08, 0xAA, 0x02, 0x07, 0x03, 0x05, 0x1C}},
      {"frame 0x05 0x0A 0 1", {0xFA, 0x07, 0xAA, 0x05, 0x0A, 0x00, 0x01}},
      {"frame 255 0xff", {0xFA, 0x05, 0xAA, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BytesOf(Only(c.line)), c.bytes) << c.line;
  }
}

TEST(ScriptParser, PausesInMillisecondsAndSeconds) {
  const struct {
    const char* line;
    std::chrono::milliseconds duration;
  } cases[] = {
      {"pause 500ms", 500ms}, {"pause 0ms", 0ms},        {"pause 2s", 2s},
      {"pause 1.5s", 1500ms}, {"pause 0.25s", 250ms},    {"pause 1.125s", 1125ms},
      {"pause 86400s", 24h},  {"pause 86400000ms", 24h},
  };
  for (const auto& c : cases) {
    const ScriptCommand command = Only(c.line);
    const auto* pause = std::get_if<PauseCommand>(&command.action);
    ASSERT_NE(pause, nullptr) << c.line;
    EXPECT_EQ(pause->duration, c.duration) << c.line;
  }
}

TEST(ScriptParser, StreamsWithRatePatternAndSeed) {
  using enum StreamPattern;
  const struct {
    const char* line;
    StreamCommand stream;
  } cases[] = {
      {"stream 1000 bytes at 960 B/s", {1000, 960, spCounter, 1}},
      {"stream 5 bytes at max", {5, 0, spCounter, 1}},
      {"stream 64 bytes at 1000000000 B/s pattern frames", {64, 1'000'000'000, spFrames, 1}},
      {"stream 10 bytes at 10 B/s pattern random seed 42", {10, 10, spRandom, 42}},
      {"stream 10 bytes at max seed 7 pattern random", {10, 0, spRandom, 7}},
      {"stream 1048576 bytes at max pattern counter", {1 << 20, 0, spCounter, 1}},
  };
  for (const auto& c : cases) {
    const ScriptCommand command = Only(c.line);
    const auto* stream = std::get_if<StreamCommand>(&command.action);
    ASSERT_NE(stream, nullptr) << c.line;
    EXPECT_EQ(stream->count, c.stream.count) << c.line;
    EXPECT_EQ(stream->rate, c.stream.rate) << c.line;
    EXPECT_EQ(stream->pattern, c.stream.pattern) << c.line;
    EXPECT_EQ(stream->seed, c.stream.seed) << c.line;
  }
}

TEST(ScriptParser, CommandsKeepTheirLinesAcrossCommentsAndBlankLines) {
  const Script script = ParseScript(
      "# a run\n"
      "\n"
      "frame 0 1\r\n"
      "   # indented comment\n"
      "pause 1s\n"
      "bytes 01");  // no newline at the end
  ASSERT_EQ(script.size(), 3u);
  EXPECT_EQ(script[0].line, 3);
  EXPECT_EQ(script[1].line, 5);
  EXPECT_EQ(script[2].line, 6);
  EXPECT_TRUE(ParseScript("").empty());
  EXPECT_TRUE(ParseScript("# nothing\n\n").empty());
}

TEST(ScriptParser, MistakesNameTheirLine) {
  std::string maxFrame = "frame";
  for (int i = 0; i < 98; ++i) maxFrame += " 1";
  ASSERT_EQ(BytesOf(Only(maxFrame)).size(), 101u);
  const struct {
    const char* script;
    int line;
    const char* message;  // a part of it
  } cases[] = {
      {"frmae 0 1", 1, "unknown command \"frmae\""},
      {"\n\nbytes", 3, "at least one byte"},
      {"bytes FA GG", 1, "\"GG\" is not a hexadecimal byte"},
      {"bytes 100", 1, "\"100\" is not a hexadecimal byte"},
      {"bytes 0x", 1, "\"0x\" is not a hexadecimal byte"},
      {"bytes \"A\"", 1, "takes no quoted string"},
      {"text OK", 1, "exactly one quoted string"},
      {"text \"a\" \"b\"", 1, "exactly one quoted string"},
      {"text \"\"", 1, "at least one character"},
      {"text \"open", 1, "without its closing quote"},
      {"text \"a\\\"", 1, "without its closing quote"},
      {"text \"a\"b", 1, "a blank must follow the closing quote"},
      {"text \"\\q\"", 1, "unknown escape \\q"},
      {"text \"\\x4\"", 1, "\\x needs two hexadecimal digits"},
      {"text \"\xC3\xA9\"", 1, "only printable ASCII"},
      {"\"frame\" 0 1", 1, "must begin with a command"},
      {"frame 0", 1, "at least a result code and a test code"},
      {"frame 256 1", 1, "\"256\" is not a byte value"},
      {"frame 0x100 1", 1, "\"0x100\" is not a byte value"},
      {"frame -1 1", 1, "\"-1\" is not a byte value"},
      {"frame 0 0x", 1, "\"0x\" is not a byte value"},
      {"frame 1 2 three", 1, "\"three\" is not a byte value"},
      {"pause", 1, "pause takes one duration"},
      {"pause 500", 1, "\"500\": pause takes one duration"},
      {"pause 1.5ms", 1, "\"1.5ms\""},
      {"pause 1.2345s", 1, "\"1.2345s\""},
      {"pause .5s", 1, "\".5s\""},
      {"pause 2 s", 1, "pause takes one duration"},
      {"pause 86401s", 1, "\"86401s\""},
      {"pause 86400001ms", 1, "more than 24 h"},
      {"stream 10 bytes", 1, "stream <count> bytes at"},
      {"stream 0 bytes at 10 B/s", 1, "\"0\" is not a byte count"},
      {"stream ten bytes at 10 B/s", 1, "\"ten\" is not a byte count"},
      {"stream 10 bytes at 0 B/s", 1, "\"0\" is not a rate"},
      {"stream 10 bytes at 1000000001 B/s", 1, "is not a rate"},
      {"stream 10 bytes at 10", 1, "followed by B/s"},
      {"stream 10 bytes at 10 bps", 1, "followed by B/s"},
      {"stream 10 bytes at max pattern zigzag", 1, "counter, random or frames"},
      {"stream 10 bytes at max pattern", 1, "counter, random or frames"},
      {"stream 10 bytes at max pattern random pattern random", 1, "given twice"},
      {"stream 10 bytes at max seed 3", 1, "random only"},
      {"stream 10 bytes at max pattern random seed x", 1, "seed needs a whole number"},
      {"stream 10 bytes at max fast", 1, "\"fast\" unexpected"},
      {"frame 0 1\npause 1s\nbytes ZZ\nbytes QQ", 3, "\"ZZ\""},
  };
  for (const auto& c : cases) {
    try {
      ParseScript(c.script);
      ADD_FAILURE() << "accepted: " << c.script;
    } catch (const ScriptError& error) {
      EXPECT_EQ(error.Line(), c.line) << c.script;
      EXPECT_NE(error.Message().find(c.message), std::string::npos)
          << c.script << " -> " << error.Message();
      EXPECT_EQ(std::string(error.what()),
                "line " + std::to_string(c.line) + ": " + error.Message());
    }
  }
  EXPECT_THROW(ParseScript(maxFrame + " 1"), ScriptError) << "99 values make a 102-byte frame";
}
