// The port over a real serial line: on Linux a pseudo-terminal (the test
// holds the master side, the port opens the slave by its path), on Windows
// two linked COM ports (LinePair.h). What only Linux can show (the worker's
// sleeps, read from /proc) is left out on Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../LinePair.h"
#include "../ManualUiDispatcher.h"
#include "cport/errors/ComError.h"
#include "cport/port/ComPort.h"

namespace cport {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(5);

using Pty = testing::LinePair;

// Waits until the port's receive queue holds `count` bytes.
bool AwaitWaiting(TCustomComPort& port, int count) {
  const auto end = Clock::now() + kDeadline;
  while (Clock::now() < end) {
    if (port.BytesWaiting() >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // until the deadline
  }
  return false;
}

#if !defined(_WIN32)
// The threads of this process.
std::vector<pid_t> Threads() {
  std::vector<pid_t> tids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    tids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  }
  std::sort(tids.begin(), tids.end());
  return tids;
}

// A field of /proc/self/task/<tid>/status ("voluntary_ctxt_switches"), or
// the thread's state letter from its stat file for "state".
std::string ThreadFact(pid_t tid, const std::string& name) {
  const std::string dir = "/proc/self/task/" + std::to_string(tid);
  if (name == "state") {
    std::ifstream stat(dir + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto paren = text.rfind(')');
    return paren == std::string::npos || paren + 2 >= text.size() ? "" : text.substr(paren + 2, 1);
  }
  std::ifstream status(dir + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name + ":", 0) == 0) return line.substr(name.size() + 1);
  }
  return "";
}

// Waits until thread `tid` sleeps (state S), so that it really waits rather
// than is about to.
bool AwaitSleeping(pid_t tid) {
  const auto end = Clock::now() + kDeadline;
  while (ThreadFact(tid, "state") != "S") {
    if (Clock::now() > end) return false;
    std::this_thread::yield();
  }
  return true;
}

#endif

class PortOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    if (!pty.Ok()) GTEST_SKIP() << "CPORT_TEST_COM_PAIR names no linked COM ports";
#endif
    ASSERT_TRUE(pty.Ok()) << "no line to test on";
    port.SetPort(pty.Path());
  }
  Pty pty;
  TComPort port;
};

TEST_F(PortOverPty, OpensConfiguresAndMovesBytesBothWays) {
  port.SetBaudRate(TBaudRate::br19200);
  port.FlowControl().SetFlowControl(TFlowControl::fcSoftware);
  port.SetEvents({});  // transfers only: no event monitor, no dispatcher needed
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  port.SetBaudRate(TBaudRate::br115200);
  port.FlowControl().SetFlowControl(TFlowControl::fcNone);
  // A pseudo-terminal keeps eight data bits without parity whatever it is
  // asked; the device reads the settings back and refuses the change.
  try {
    port.SetDataBits(TDataBits::dbSeven);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 7);
#if defined(_WIN32)
    EXPECT_EQ(e.SystemErrorCode(), 87) << "ERROR_INVALID_PARAMETER";
#else
    EXPECT_EQ(e.SystemErrorCode(), EINVAL);
#endif
  }
  EXPECT_EQ(port.DataBits(), TDataBits::dbSeven);
  ASSERT_TRUE(port.Connected());
  port.BeginSettingsBatch();
  port.SetDataBits(TDataBits::dbEight);
  port.SetCustomBaudRate(31250);
  port.SetBaudRate(TBaudRate::brCustom);
  port.EndSettingsBatch();

  EXPECT_EQ(port.WriteText("ATZ\r"), 4);
  const std::string binary("\xFA\x05\xAA\x00\xFF", 5);
  EXPECT_EQ(port.WriteBlock(binary.data(), 5), 5);
  EXPECT_EQ(pty.Receive(9), "ATZ\r" + binary);

  ASSERT_TRUE(pty.Send(binary));
  ASSERT_TRUE(AwaitWaiting(port, 5));
  char in[16] = {};
  EXPECT_EQ(port.ReadBlock(in, 5), 5);
  EXPECT_EQ(std::string(in, 5), binary);
  EXPECT_EQ(port.BytesWaiting(), 0);
#if !defined(_WIN32)
  // Under Wine the tests' preloaded library stands in for the pty's missing
  // modem lines; the modem lines are the fake device's tests.
  EXPECT_EQ(port.ModemSignals(), LineSignals{}) << "a pty has no modem lines";
#endif
  EXPECT_EQ(port.TakeLineErrors(), TComErrors{});
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
}

