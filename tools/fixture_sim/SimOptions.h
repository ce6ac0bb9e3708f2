#pragma once
// The simulator's command line:
//
//   fixture_sim [--script FILE] [--device PATH [--baud N]] [--loop | --exit-after-script]
//               [--wait-open] [--start-delay MS] [--verbose] [--help]
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fixture_sim {

struct SimOptions {
  std::optional<std::string> script;  // none: the built-in demo run
  std::optional<std::string> device;  // none: a pseudo-terminal of our own
  std::uint32_t baud = 9600;
  bool loop = false;
  bool waitOpen = false;
  std::chrono::milliseconds startDelay{0};
  bool exitAfterScript = false;
  bool verbose = false;
  bool help = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options after the program name. Throws UsageError for an unknown
// option, a missing or bad value, or options that exclude each other.
SimOptions ParseSimOptions(std::span<const std::string_view> args);

// The text of --help; its usage line names the program `program`, as it was
// started (fixture_sim in the build tree, ririredoz-fixture-sim installed).
std::string SimUsage(std::string_view program);

}  // namespace fixture_sim
