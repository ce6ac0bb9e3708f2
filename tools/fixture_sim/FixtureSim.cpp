// fixture_sim: stands in for the test fixture on a pseudo-terminal or a
// serial device. See SimOptions.cpp for the command line and README.md for
// the script format.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fixture_sim/FdLine.h"
#include "fixture_sim/PtyPort.h"
#include "fixture_sim/Script.h"
#include "fixture_sim/ScriptParser.h"
#include "fixture_sim/ScriptPlayer.h"
#include "fixture_sim/SerialDevice.h"
#include "fixture_sim/SimOptions.h"
#include "fixture_sim/StopSignal.h"

namespace fixture_sim {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
constexpr auto kDrainTime = std::chrono::seconds(5);

std::atomic<StopSignal*> gStop{nullptr};

extern "C" void OnStopSignal(int) {
  if (StopSignal* stop = gStop.load()) stop->Raise();
}

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Routes the stop signals to `stop` for its lifetime.
class SignalRoute {
 public:
  explicit SignalRoute(StopSignal& stop);
  ~SignalRoute();
  SignalRoute(const SignalRoute&) = delete;
  SignalRoute& operator=(const SignalRoute&) = delete;
};

SignalRoute::~SignalRoute() {
  for (int signal : kStopSignals) ::signal(signal, SIG_DFL);
  gStop = nullptr;
}

SignalRoute::SignalRoute(StopSignal& stop) {
  gStop = &stop;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
  // A reader of our stdout that went away must not kill us, and reading a
  // terminal from the background must fail rather than stop the process.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGTTIN, SIG_IGN);
}

// Whether the end of stdin should end the run: a pipe, a socket, or the
// terminal we run in the foreground of. Not /dev/null or a file, which a
// shell hands to a program started in the background and which end at once.
bool WatchStdin() {
  struct stat st {};
  if (::fstat(STDIN_FILENO, &st) != 0) return false;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return true;
  return ::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

// Raises `stop` when stdin ends; its input is discarded.
void WatchStdinUntilStop(StopSignal& stop) {
  char buffer[1024];
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n == 0) {
      stop.Raise();
      return;
    }
    if (n < 0 && errno != EINTR && errno != EAGAIN) return;
  }
}

std::string Describe(const ScriptCommand& command) {
  std::ostringstream out;
  out << "line " << command.line << ": ";
  if (const auto* run = std::get_if<BytesCommand>(&command.action)) {
    out << run->bytes.size() << " bytes";
    char hex[4];
    for (std::size_t i = 0; i < run->bytes.size() && i < 16; ++i) {
      std::snprintf(hex, sizeof hex, " %02X", run->bytes[i]);
      out << hex;
    }
    if (run->bytes.size() > 16) out << " ...";
  } else if (const auto* pause = std::get_if<PauseCommand>(&command.action)) {
    out << "pause " << pause->duration.count() << " ms";
  } else {
    const auto& stream = std::get<StreamCommand>(command.action);
    out << "stream " << stream.count << " bytes at ";
    if (stream.rate == 0) {
      out << "max";
    } else {
      out << stream.rate << " B/s";
    }
  }
  return out.str();
}

void TraceReceived(std::span<const std::uint8_t> bytes) {
  std::string text = "fixture_sim: received";
  char hex[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    text += hex;
  }
  std::cerr << text << '\n';
}

