// An open/close/reconnect storm over a real pseudo-terminal while the other
// side streams bytes as fast as the line takes them: the port's event worker
// starts and stops a thousand times, half of the closes with a hand-over to
// the user-interface thread still queued. Run under ThreadSanitizer (label
// "threads"). RIRIRED_STORM_CYCLES sets the number of cycles (1000).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../ManualUiDispatcher.h"
#include "cport/errors/ApplicationException.h"
#include "cport/port/ComPort.h"
#include "cport/events/ComThread.h"

namespace cport {
namespace {

using namespace std::chrono_literals;

int Cycles() {
  const char* text = std::getenv("RIRIRED_STORM_CYCLES");
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 1000;
}

std::size_t OpenFiles() {
  return static_cast<std::size_t>(std::distance(
      std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator{}));
}

std::size_t Threads() {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                    std::filesystem::directory_iterator{}));
}

// The fixture's side: a raw pty whose slave stays open here (so the line
// keeps its settings between the port's opens) and a thread that writes a
// counting byte sequence into the master until stopped.
class StreamingPty {
 public:
  StreamingPty() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    for (int fd : {master_, slave_}) {
      termios t{};
      ::tcgetattr(fd, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(fd, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = name;
    writer_ = std::thread([this] { Stream(); });
  }
  ~StreamingPty() {
    stop_ = true;
    if (writer_.joinable()) writer_.join();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  bool Ok() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  std::uint64_t Written() const { return written_; }

 private:
  void Stream() {
    char block[4096];
    std::uint8_t next = 0;
    while (!stop_) {
      for (char& c : block) c = static_cast<char>(next++);
      std::size_t done = 0;
      while (done < sizeof block && !stop_) {
        const ssize_t n = ::write(master_, block + done, sizeof block - done);
        if (n > 0) {
          done += static_cast<std::size_t>(n);
          written_ += static_cast<std::uint64_t>(n);
          continue;
        }
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
      }
      // A full block only: the sequence stays unbroken in what was written.
      next = static_cast<std::uint8_t>(next - (sizeof block - done));
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> written_{0};
  std::thread writer_;
};

TEST(ComPortStorm, OpenCloseAndReconnectWhileBytesStreamIn) {
  testing::ManualUiDispatcher ui;
  std::vector<std::string> reports;
  const auto before = SetApplicationExceptionHandler(
      [&](const std::exception& e) { reports.emplace_back(e.what()); });
  {
    StreamingPty pty;
    ASSERT_TRUE(pty.Ok());
    TComPort port;
    port.SetPort(pty.Path());
    port.SetEventMonitorFactory(
        [&ui](TCustomComPort& p) { return std::make_unique<TComThread>(p, &ui); });
    // Within one open the bytes count up without a gap: nothing lost or
    // reordered by the worker's hand-overs.
    std::uint64_t received = 0, sessionBytes = 0, breaks = 0;
    std::uint8_t expected = 0;
    port.OnRxChar = [&](TCustomComPort& sender, int count) {
      std::string bytes(static_cast<std::size_t>(count), '\0');
      const int got = sender.ReadBlock(bytes.data(), count);
      for (int i = 0; i < got; ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]);
        if (sessionBytes > 0 && b != expected) ++breaks;
        expected = static_cast<std::uint8_t>(b + 1);
        ++sessionBytes;
      }
      received += static_cast<std::uint64_t>(got);
    };
    const int cycles = Cycles();
    // Counted after the first cycle, once the sanitizers' own threads are up.
    std::size_t filesBefore = 0, threadsBefore = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int cycle = 0; cycle < cycles; ++cycle) {
      sessionBytes = 0;
      port.OpenPort();
      ASSERT_TRUE(port.Connected()) << "cycle " << cycle;
      const std::uint64_t at = received;
      ASSERT_TRUE(ui.PumpUntil([&] { return received > at; }, 10s)) << "cycle " << cycle;
      if (cycle % 2 == 1) {
        // Close with the worker's next hand-over queued but not yet run.
        ASSERT_TRUE(ui.AwaitQueued(1, 10s)) << "cycle " << cycle;
      }
      port.ClosePort();
      ASSERT_FALSE(port.Connected());
      ui.Drain();  // what the closed port's worker queued runs against nothing
      if (cycle == 0) {
        filesBefore = OpenFiles();
        threadsBefore = Threads();
      }
    }
    EXPECT_EQ(OpenFiles(), filesBefore);
    EXPECT_EQ(Threads(), threadsBefore);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(breaks, 0u);
    EXPECT_GT(received, static_cast<std::uint64_t>(cycles));
    RecordProperty("cycles", cycles);
    RecordProperty("bytes_received", std::to_string(received));
    RecordProperty("seconds", std::to_string(seconds));
    std::printf("storm: %d cycles, %llu bytes received of %llu written, %.1f s\n", cycles,
                static_cast<unsigned long long>(received),
                static_cast<unsigned long long>(pty.Written()), seconds);
  }
  SetApplicationExceptionHandler(before);
  EXPECT_TRUE(reports.empty()) << reports.front();
}

}  // namespace
}  // namespace cport
