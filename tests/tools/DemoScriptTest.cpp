#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "DecodedReports.h"
#include "fixture_sim/Script.h"
#include "fixture_sim/ScriptParser.h"
#include "monitor/DescriptionFile.h"

using namespace fixture_sim;
using namespace std::chrono_literals;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST(DemoScript, TheProgramCarriesTheShippedFile) {
  const std::string file = ReadFile(RIRIRED_SOURCE_DIR "/tools/fixture_sim/demo.fixture");
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(DemoScriptText(), file);
}

// The demo is a whole test run that a person can follow: a test start, test
// steps, an error report with its details, a verdict; every code described
// by the example description file; 20 to 40 s long.
TEST(DemoScript, IsARealisticRunInTheCodesOfTheExampleDescriptionFile) {
  const Script script = ParseScript(DemoScriptText());
  const auto length = TotalPause(script);
  EXPECT_GE(length, 20s);
  EXPECT_LE(length, 40s);

  monitor::MonitorIni descriptions(RIRIRED_SOURCE_DIR "/data/RiriredOz.ini");
  fixture_sim::testing::DecodedReports reports(&descriptions);
  reports.Feed(ScriptBytes(script));
  EXPECT_EQ(reports.Pending(), 0) << "no frame is left unfinished";
  ASSERT_GE(reports.lines.size(), 10u);
  for (const auto& line : reports.lines) {
    EXPECT_EQ(line.text.find("***"), std::string::npos)
        << "a code without description: " << line.text;
  }
  // Test start first, the verdict last, the result label in that order.
  EXPECT_EQ(reports.lines.front().text.rfind("In\xED"
                                             "cio do teste - ",
                                             0),
            0u)
      << reports.lines.front().text;
  EXPECT_EQ(reports.lines.back().text.rfind("Resultado final - ", 0), 0u)
      << reports.lines.back().text;
  EXPECT_EQ(reports.labels, (std::vector<std::string>{"TESTANDO", "APROVADA"}));
  // An error report with its detail number and value, shown in red.
  int errors = 0;
  for (const auto& line : reports.lines) {
    if (line.text.rfind("Falha - ", 0) != 0) continue;
    ++errors;
    EXPECT_EQ(line.colour, monitor::kRed);
    EXPECT_EQ(
        line.text,
        "Falha - Identifica\xE7\xE3o de chamada FSK (Bina) - Sinal FSK n\xE3o detectado 03 (1C) ");
  }
  EXPECT_EQ(errors, 1);
}
