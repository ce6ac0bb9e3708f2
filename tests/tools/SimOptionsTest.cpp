#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture_sim/SimOptions.h"

using namespace fixture_sim;
using namespace std::chrono_literals;

namespace {

SimOptions Parse(std::vector<std::string_view> args) { return ParseSimOptions(args); }

}  // namespace

TEST(SimOptions, DefaultsPlayTheDemoOnAPseudoTerminal) {
  const SimOptions o = Parse({});
  EXPECT_FALSE(o.script);
  EXPECT_FALSE(o.device);
  EXPECT_EQ(o.baud, 9600u);
  EXPECT_FALSE(o.loop || o.waitOpen || o.exitAfterScript || o.verbose || o.help);
  EXPECT_EQ(o.startDelay, 0ms);
}

TEST(SimOptions, EveryOptionSetsItsField) {
  const SimOptions a = Parse(
      {"--script", "run.fixture", "--loop", "--wait-open", "--start-delay", "750", "--verbose"});
  EXPECT_EQ(a.script, "run.fixture");
  EXPECT_TRUE(a.loop && a.waitOpen && a.verbose);
  EXPECT_EQ(a.startDelay, 750ms);
  const SimOptions b =
      Parse({"--device", "/dev/ttyUSB0", "--baud", "115200", "--exit-after-script"});
  EXPECT_EQ(b.device, "/dev/ttyUSB0");
  EXPECT_EQ(b.baud, 115200u);
  EXPECT_TRUE(b.exitAfterScript);
  EXPECT_TRUE(Parse({"-h"}).help);
}

TEST(SimOptions, MistakesAreUsageErrors) {
  const std::vector<std::vector<std::string_view>> cases = {
      {"--script"},
      {"--script", ""},
      {"--start-delay", "soon"},
      {"--start-delay", "-5"},
      {"--start-delay", "86400001"},
      {"--device", "/dev/ttyS0", "--baud", "0"},
      {"--device", "/dev/ttyS0", "--baud", "4000000001"},
      {"--baud", "9600"},
      {"--loop", "--exit-after-script"},
      {"--device", "/dev/ttyS0", "--wait-open"},
      {"--louder"},
      {"run.fixture"},
  };
  for (const auto& args : cases) {
    EXPECT_THROW(Parse(args), UsageError) << args.front();
  }
}