TEST_F(PortOverPty, AReadOfTenWithFourWaitingReturnsFour) {
  port.SetEvents({});
  port.OpenPort();
  ASSERT_TRUE(pty.Send("1234"));
  ASSERT_TRUE(AwaitWaiting(port, 4));
  char in[10] = {};
  EXPECT_EQ(port.ReadBlock(in, 10), 4);
  EXPECT_EQ(std::string(in, 4), "1234");
  // Wine's serial driver keeps an overlapped read of an empty queue pending
  // although the timeouts say "return at once" (MAXDWORD, 0, 0): it would
  // never end there.
  if (testing::UnderWine()) GTEST_SKIP() << "Wine: a read of an empty queue does not return";
  EXPECT_EQ(port.ReadBlock(in, 10), 0) << "nothing waiting: the read returns at once";
}

TEST_F(PortOverPty, StartedFormsCompleteInTheirWait) {
  port.SetEvents({});
  port.OpenPort();
  std::unique_ptr<TransferRequest> write;
  std::unique_ptr<TransferRequest> read;
  NewTransfer(write);
  NewTransfer(read);
  const std::string text = "started write";
  const auto atOnce = port.BeginWriteText(text, write.get());
  EXPECT_EQ(port.WaitForTransfer(write.get()), static_cast<int>(text.size()));
  EXPECT_TRUE(atOnce == 0 || atOnce == static_cast<int>(text.size()));
  EXPECT_EQ(pty.Receive(text.size()), text);

  ASSERT_TRUE(pty.Send("xyz"));
  ASSERT_TRUE(AwaitWaiting(port, 3));
  char in[8] = {};
  port.BeginRead(in, 3, read.get());
  EXPECT_EQ(port.WaitForTransfer(read.get()), 3);
  EXPECT_EQ(std::string(in, 3), "xyz");
  ReleaseTransfer(write);
  ReleaseTransfer(read);
}

TEST_F(PortOverPty, ASecondOpenOfTheSameDeviceFailsWithCode1) {
  if (testing::UnderWine()) GTEST_SKIP() << "Wine opens a COM port twice; Windows refuses";
  port.SetEvents({});
  port.OpenPort();
  TComPort second;
  second.SetPort(pty.Path());
  second.SetEvents({});
  try {
    second.OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 1);
#if defined(_WIN32)
    EXPECT_EQ(e.SystemErrorCode(), 5) << "ERROR_ACCESS_DENIED: a COM port opens once";
#else
    EXPECT_EQ(e.SystemErrorCode(), EBUSY);
#endif
  }
  EXPECT_FALSE(second.Connected());
  port.ClosePort();
  EXPECT_NO_THROW(second.OpenPort()) << "free again once the first port closed";
}

