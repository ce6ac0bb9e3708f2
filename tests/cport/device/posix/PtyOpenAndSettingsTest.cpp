// The platform device over pseudo-terminals: opening, exclusivity, settings.
#include <gtest/gtest.h>

#include "../PtyDevice.h"
#include "cport/device/posix/PosixKernelTermios.h"

namespace cport::device::testing {
namespace {

constexpr std::uint32_t kBother = 0010000;  // the kernel's "speed in c_ospeed"
constexpr std::uint32_t kCbaud = 0010017;

TEST(PtyOpenTest, MissingDeviceIsENOENTAndAnOpenDeviceCannotOpenTwice) {
  auto dev = CreatePlatformComDevice();
  EXPECT_EQ(dev->Open("/dev/ttyRiriredMissing0"), Errno(ENOENT));
  EXPECT_EQ(dev->Open("ttyRiriredMissing0"), Errno(ENOENT));
  EXPECT_EQ(dev->Open("COM999999"), Errno(ENOENT));
  EXPECT_EQ(dev->Open(""), Errno(ENOENT));
  EXPECT_FALSE(dev->IsOpen());
  std::uint32_t ms = 0;
  EXPECT_EQ(dev->GetModemStatus(ms), Errno(EBADF));

  // A file that is no terminal is no port.
  EXPECT_EQ(dev->Open("/dev/null"), Errno(ENOTTY));

  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  ASSERT_FALSE(dev->Open(pty.path()));
  EXPECT_EQ(dev->Open(pty.path()), Errno(EALREADY));
  EXPECT_TRUE(dev->IsOpen());
  EXPECT_FALSE(dev->Close());
  EXPECT_FALSE(dev->IsOpen());
  EXPECT_FALSE(dev->Close());  // closing a closed device is nothing
}

TEST(PtyOpenTest, SecondOpenerOfTheSameDeviceFailsUntilTheFirstCloses) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  auto first = CreatePlatformComDevice();
  auto second = CreatePlatformComDevice();
  ASSERT_FALSE(first->Open(pty.path()));
  // EBUSY from the kernel's exclusive mode (non-root) or the advisory lock.
  EXPECT_EQ(second->Open(pty.path()), Errno(EBUSY));
  EXPECT_FALSE(second->IsOpen());
  ASSERT_FALSE(first->Close());
  EXPECT_FALSE(second->Open(pty.path()));
  EXPECT_EQ(first->Open(pty.path()), Errno(EBUSY));
}

TEST_F(PtyDeviceTest, SpeedsReachTheTerminalAndCustomOnesGoThroughTermios2) {
  const std::uint32_t speeds[] = {110,    300,   600,   1200,   2400,  4800,   9600,
                                  14400,  19200, 38400, 56000,  57600, 115200, 128000,
                                  256000, 12345, 31250, 250000, 921600};
  for (std::uint32_t rate : speeds) {
    ASSERT_FALSE(dev->SetLineSettings(Line8N1(rate))) << rate;
    KernelTermios k;
    ASSERT_FALSE(GetKernelTermios(pty.slave(), k));
    EXPECT_EQ(k.ospeed, rate);
    const bool standard = rate != 14400 && rate != 56000 && rate != 128000 && rate != 256000 &&
                          rate != 12345 && rate != 31250 && rate != 250000;
    EXPECT_EQ((k.cflag & kCbaud) == kBother, !standard) << rate;
    EXPECT_EQ(k.lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(k.oflag & OPOST, 0u);
  }
}

TEST_F(PtyDeviceTest, SettingsThePseudoTerminalCannotCarryAreRefusedAndChangeNothing) {
  Dcb d = Line8N1(56000);
  d.StopBits = kTwoStopBits;
  d.Flags |= kDcbOutX | kDcbInX | kDcbOutxCtsFlow;
  d.XonChar = 'Q';
  d.XoffChar = 'S';
  ASSERT_FALSE(dev->SetLineSettings(d));
  KernelTermios before;
  ASSERT_FALSE(GetKernelTermios(pty.slave(), before));
  EXPECT_EQ(before.cflag & (CSTOPB | CRTSCTS), static_cast<std::uint32_t>(CSTOPB | CRTSCTS));
  EXPECT_EQ(before.iflag & (IXON | IXOFF), static_cast<std::uint32_t>(IXON | IXOFF));
  EXPECT_EQ(before.cc[VSTART], 'Q');
  EXPECT_EQ(before.cc[VSTOP], 'S');

  // A pseudo-terminal forces 8 data bits without parity while reporting
  // success; the read-back catches it and the previous settings come back.
  Dcb seven_even = Line8N1(19200);
  seven_even.ByteSize = 7;
  seven_even.Parity = kEvenParity;
  EXPECT_EQ(dev->SetLineSettings(seven_even), Errno(EINVAL));
  KernelTermios after;
  ASSERT_FALSE(GetKernelTermios(pty.slave(), after));
  EXPECT_EQ(after.ospeed, 56000u);
  EXPECT_EQ(after.cflag, before.cflag);
  EXPECT_EQ(after.iflag, before.iflag);

  Dcb one5 = Line8N1();
  one5.StopBits = kOne5StopBits;
  EXPECT_EQ(dev->SetLineSettings(one5), Errno(EINVAL));
}

TEST_F(PtyDeviceTest, QueriesOfAPseudoTerminal) {
  std::uint32_t ms = 0xFF;
  ASSERT_FALSE(dev->GetModemStatus(ms));
  EXPECT_EQ(ms, 0u);  // no modem lines: all off, no failure
  ASSERT_TRUE(pty.Send("12345"));
  ASSERT_TRUE(pty.AwaitInQueue(5));
  LineStatus status;
  ASSERT_FALSE(dev->ClearErrors(status));
  EXPECT_EQ(status.InQueue, 5u);
  EXPECT_EQ(status.Errors, 0u);  // no error counters in a pty
  EXPECT_EQ(dev->SetQueueSizes(0x80000000u, 1024), Errno(EINVAL));
  EXPECT_FALSE(dev->SetQueueSizes(0, 0));
  EXPECT_EQ(dev->Purge(0x10), Errno(EINVAL));
  ASSERT_FALSE(dev->Purge(kPurgeRxClear | kPurgeTxClear));
  ASSERT_FALSE(dev->ClearErrors(status));
  EXPECT_EQ(status.InQueue, 0u);
}

}  // namespace
}  // namespace cport::device::testing
