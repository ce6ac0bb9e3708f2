#pragma once
// The program's command line: --help, --version, and the settings of one run
// (--port NAME, --baud N, --format string|decimal|hex|ririred, --connect).
//
// It is read before any window or display exists, so that --help, --version
// and a mistake answer over ssh or from a script as well. The values given
// apply to this run only: they are never written to the stored settings by
// being given here; the operator keeps one by changing it in the window.
//
// Threads: any; no application object is needed.
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

#include "cport/port/ComEnums.h"

// What the command line changes for this run; an empty optional changes
// nothing.
struct CommandLineOverrides {
  // --port: a name as the setup dialog sets it ("COM1", "ttyUSB0",
  // "/dev/ttyUSB0"); never empty.
  std::optional<std::string> port;
  // --baud: a rate of the component's list, or brCustom for any other speed,
  // which is then customBaudRate (bits per second, at least 1).
  std::optional<cport::TBaudRate> baudRate;
  std::int32_t customBaudRate = 0;
  // --format: monitor::kFormatoString, kFormatoDecimal, kFormatoHexaDecimal
  // or kFormatoRiriredOz.
  std::optional<std::uint8_t> formato;
  // --connect: open the port at start, whatever AutoConectar says.
  bool connect = false;
};

// The outcome of reading the command line.
struct CommandLine {
  // Set when the program ends here, with this exit status, after writing
  // standardOutput and standardError: 0 for --help and --version, 2 for a
  // bad option or value. Unset: the window starts with `overrides`.
  std::optional<int> exitStatus;
  std::string standardOutput;
  std::string standardError;
  CommandLineOverrides overrides;
};

// Exit status of a command line the program does not take.
inline constexpr int kUsageExitStatus = 2;

// Reads `arguments` (the program's name first). The usage line names the
// program by the last part of that first argument.
CommandLine ParseCommandLine(const QStringList& arguments);

// ParseCommandLine over argv, for the entry before the QApplication exists.
// argv is not changed: Qt's own options (-platform, -style, ...) are
// accepted and left for the QApplication.
CommandLine ParseProgramArgs(int argc, char** argv);

// The version the program reports.
const char* ProgramVersion();
