#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <future>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "fixture_sim/PtyPort.h"

using namespace fixture_sim;
using fixture_sim::testing::ReadBytes;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr auto kDeadline = 10s;

int OpenPortSide(const PtyPort& pty) {
  return ::open(pty.PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

WriteOutcome WriteText(PtyPort& pty, std::string_view text) {
  return pty.Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace

// Bytes reach a listener unchanged; with nobody listening, before the first
// open and after the last close, they are dropped.
TEST(PtyPort, DeliversToAListenerAndDropsWithoutOne) {
  PtyPort pty;
  EXPECT_FALSE(pty.PeerOpen()) << "never opened";
  WriteOutcome w = WriteText(pty, "lost");
  EXPECT_TRUE(w.dropped);
  EXPECT_EQ(w.taken, 4u);

  const int port = OpenPortSide(pty);
  ASSERT_GE(port, 0);
  EXPECT_TRUE(pty.PeerOpen());
  w = WriteText(pty, "a\nb\r\x03\x7F\xFF");
  EXPECT_FALSE(w.dropped);
  EXPECT_EQ(w.taken, 7u);
  EXPECT_EQ(ReadBytes(port, 8, 200ms), (Bytes{'a', '\n', 'b', '\r', 0x03, 0x7F, 0xFF}))
      << "raw: nothing translated, nothing dropped, no signal characters";
  ::close(port);
  EXPECT_FALSE(pty.PeerOpen());
  EXPECT_TRUE(WriteText(pty, "x").dropped);

  const int again = OpenPortSide(pty);
  ASSERT_GE(again, 0);
  EXPECT_TRUE(WriteText(pty, "y").taken == 1);
  EXPECT_EQ(ReadBytes(again, 2, 200ms), Bytes{'y'}) << "nothing stale from before";
  ::close(again);
}

TEST(PtyPort, WaitingForTheListenerEndsWithItsOpenTheStopOrTheDeadline) {
  PtyPort pty;
  StopSignal stop;
  EXPECT_FALSE(pty.WaitPeerOpen(stop, PaceClock::now() + 30ms));

  auto opened = std::async(std::launch::async,
                           [&] { return pty.WaitPeerOpen(stop, PaceClock::now() + kDeadline); });
  const int port = OpenPortSide(pty);
  ASSERT_GE(port, 0);
  EXPECT_EQ(opened.wait_for(kDeadline), std::future_status::ready);
  EXPECT_TRUE(opened.get());
  EXPECT_TRUE(pty.WaitPeerOpen(stop, PaceClock::now())) << "already open";
  ::close(port);

  auto stopped = std::async(std::launch::async, [&] { return pty.WaitPeerOpen(stop); });
  stop.Raise();
  EXPECT_EQ(stopped.wait_for(kDeadline), std::future_status::ready);
  EXPECT_FALSE(stopped.get());
}

// While it waits, the port serves the listener: what it sends is read, and
// nothing comes back as an echo.
TEST(PtyPort, ReadsWhatTheListenerSendsWithoutEcho) {
  PtyPort pty;
  std::string received;
  pty.SetReceived(
      [&](std::span<const std::uint8_t> bytes) { received.append(bytes.begin(), bytes.end()); });
  const int port = OpenPortSide(pty);
  ASSERT_GE(port, 0);
  ASSERT_EQ(::write(port, "ping\r\n", 6), 6);
  StopSignal stop;
  const auto deadline = PaceClock::now() + kDeadline;
  while (received.size() < 6 && PaceClock::now() < deadline) {
    ASSERT_FALSE(pty.Wait(false, deadline, stop));
  }
  EXPECT_EQ(received, "ping\r\n");
  EXPECT_TRUE(ReadBytes(port, 1, 0ms).empty()) << "echoed";
  ::close(port);
}

TEST(PtyPort, DrainedOnceTheListenerHasReadEverything) {
  PtyPort pty;
  StopSignal stop;
  EXPECT_TRUE(pty.WaitDrained(stop, PaceClock::now())) << "nobody listens: nothing to wait for";
  const int port = OpenPortSide(pty);
  ASSERT_GE(port, 0);
  ASSERT_EQ(WriteText(pty, "abc").taken, 3u);
  EXPECT_FALSE(pty.WaitDrained(stop, PaceClock::now() + 30ms)) << "three bytes unread";
  EXPECT_EQ(ReadBytes(port, 3, kDeadline), (Bytes{'a', 'b', 'c'}));
  EXPECT_TRUE(pty.WaitDrained(stop, PaceClock::now() + kDeadline));
  ::close(port);
}