TEST_F(PortOverPty, ACloseRightAfterAWriteLetsEveryWrittenByteOut) {
  // The line is a pty whose unread output a close drops: only a close
  // that waits for its output to leave gets every byte across. Under Wine
  // the Win32 close drains too, yet about one run in seven still loses the
  // last byte somewhere between the two linked ptys; not checked there.
  if (testing::UnderWine()) GTEST_SKIP() << "Wine and the linked ptys lose a last byte at times";
  port.SetSyncMethod(TSyncMethod::smNone);  // with its event monitor, stopped by the close
  port.OpenPort();
  std::string block(4096, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(port.WriteBlock(block.data(), static_cast<int>(block.size())), 4096);
  port.ClosePort();
  const std::string received = pty.Receive(block.size());
  EXPECT_EQ(received.size(), block.size());
  EXPECT_TRUE(received == block);
}

TEST_F(PortOverPty, OnRxCharCountsWhatReadBlockReturnsAndTheEventCharacterRaisesOnRxFlag) {
  if (testing::UnderWine()) {
    GTEST_SKIP() << "Wine's serial driver neither drops NULs (DCB fNull) nor reports EV_RXFLAG";
  }
  port.SetSyncMethod(TSyncMethod::smNone);  // the handlers run on the event monitor's worker
  port.SetDiscardNull(true);
  port.SetEventChar('\n');
  std::mutex mu;
  std::vector<std::pair<int, int>> counts;  // OnRxChar's Count, what ReadBlock then returned
  std::string received;
  int flags = 0;
  port.OnRxChar = [&](TCustomComPort& sender, int count) {
    char in[64];
    const int n = sender.ReadBlock(in, std::min(count, 64));
    std::lock_guard lock(mu);
    counts.emplace_back(count, n);
    received.append(in, static_cast<std::size_t>(std::max(n, 0)));
  };
  port.OnRxFlag = [&](TCustomComPort&) {
    std::lock_guard lock(mu);
    ++flags;
  };
  port.OpenPort();
  ASSERT_TRUE(pty.Send(std::string("a\0\xFF\0\n", 5)));
  const auto end = Clock::now() + kDeadline;
  auto done = [&] {
    std::lock_guard lock(mu);
    return received.size() >= 3 && flags > 0;
  };
  while (!done() && Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // until the deadline
  }
  port.ClosePort();
  EXPECT_EQ(received, "a\xFF\n");
  EXPECT_EQ(flags, 1);
  for (const auto& [count, read] : counts) EXPECT_EQ(count, read);
}

#if !defined(_WIN32)
// In smThreadSync the event worker waits for each batch the user-interface
// thread handles. A batch handled before the next bytes arrive must cost the
// worker one wake-up (for those bytes), not a second one for the batch's end:
// on a virtual machine a wake-up costs more than the batch itself.
TEST_F(PortOverPty, TheWorkerWakesOncePerBatchHandledBeforeTheNextBytes) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer runs threads of its own and changes how often threads sleep";
#endif
  testing::ManualUiDispatcher ui;
  const testing::ScopedUiDispatcher installed(&ui);
  // Closed before the dispatcher goes, also when an assertion ends the test.
  struct CloseAtEnd {
    TComPort& port;
    ~CloseAtEnd() {
      if (port.Connected()) port.ClosePort();
    }
  } close_at_end{port};
  std::string received;
  port.OnRxChar = [&](TCustomComPort& sender, int count) {
    std::string in(static_cast<std::size_t>(count), '\0');
    in.resize(static_cast<std::size_t>(std::max(sender.ReadBlock(in.data(), count), 0)));
    received += in;
  };
  const std::vector<pid_t> before = Threads();
  port.OpenPort();
  std::vector<pid_t> added;
  std::ranges::set_difference(Threads(), before, std::back_inserter(added));
  ASSERT_EQ(added.size(), 1u) << "the event worker is the one new thread";
  const pid_t worker = added.front();

  // One sleep per batch; a few more for a lock found taken now and then. A
  // loaded machine finds it taken more often, so a round may take the bound
  // up to three tries; a second sleep per batch would miss it in every one.
  constexpr int kBatches = 20;
  constexpr long kBound = kBatches + kBatches / 4;
  std::vector<long> rounds;
  for (int round = 0; round < 3 && (rounds.empty() || rounds.back() > kBound); ++round) {
    received.clear();
    long sleeps = 0;
    for (int i = 0; i < kBatches; ++i) {
      ASSERT_TRUE(AwaitSleeping(worker));
      const long was = std::stol(ThreadFact(worker, "voluntary_ctxt_switches"));
      ASSERT_TRUE(pty.Send(std::string(1, static_cast<char>('a' + i))));
      ASSERT_TRUE(ui.PumpUntil([&] { return received.size() == i + 1u; }));
      ASSERT_TRUE(AwaitSleeping(worker));
      sleeps += std::stol(ThreadFact(worker, "voluntary_ctxt_switches")) - was;
    }
    EXPECT_EQ(received, "abcdefghijklmnopqrst");
    rounds.push_back(sleeps);
  }
  port.ClosePort();
  EXPECT_LE(*std::ranges::min_element(rounds), kBound) << "sleeps per round: " << ::testing::PrintToString(rounds);
}
#endif

TEST(PortOverMissingDevice, FailsWithCode1AndSystemCode2) {
  TComPort port;
#if defined(_WIN32)
  port.SetPort("COM250");
#else
  port.SetPort("/dev/cport-test-no-such-device");
#endif
  bool beforeOpen = false;
  port.OnBeforeOpen = [&](TCustomComPort&) { beforeOpen = true; };
  port.OnAfterOpen = [&](TCustomComPort&) { ADD_FAILURE() << "AfterOpen"; };
  try {
    port.OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 1);
    EXPECT_EQ(e.SystemErrorCode(), 2);
#if defined(_WIN32)
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
#else
    EXPECT_STREQ(e.what(), "Unable to open com port (system error 2: No such file or directory)");
#endif
  }
  EXPECT_TRUE(beforeOpen);
  EXPECT_FALSE(port.Connected());
}

}  // namespace
}  // namespace cport
