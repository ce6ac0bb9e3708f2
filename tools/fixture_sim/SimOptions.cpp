#include "fixture_sim/SimOptions.h"

#include <charconv>

namespace fixture_sim {
namespace {

std::uint64_t ParseCount(std::string_view option, std::string_view text, std::uint64_t most) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > most) {
    throw UsageError(std::string(option) + " needs a whole number up to " + std::to_string(most) +
                     ", not \"" + std::string(text) + "\"");
  }
  return value;
}

}  // namespace

std::string SimUsage(std::string_view program) {
  return "Usage: " + std::string(program) +
         " [options]\n"
         "Stands in for the test fixture: plays a script of bytes, test report frames,\n"
         "pauses and paced streams onto a serial line.\n"
         "\n"
         "Without --device it creates a pseudo-terminal and prints the path of its port\n"
         "side (the one the monitor opens) on the first line of standard output.\n"
         "\n"
         "  --script FILE        the script to play (default: the built-in demo run)\n"
         "  --device PATH        play onto this serial device instead (raw, 8N1)\n"
         "  --baud N             the device's speed in bits per second (default 9600)\n"
         "  --loop               play the script again and again\n"
         "  --wait-open          before each play, wait until a program has the port side\n"
         "                       open (pseudo-terminal only)\n"
         "  --start-delay MS     wait MS milliseconds before playing (after the port side\n"
         "                       is opened, with --wait-open)\n"
         "  --exit-after-script  exit once the script has been played and read\n"
         "  --verbose            trace the commands and the bytes received on stderr\n"
         "  --help               show this text\n"
         "\n"
         "It stays until SIGTERM, SIGINT or SIGHUP, or until its standard input (a pipe,\n"
         "socket or terminal) is closed. While nobody has the port side open, bytes\n"
         "are dropped, as on a cable with no one at the other end.\n";
}

SimOptions ParseSimOptions(std::span<const std::string_view> args) {
  SimOptions options;
  bool haveBaud = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    auto value = [&]() -> std::string_view {
      if (i + 1 >= args.size()) throw UsageError(std::string(arg) + " needs a value");
      return args[++i];
    };
    if (arg == "--script") {
      options.script = std::string(value());
    } else if (arg == "--device") {
      options.device = std::string(value());
    } else if (arg == "--baud") {
      options.baud = static_cast<std::uint32_t>(ParseCount(arg, value(), 4'000'000'000));
      if (options.baud == 0) throw UsageError("--baud must be above 0");
      haveBaud = true;
    } else if (arg == "--loop") {
      options.loop = true;
    } else if (arg == "--wait-open") {
      options.waitOpen = true;
    } else if (arg == "--start-delay") {
      options.startDelay = std::chrono::milliseconds(ParseCount(arg, value(), 86'400'000));
    } else if (arg == "--exit-after-script") {
      options.exitAfterScript = true;
    } else if (arg == "--verbose" || arg == "-v") {
      options.verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else {
      throw UsageError("unknown option \"" + std::string(arg) + "\"");
    }
  }
  if (options.loop && options.exitAfterScript) {
    throw UsageError("--loop and --exit-after-script exclude each other");
  }
  if (options.device && options.waitOpen) {
    throw UsageError("--wait-open works on the pseudo-terminal only, not with --device");
  }
  if (haveBaud && !options.device) throw UsageError("--baud goes with --device");
  if (options.script && options.script->empty()) throw UsageError("--script needs a file name");
  return options;
}

}  // namespace fixture_sim
