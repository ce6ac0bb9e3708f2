// Started and blocking transfers of the platform device over pseudo-terminals.
#include <gtest/gtest.h>

#include <thread>

#include "../PtyDevice.h"

namespace cport::device::testing {
namespace {

TEST_F(PtyDeviceTest, BytesMoveBothWays) {
  std::uint32_t written = 0;
  ASSERT_FALSE(Write(std::string_view("hello\r\n\x00\xff", 9), written));
  EXPECT_EQ(written, 9u);
  EXPECT_EQ(pty.Receive(9), std::string("hello\r\n\x00\xff", 9));

  const std::string line("fixture\r\n\x00\x7f\x80\xfa", 13);
  ASSERT_TRUE(pty.Send(line));
  ASSERT_TRUE(pty.AwaitInQueue(13));
  EXPECT_EQ(Read(64), line);  // raw: nothing translated, nothing lost

  // Count 0 in both directions completes at once with 0.
  EXPECT_FALSE(Write("", written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(Read(0), "");
}

TEST_F(PtyDeviceTest, ReadOfTenWhenFourWaitReturnsFourAtOnce) {
  ASSERT_TRUE(pty.Send("abcd"));
  ASSERT_TRUE(pty.AwaitInQueue(4));
  char buf[10];
  Transfer t;
  std::uint32_t n = 0;
  ASSERT_FALSE(dev->StartRead(buf, 10, t, n));
  EXPECT_FALSE(t.IsPending());
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(std::string(buf, n), "abcd");
  ASSERT_FALSE(dev->WaitForTransfer(t, n));  // the result again
  EXPECT_EQ(n, 4u);
  // Nothing waiting: the read still completes at once, empty.
  ASSERT_FALSE(dev->StartRead(buf, 10, t, n));
  EXPECT_FALSE(t.IsPending());
  EXPECT_EQ(n, 0u);
}

TEST_F(PtyDeviceTest, PendingReadsFinishInTheirWaitAccordingToTheTimeouts) {
  char buf[16];
  Transfer t;
  std::uint32_t n = 99;

  // Total limit only: the read waits for its whole count.
  ASSERT_FALSE(dev->SetTimeouts({0, 0, 5000, 0, 0}));
  ASSERT_FALSE(dev->StartRead(buf, 6, t, n));
  EXPECT_TRUE(t.IsPending());
  EXPECT_EQ(n, 0u);
  ASSERT_TRUE(pty.Send("abc"));
  ASSERT_TRUE(pty.AwaitInQueue(3));
  ASSERT_TRUE(pty.Send("def"));
  ASSERT_FALSE(dev->WaitForTransfer(t, n));
  EXPECT_FALSE(t.IsPending());
  EXPECT_EQ(std::string(buf, n), "abcdef");

  // "Return with the first bytes to arrive".
  ASSERT_FALSE(dev->SetTimeouts({kM, kM, 5000, 0, 0}));
  ASSERT_FALSE(dev->StartRead(buf, 16, t, n));
  EXPECT_TRUE(t.IsPending());
  ASSERT_TRUE(pty.Send("xy"));
  ASSERT_FALSE(dev->WaitForTransfer(t, n));
  EXPECT_GE(n, 1u);
  EXPECT_EQ(std::string(buf, n), std::string("xy").substr(0, n));
  if (n == 1) {
    ASSERT_TRUE(pty.AwaitInQueue(1));
    EXPECT_EQ(Read(1), "y");
  }

  // The total limit ends a short read with what it has: no error.
  ASSERT_FALSE(dev->SetTimeouts({0, 0, 150, 0, 0}));
  ASSERT_TRUE(pty.Send("1234"));
  ASSERT_TRUE(pty.AwaitInQueue(4));
  const auto start = Clock::now();
  ASSERT_FALSE(dev->StartRead(buf, 10, t, n));
  ASSERT_FALSE(dev->WaitForTransfer(t, n));
  EXPECT_GE(Clock::now() - start, milliseconds(149));
  EXPECT_EQ(std::string(buf, n), "1234");
}

TEST_F(PtyDeviceTest, OneTransferPerDirectionAtATime) {
  ASSERT_FALSE(dev->SetTimeouts({0, 0, 5000, 0, 0}));
  char a[4], b[4];
  Transfer first, second;
  std::uint32_t n = 0;
  ASSERT_FALSE(dev->StartRead(a, 4, first, n));
  EXPECT_EQ(dev->StartRead(a, 4, first, n), Errno(EINVAL));  // this one is pending
  EXPECT_EQ(dev->StartRead(b, 4, second, n), Errno(EBUSY));
  ASSERT_TRUE(pty.Send("wxyz"));
  ASSERT_FALSE(dev->WaitForTransfer(first, n));
  EXPECT_EQ(std::string(a, n), "wxyz");
  // The slot is free again, and an abandoned transfer frees it as well.
  {
    Transfer abandoned;
    ASSERT_FALSE(dev->StartRead(b, 4, abandoned, n));
    EXPECT_TRUE(abandoned.IsPending());
  }
  ASSERT_FALSE(dev->StartRead(b, 4, second, n));
  ASSERT_FALSE(dev->Purge(kPurgeRxAbort));
  EXPECT_EQ(dev->WaitForTransfer(second, n), Errno(ECANCELED));
}

// Fills the pseudo-terminal: nobody reads the master, so its buffers fill.
constexpr std::size_t kMoreThanAPtyHolds = 1 << 20;

TEST_F(PtyDeviceTest, WriteToAFullLineTimesOutWithTheBytesWritten) {
  ASSERT_FALSE(dev->SetTimeouts({kM, 0, 0, 0, 300}));
  const std::string data(kMoreThanAPtyHolds, 'w');
  Transfer t;
  std::uint32_t n = 0;
  const auto start = Clock::now();
  ASSERT_FALSE(dev->StartWrite(data.data(), static_cast<std::uint32_t>(data.size()), t, n));
  EXPECT_TRUE(t.IsPending());
  EXPECT_EQ(n, 0u);
  ASSERT_FALSE(dev->WaitForTransfer(t, n));  // a timeout is no error
  const auto took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(299));
  EXPECT_LT(took, milliseconds(5000));
  EXPECT_GT(n, 0u);
  EXPECT_LT(n, data.size());
  // Exactly the reported bytes are on the line: none lost, none extra.
  EXPECT_EQ(pty.Receive(n).size(), n);
  EXPECT_EQ(pty.Receive(1, milliseconds(100)), "");
  std::printf("[ measured ] a pseudo-terminal took %u bytes before the write timed out\n", n);
}

TEST_F(PtyDeviceTest, PurgeAbortEndsPendingTransfersWaitedOnElsewhere) {
  ASSERT_FALSE(dev->SetTimeouts({0, 0, 0, 0, 0}));  // no limits: only the purge ends them
  char buf[8];
  Transfer read;
  std::uint32_t n = 0;
  ASSERT_FALSE(dev->StartRead(buf, sizeof buf, read, n));
  const std::string data(kMoreThanAPtyHolds, 'w');
  Transfer write;
  ASSERT_FALSE(dev->StartWrite(data.data(), static_cast<std::uint32_t>(data.size()), write, n));
  ASSERT_TRUE(write.IsPending());

  std::error_code read_ec, write_ec;
  std::uint32_t read_n = 99, write_n = 0;
  std::atomic<pid_t> read_tid{0}, write_tid{0};
  std::thread reader([&] {
    read_tid = ::gettid();
    read_ec = dev->WaitForTransfer(read, read_n);
  });
  std::thread writer([&] {
    write_tid = ::gettid();
    write_ec = dev->WaitForTransfer(write, write_n);
  });
  while (read_tid == 0 || write_tid == 0) std::this_thread::yield();
  ASSERT_TRUE(AwaitSleeping(read_tid));
  ASSERT_TRUE(AwaitSleeping(write_tid));
  ASSERT_FALSE(dev->Purge(kPurgeRxAbort | kPurgeTxAbort));
  reader.join();
  writer.join();
  EXPECT_EQ(read_ec, Errno(ECANCELED));
  EXPECT_EQ(read_n, 0u);
  EXPECT_EQ(write_ec, Errno(ECANCELED));
  EXPECT_GT(write_n, 0u);  // what went out before the abort

  // Transfers started after the purge are not touched by it.
  ASSERT_FALSE(dev->Purge(kPurgeTxClear));
  pty.Receive(kMoreThanAPtyHolds, milliseconds(200));
  ASSERT_FALSE(dev->SetTimeouts(kPortTimeouts));
  ASSERT_FALSE(Write("ok", n));
  EXPECT_EQ(pty.Receive(2), "ok");
}

TEST_F(PtyDeviceTest, ReceivedNulBytesAreDroppedWhenTheRecordSaysSo) {
  Dcb d = Line8N1();
  d.Flags |= kDcbNull;
  ASSERT_FALSE(dev->SetLineSettings(d));
  ASSERT_TRUE(pty.Send(std::string("a\0b\0\0c", 6)));
  ASSERT_TRUE(pty.AwaitInQueue(6));
  EXPECT_EQ(Read(10), "abc");
  ASSERT_FALSE(dev->SetLineSettings(Line8N1()));
  ASSERT_TRUE(pty.Send(std::string("a\0", 2)));
  ASSERT_TRUE(pty.AwaitInQueue(2));
  EXPECT_EQ(Read(10), std::string("a\0", 2));
}

// XON/XOFF input flow as a Windows driver does it: XOFF once fewer than
// XoffLim bytes of the receive queue are free, XON once fewer than XonLim are
// left, and (fTxContinueOnXoff off) no output in between.
TEST_F(PtyDeviceTest, InputFlowStopsTheSenderAtXoffLimAndHoldsOutputUntilXonLim) {
  ASSERT_FALSE(dev->SetQueueSizes(4096, 4096));
  Dcb d = Line8N1();
  d.Flags |= kDcbInX;
  d.XonChar = 0x11;
  d.XoffChar = 0x13;
  d.XonLim = 4;
  d.XoffLim = 4096 - 12;
  ASSERT_FALSE(dev->SetLineSettings(d));
  ASSERT_FALSE(dev->SetTimeouts({kMaxDword, 0, 0, 0, 0}));
  ASSERT_TRUE(pty.Send("0123456789AB"));
  ASSERT_TRUE(pty.AwaitInQueue(12));
  LineStatus status;
  ASSERT_FALSE(dev->ClearErrors(status));
  ASSERT_EQ(status.InQueue, 12u);  // XoffLim free: the sender may go on
  EXPECT_EQ(pty.Receive(1, milliseconds(50)), "");
  ASSERT_TRUE(pty.Send("C"));
  ASSERT_TRUE(pty.AwaitInQueue(1));
  ASSERT_FALSE(dev->ClearErrors(status));
  ASSERT_EQ(status.InQueue, 13u);
  EXPECT_EQ(pty.Receive(1), "\x13");

  Transfer write;
  std::uint32_t n = 0;
  ASSERT_FALSE(dev->StartWrite("w", 1, write, n));
  EXPECT_EQ(pty.Receive(1, milliseconds(50)), "") << "output held while the sender is stopped";
  EXPECT_EQ(Read(9), "012345678");  // 4 left: not yet
  EXPECT_EQ(pty.Receive(1, milliseconds(50)), "");
  EXPECT_EQ(Read(1), "9");  // 3 left, under XonLim
  ASSERT_FALSE(dev->WaitForTransfer(write, n));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(pty.Receive(2), "\x11w");
}

TEST_F(PtyDeviceTest, TheOtherSideClosingIsAnErrorForTransfersAndQueries) {
  ASSERT_FALSE(dev->SetTimeouts({0, 0, 0, 0, 0}));
  char buf[4];
  Transfer pending;
  std::uint32_t n = 0;
  ASSERT_FALSE(dev->StartRead(buf, 4, pending, n));
  pty.CloseMaster();
  EXPECT_EQ(dev->WaitForTransfer(pending, n), Errno(EIO));

  std::error_code ec;
  Read(4, &ec);
  EXPECT_EQ(ec, Errno(EIO));
  EXPECT_EQ(Write("x", n), Errno(EIO));
  LineStatus status;
  EXPECT_EQ(dev->ClearErrors(status), Errno(EIO));
  std::uint32_t ms = 0;
  EXPECT_EQ(dev->GetModemStatus(ms), Errno(EIO));
  EXPECT_FALSE(dev->Close());
}

TEST_F(PtyDeviceTest, ClosingEndsTransfersStillPending) {
  ASSERT_FALSE(dev->SetTimeouts({0, 0, 0, 0, 0}));
  char buf[4];
  Transfer pending;
  std::uint32_t n = 0;
  ASSERT_FALSE(dev->StartRead(buf, 4, pending, n));
  ASSERT_FALSE(dev->Close());
  EXPECT_EQ(dev->WaitForTransfer(pending, n), Errno(ECANCELED));
  // Reopened, the old transfer still belongs to the old opening.
  ASSERT_FALSE(dev->Open(pty.path()));
  EXPECT_EQ(dev->WaitForTransfer(pending, n), Errno(ECANCELED));
}

}  // namespace
}  // namespace cport::device::testing
