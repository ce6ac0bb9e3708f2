// The program's command line: what each option sets for the run, and the
// answer and exit status of --help, --version and every kind of mistake.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "cport/port/ComEnums.h"
#include "monitor/MonitorSettings.h"

namespace {

using cport::TBaudRate;

CommandLine Parse(std::initializer_list<const char*> args) {
  QStringList arguments{QStringLiteral("/usr/lib/ririredoz/ririredoz")};
  for (const char* arg : args) arguments.append(QString::fromUtf8(arg));
  return ParseCommandLine(arguments);
}

TEST(CommandLine, OptionsSetTheRunsValues) {
  const struct {
    std::initializer_list<const char*> args;
    std::optional<std::string> port;
    std::optional<TBaudRate> baud;
    std::int32_t custom;
    std::optional<std::uint8_t> formato;
    bool connect;
  } cases[] = {
      {{}, std::nullopt, std::nullopt, 0, std::nullopt, false},
      {{"--port", "ttyUSB0"}, "ttyUSB0", std::nullopt, 0, std::nullopt, false},
      {{"--port=/dev/serial/by-id/usb-FTDI_A1-if00"}, "/dev/serial/by-id/usb-FTDI_A1-if00",
       std::nullopt, 0, std::nullopt, false},
      {{"--baud", "110"}, std::nullopt, TBaudRate::br110, 0, std::nullopt, false},
      {{"--baud", "256000"}, std::nullopt, TBaudRate::br256000, 0, std::nullopt, false},
      {{"--baud", "250000"}, std::nullopt, TBaudRate::brCustom, 250000, std::nullopt, false},
      {{"--format", "string"}, std::nullopt, std::nullopt, 0, monitor::kFormatoString, false},
      {{"--format", "decimal"}, std::nullopt, std::nullopt, 0, monitor::kFormatoDecimal, false},
      {{"--format", "HEX"}, std::nullopt, std::nullopt, 0, monitor::kFormatoHexaDecimal, false},
      {{"--format", "ririred"}, std::nullopt, std::nullopt, 0, monitor::kFormatoRiriredOz, false},
      {{"--connect", "-port", "COM1", "--baud", "9600", "--format", "ririred"}, "COM1",
       TBaudRate::br9600, 0, monitor::kFormatoRiriredOz, true},
      // Qt's own options are left for the application.
      {{"-platform", "offscreen", "-style=Fusion", "-reverse"}, std::nullopt, std::nullopt, 0,
       std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::vector<std::string>(c.args.begin(), c.args.end())));
    const CommandLine line = Parse(c.args);
    EXPECT_FALSE(line.exitStatus) << line.standardError;
    EXPECT_EQ(line.overrides.port, c.port);
    EXPECT_EQ(line.overrides.baudRate, c.baud);
    EXPECT_EQ(line.overrides.customBaudRate, c.custom);
    EXPECT_EQ(line.overrides.formato, c.formato);
    EXPECT_EQ(line.overrides.connect, c.connect);
  }
}

TEST(CommandLine, MistakesEndTheProgramWithStatus2AndSayWhatIsWrong) {
  const struct {
    std::initializer_list<const char*> args;
    const char* says;
  } cases[] = {
      {{"--bogus"}, "Unknown option 'bogus'"},
      {{"--port"}, "Missing value after '--port'"},
      {{"--port", ""}, "--port needs a port name"},
      {{"--baud", "0"}, "not \"0\""},
      {{"--baud", "-9600"}, "not \"-9600\""},
      {{"--baud", "9600bps"}, "not \"9600bps\""},
      {{"--baud", "2147483648"}, "from 1 to 2147483647"},
      {{"--format", "octal"}, "string, decimal, hex or ririred, not \"octal\""},
      {{"/dev/ttyUSB0"}, "unexpected argument \"/dev/ttyUSB0\" (the port goes with --port NAME)"},
      {{"--help", "--bogus"}, "Unknown option"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const CommandLine line = Parse(c.args);
    EXPECT_EQ(line.exitStatus, kUsageExitStatus);
    EXPECT_TRUE(line.standardOutput.empty());
    EXPECT_EQ(line.standardError.rfind("ririredoz: ", 0), 0u) << line.standardError;
    EXPECT_NE(line.standardError.find(c.says), std::string::npos) << line.standardError;
    EXPECT_NE(line.standardError.find("(ririredoz --help shows the options)"), std::string::npos);
  }
}

TEST(CommandLine, HelpAndVersionAnswerOnStandardOutput) {
  const CommandLine help = Parse({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(help.standardError.empty());
  EXPECT_EQ(help.standardOutput.rfind("Usage: ririredoz [options]\n", 0), 0u)
      << help.standardOutput;
  for (const char* text : {"apply to this run only", "change it in the window", "--port <name>",
                           "--baud <N>", "--format <format>", "--connect", "115200"}) {
    EXPECT_NE(help.standardOutput.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(help.standardOutput.find("platform"), std::string::npos);
  EXPECT_EQ(Parse({"-h"}).standardOutput, help.standardOutput);

  const CommandLine version = Parse({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.standardOutput, std::string("ririredoz ") + ProgramVersion() + "\n");
}

}  // namespace
