// The fixture_sim program end to end: run it, open the port side it prints,
// and compare what arrives with what its script says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "DecodedReports.h"
#include "SimProcess.h"
#include "cport/device/posix/PosixKernelTermios.h"
#include "fixture_sim/Script.h"
#include "fixture_sim/ScriptParser.h"

using namespace fixture_sim;
using fixture_sim::testing::DecodedReports;
using fixture_sim::testing::ReadBytes;
using fixture_sim::testing::SimProcess;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr auto kDeadline = 10s;

// A script file of the test's own, removed with it.
class ScriptFile {
 public:
  explicit ScriptFile(const std::string& text) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = ::testing::TempDir() + "fixture_sim_" + std::to_string(::getpid()) + "_" +
            test->name() + ".fixture";
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~ScriptFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

const char* const kRunScript =
    "text \"READY\\r\\n\"\n"
    "frame 0 1\n"
    "pause 100ms\n"
    "frame 2 5 3 5 0x1C\n"
    "stream 3000 bytes at 30000 B/s pattern frames\n"
    "bytes FA 05 AA 03 05   # written out by hand\n"
    "stream 5000 bytes at max pattern random seed 3\n"
    "frame 5 0x0A 0 1\n";

}  // namespace

TEST(FixtureSim, PlaysItsScriptOntoThePseudoTerminalItPrints) {
  const ScriptFile file(kRunScript);
  const Bytes expected = ScriptBytes(ParseScript(kRunScript));
  SimProcess sim({"--script", file.Path(), "--wait-open", "--exit-after-script"});
  ASSERT_TRUE(sim.Started());
  const auto path = sim.FirstLine(kDeadline);
  ASSERT_TRUE(path) << sim.Stderr();
  EXPECT_EQ(path->rfind("/dev/pts/", 0), 0u) << *path;

  const Fd port(::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  ASSERT_GE(port.Get(), 0);
  const Bytes got = ReadBytes(port.Get(), expected.size() + 1, kDeadline);
  EXPECT_EQ(got, expected) << "received " << got.size() << " of " << expected.size();

  // The frames as the monitor sees them: the hand-written frame and the
  // generated ones alike.
  DecodedReports reports;
  reports.Feed(got);
  ASSERT_GE(reports.lines.size(), 4u);
  EXPECT_EQ(reports.lines[0].text, "R00 - T01");
  EXPECT_EQ(reports.lines[1].text, "R02 - T05 - E05 03 (1C) ");
  EXPECT_EQ(reports.lines.back().text, "R05 - T0A");
  EXPECT_EQ(reports.labels.back(), "APROVADA");

  const auto status = sim.WaitExit(kDeadline);
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << sim.Stderr();
}

// The monitor may send (typed bytes, the caller-ID message): the simulator
// reads them, so that the monitor's writes never jam.
TEST(FixtureSim, ReadsWhatTheMonitorSends) {
  const ScriptFile file("bytes 01\n");
  SimProcess sim({"--script", file.Path(), "--wait-open"});
  const auto path = sim.FirstLine(kDeadline);
  ASSERT_TRUE(path);
  const Fd port(::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  ASSERT_EQ(ReadBytes(port.Get(), 1, kDeadline), Bytes{0x01});
  const std::string sent(200'000, 'U');  // far more than the kernel buffers
  std::size_t done = 0;
  const auto deadline = fixture_sim::testing::TestClock::now() + kDeadline;
  while (done < sent.size() && fixture_sim::testing::TestClock::now() < deadline) {
    const ssize_t n = ::write(port.Get(), sent.data() + done, sent.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    pollfd p{port.Get(), POLLOUT, 0};
    ::poll(&p, 1, fixture_sim::testing::MillisLeft(deadline));
  }
  EXPECT_EQ(done, sent.size());
  sim.Signal(SIGTERM);
  const auto status = sim.WaitExit(kDeadline);
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

// Until somebody opens the port side the line has no listener, and what the
// script plays is lost, as on a cable with nobody at the other end.
TEST(FixtureSim, DropsWhatItPlaysWhileNobodyHasThePortOpen) {
  const ScriptFile file("frame 0 1\nbytes 01 02 03\n");
  SimProcess sim({"--script", file.Path(), "--exit-after-script", "--verbose"});
  ASSERT_TRUE(sim.FirstLine(kDeadline));
  const auto status = sim.WaitExit(kDeadline);
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  EXPECT_NE(sim.Stderr().find("0 bytes written, 8 dropped"), std::string::npos) << sim.Stderr();
}

// Looping with nobody listening, a script without pauses does not spin: after
// a round that nobody heard the simulator waits for a listener.
TEST(FixtureSim, ALoopNobodyHearsWaitsForAListener) {
  const ScriptFile file("bytes 01 02\npause 0ms\n");
  SimProcess sim({"--script", file.Path(), "--loop", "--verbose"});
  ASSERT_TRUE(sim.FirstLine(kDeadline));
  // Traced before it runs: the bytes have gone once the pause shows.
  ASSERT_TRUE(sim.AwaitStderr("line 2: pause", kDeadline));
  sim.CloseStdin();
  const auto status = sim.WaitExit(kDeadline);
  ASSERT_TRUE(status);
  EXPECT_NE(sim.Stderr().find("0 bytes written, 2 dropped"), std::string::npos) << sim.Stderr();
}

TEST(FixtureSim, StopsCleanlyOnASignalOrTheEndOfItsInput) {
  for (int how : {SIGTERM, SIGINT, SIGHUP, 0}) {
    SimProcess sim({"--loop"});  // the built-in demo, for ever
    ASSERT_TRUE(sim.FirstLine(kDeadline));
    if (how == 0) {
      sim.CloseStdin();
    } else {
      sim.Signal(how);
    }
    const auto status = sim.WaitExit(kDeadline);
    ASSERT_TRUE(status) << "still running after " << how;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << how << ": " << sim.Stderr();
  }
}

TEST(FixtureSim, PlaysOntoADeviceGivenByPath) {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  const Fd ownMaster(master);
  const Fd ownSlave(slave);  // kept open: the line stays up when the simulator leaves
  termios raw{};
  ::tcgetattr(master, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(master, TCSANOW, &raw);
  ::fcntl(master, F_SETFL, O_NONBLOCK);

  const ScriptFile file(kRunScript);
  const Bytes expected = ScriptBytes(ParseScript(kRunScript));
  SimProcess sim(
      {"--script", file.Path(), "--device", name, "--baud", "115200", "--exit-after-script"});
  const auto path = sim.FirstLine(kDeadline);
  ASSERT_TRUE(path) << sim.Stderr();
  EXPECT_EQ(*path, name);
  EXPECT_EQ(ReadBytes(master, expected.size(), kDeadline), expected);
  const auto status = sim.WaitExit(kDeadline);
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << sim.Stderr();
  EXPECT_TRUE(ReadBytes(master, 1, 0ms).empty()) << "nothing after the script";
  cport::device::KernelTermios applied;
  ASSERT_FALSE(cport::device::GetKernelTermios(slave, applied));
  EXPECT_EQ(applied.ospeed, 115200u);
  EXPECT_EQ(applied.cflag & CSIZE, static_cast<std::uint32_t>(CS8));
  EXPECT_EQ(applied.cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "8N1 without flow control";
  EXPECT_EQ(applied.lflag & (ICANON | ECHO), 0u);
}

TEST(FixtureSim, RefusesBadScriptsAndOptionsNamingTheMistake) {
  const ScriptFile file("frame 0 1\n\npause 1 s\n");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--script", file.Path()}, file.Path() + ":3: pause takes one duration"},
      {{"--script", file.Path() + ".missing"}, "cannot read " + file.Path() + ".missing"},
      {{"--speed", "9600"}, "unknown option \"--speed\""},
      {{"--loop", "--exit-after-script"}, "exclude each other"},
      {{"--device", "/dev/null/none"}, "cannot open /dev/null/none"},
  };
  for (const auto& c : cases) {
    SimProcess sim(c.args);
    const auto status = sim.WaitExit(kDeadline);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) != 0) << c.message;
    EXPECT_NE(sim.Stderr().find(c.message), std::string::npos) << sim.Stderr();
  }
}
