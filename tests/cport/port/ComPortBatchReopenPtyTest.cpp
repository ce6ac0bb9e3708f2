// A port reopened inside a settings batch (SetPort on an open port, as the
// setup dialog does) over a pseudo-terminal left in its cooked defaults: the
// device has the port's settings before the first byte arrives, so nothing
// is echoed and CR stays CR.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "cport/port/ComPort.h"

namespace cport {
namespace {

using Clock = std::chrono::steady_clock;

// openpty's defaults: canonical input, echo, CR read as LF.
class CookedPty {
 public:
  CookedPty() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
    close(slave);
    path_ = name;
  }
  ~CookedPty() {
    if (master_ >= 0) close(master_);
  }
  CookedPty(const CookedPty&) = delete;
  CookedPty& operator=(const CookedPty&) = delete;

  bool Ok() const { return master_ >= 0; }
  const std::string& Path() const { return path_; }
  bool Send(const std::string& bytes) {
    return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // What the terminal has written back to this side by now (an echo).
  std::string Pending() {
    std::string out;
    pollfd p{master_, POLLIN, 0};
    char buffer[64];
    while (poll(&p, 1, 0) > 0) {
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1;
  std::string path_;
};

TEST(ComPortBatchReopen, TheReopenedDeviceHasItsSettingsBeforeTheFirstByte) {
  CookedPty first;
  CookedPty second;
  ASSERT_TRUE(first.Ok() && second.Ok());
  TComPort port;
  port.SetEvents({});
  port.SetPort(first.Path());
  port.Timeouts().SetReadInterval(0);
  port.Timeouts().SetReadTotalConstant(5000);
  port.OpenPort();

  port.BeginSettingsBatch();
  port.SetPort(second.Path());
  ASSERT_TRUE(port.Connected());
  ASSERT_TRUE(second.Send("ab\rc"));
  // Wait until the terminal has taken the bytes in, under whatever settings
  // it has now: a cooked one shows only the finished line "ab\n".
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (port.BytesWaiting() == 0 && Clock::now() < end) {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 5);
  }
  port.EndSettingsBatch();

  char in[8] = {};
  const int n = port.ReadBlock(in, 4);
  EXPECT_EQ(std::string(in, static_cast<std::size_t>(n)), "ab\rc");
  EXPECT_EQ(second.Pending(), "") << "echoed";
  port.ClosePort();
}

}  // namespace
}  // namespace cport