bool LoadScript(const SimOptions& options, Script& script) {
  std::string text;
  const std::string name = options.script.value_or("demo.fixture (built in)");
  if (options.script) {
    std::ifstream in(*options.script, std::ios::binary);
    if (!in) {
      std::cerr << "fixture_sim: cannot read " << *options.script << ": " << std::strerror(errno)
                << '\n';
      return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
  } else {
    text = std::string(DemoScriptText());
  }
  try {
    script = ParseScript(text);
  } catch (const ScriptError& error) {
    std::cerr << name << ":" << error.Line() << ": " << error.Message() << '\n';
    return false;
  }
  return true;
}

int Run(const SimOptions& options) {
  Script script;
  if (!LoadScript(options, script)) return kExitUsage;

  StopSignal stop;
  const SignalRoute route(stop);

  std::unique_ptr<PtyPort> pty;
  std::unique_ptr<SerialDevice> device;
  std::unique_ptr<FdLine> deviceLine;
  Line* line = nullptr;
  const ReceivedBytes received =
      options.verbose ? ReceivedBytes(TraceReceived) : ReceivedBytes([](auto) {});
  if (options.device) {
    std::error_code error;
    device = std::make_unique<SerialDevice>(*options.device, options.baud, error);
    if (error) {
      std::cerr << "fixture_sim: cannot open " << *options.device << " at " << options.baud
                << " bit/s: " << error.message() << '\n';
      return kExitFailure;
    }
    deviceLine = std::make_unique<FdLine>(device->Fd(), received);
    line = deviceLine.get();
    std::cout << *options.device << std::endl;
  } else {
    try {
      pty = std::make_unique<PtyPort>();
    } catch (const std::system_error& error) {
      std::cerr << "fixture_sim: cannot create a pseudo-terminal: " << error.what() << '\n';
      return kExitFailure;
    }
    pty->SetReceived(received);
    line = pty.get();
    std::cout << pty->PortPath() << std::endl;
  }

  std::thread stdinWatch;
  if (WatchStdin()) stdinWatch = std::thread(WatchStdinUntilStop, std::ref(stop));

  ScriptPlayer player(*line, stop);
  if (options.verbose) {
    player.OnCommand(
        [](const ScriptCommand& c) { std::cerr << "fixture_sim: " << Describe(c) << '\n'; });
  }

  int exitCode = 0;
  PlayOutcome total;
  bool first = true;
  bool heardNothing = false;
  while (!stop.Raised()) {
    bool justOpened = first;
    // A loop that nobody heard waits for a listener before it goes round
    // again: a script without pauses would otherwise spin, dropping bytes.
    if (pty && (options.waitOpen || heardNothing) && !pty->PeerOpen()) {
      if (!pty->WaitPeerOpen(stop)) break;
      justOpened = true;
    }
    first = false;
    if (justOpened && options.startDelay.count() > 0) {
      if (player.Pause(options.startDelay).end != PlayEnd::peFinished) break;
    }
    const PlayOutcome outcome = player.Play(script);
    total.written += outcome.written;
    total.dropped += outcome.dropped;
    if (outcome.end == PlayEnd::peFailed) {
      std::cerr << "fixture_sim: the line failed: " << outcome.error.message() << '\n';
      exitCode = kExitFailure;
      break;
    }
    if (outcome.end == PlayEnd::peStopped || !options.loop) break;
    heardNothing = outcome.written == 0 && outcome.dropped > 0;
  }

  if (exitCode == 0 && !stop.Raised()) {
    if (options.exitAfterScript) {
      if (pty) {
        pty->WaitDrained(stop, PaceClock::now() + kDrainTime);
      } else {
        ::tcdrain(device->Fd());
      }
    } else {
      // Keep the port until told to go, serving what the monitor sends.
      while (!stop.Raised()) {
        if (const auto error = line->Wait(false, PaceTime::max(), stop)) {
          std::cerr << "fixture_sim: the line failed: " << error.message() << '\n';
          exitCode = kExitFailure;
          break;
        }
      }
    }
  }
  if (options.verbose) {
    std::cerr << "fixture_sim: " << total.written << " bytes written, " << total.dropped
              << " dropped with the port side closed\n";
  }
  stop.Raise();  // ends the stdin watch
  if (stdinWatch.joinable()) stdinWatch.join();
  return exitCode;
}

}  // namespace
}  // namespace fixture_sim

int main(int argc, char** argv) {
  using namespace fixture_sim;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  SimOptions options;
  try {
    options = ParseSimOptions(args);
  } catch (const UsageError& error) {
    std::cerr << "fixture_sim: " << error.what() << "\n(fixture_sim --help shows the options)\n";
    return 2;
  }
  if (options.help) {
    std::cout << SimUsage(std::filesystem::path(argv[0]).filename().string());
    return 0;
  }
  try {
    return Run(options);
  } catch (const std::exception& error) {
    std::cerr << "fixture_sim: " << error.what() << '\n';
    return 1;
  }
}
