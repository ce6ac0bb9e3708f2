// The fake device's own behaviour, where the port's tests rely on it: the
// ComDevice contract it keeps, its script and its call log.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "cport/device/fake/FakeComDevice.h"

namespace cport::device {
namespace {

using std::chrono::milliseconds;

std::error_code Errno(int e) { return {e, std::system_category()}; }

TEST(FakeComDeviceTest, ClosedDeviceRefusesEverythingButOpenAndClose) {
  FakeComDevice dev;
  LineStatus status;
  std::uint32_t ms = 0;
  EXPECT_EQ(dev.ClearErrors(status), Errno(EBADF));
  EXPECT_EQ(dev.GetModemStatus(ms), Errno(EBADF));
  EXPECT_EQ(dev.SetEventMask(kEvRxChar), Errno(EBADF));
  EXPECT_FALSE(dev.Close());
  EXPECT_FALSE(dev.Open("COM3"));
  EXPECT_EQ(dev.Open("COM3"), Errno(EALREADY));
  EXPECT_TRUE(dev.IsOpen());
  EXPECT_EQ(dev.OpenedName(), "COM3");
}

TEST(FakeComDeviceTest, ScriptedFailureHitsTheChosenCallTheChosenNumberOfTimes) {
  FakeComDevice dev;
  dev.FailCall(FakeCall::kOpen, ENOENT, 1);
  EXPECT_EQ(dev.Open("COM1"), Errno(ENOENT));
  EXPECT_FALSE(dev.IsOpen());
  EXPECT_FALSE(dev.Open("COM1"));

  dev.FailCall(FakeCall::kPurge, EIO);
  EXPECT_EQ(dev.Purge(kPurgeRxAbort), Errno(EIO));
  EXPECT_EQ(dev.Purge(kPurgeRxAbort), Errno(EIO));
  dev.ClearFailures();
  EXPECT_FALSE(dev.Purge(kPurgeRxAbort | kPurgeTxAbort));

  EXPECT_EQ(dev.CallLog(), (std::vector<std::string>{"Open(COM1)", "Open(COM1)", "Purge(0x2)",
                                                     "Purge(0x2)", "Purge(0x3)"}));
}

TEST(FakeComDeviceTest, ReadTakesWhatWaitsAndQueriesSeeTheScript) {
  FakeComDevice dev;
  ASSERT_FALSE(dev.Open("COM1"));
  dev.PushReceived("abcd");
  dev.SetModemStatus(kMsCtsOn | kMsRlsdOn);
  dev.AddLineErrors(kCeFrame);
  dev.AddLineErrors(kCeRxParity);

  LineStatus status;
  ASSERT_FALSE(dev.ClearErrors(status));
  EXPECT_EQ(status.Errors, kCeFrame | kCeRxParity);
  EXPECT_EQ(status.InQueue, 4u);
  ASSERT_FALSE(dev.ClearErrors(status));
  EXPECT_EQ(status.Errors, 0u);  // taken by the previous call
  std::uint32_t ms = 0;
  ASSERT_FALSE(dev.GetModemStatus(ms));
  EXPECT_EQ(ms, kMsCtsOn | kMsRlsdOn);

  char buf[10] = {};
  Transfer t;
  std::uint32_t n = 99;
  ASSERT_FALSE(dev.StartRead(buf, sizeof buf, t, n));
  EXPECT_EQ(n, 4u);
  EXPECT_FALSE(t.IsPending());
  EXPECT_EQ(std::string(buf, n), "abcd");
  ASSERT_FALSE(dev.WaitForTransfer(t, n));  // a completed transfer yields its result again
  EXPECT_EQ(n, 4u);
  ASSERT_FALSE(dev.StartWrite("xyz", 3, t, n));
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(dev.Written(), "xyz");
}

TEST(FakeComDeviceTest, PendingTransfersCompleteInTheirWaitOrEndWithAPurge) {
  FakeComDevice dev;
  ASSERT_FALSE(dev.Open("COM1"));
  dev.SetCompleteAtOnce(false);
  char buf[8] = {};
  Transfer read, second_read, write;
  std::uint32_t n = 99;
  ASSERT_FALSE(dev.StartRead(buf, sizeof buf, read, n));
  EXPECT_TRUE(read.IsPending());
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(dev.StartRead(buf, sizeof buf, second_read, n), Errno(EBUSY));
  ASSERT_FALSE(dev.StartWrite("hi", 2, write, n));
  EXPECT_EQ(dev.Written(), "");
  dev.PushReceived("xy");
  ASSERT_FALSE(dev.WaitForTransfer(read, n));
  EXPECT_EQ(n, 2u);
  EXPECT_FALSE(read.IsPending());

  ASSERT_FALSE(dev.Purge(kPurgeTxAbort));
  EXPECT_EQ(dev.WaitForTransfer(write, n), Errno(ECANCELED));
  EXPECT_EQ(dev.Written(), "");
  // The purge reaches only transfers pending at the time.
  ASSERT_FALSE(dev.StartWrite("ok", 2, write, n));
  ASSERT_FALSE(dev.WaitForTransfer(write, n));
  EXPECT_EQ(dev.Written(), "ok");
}

TEST(FakeComDeviceTest, LineEventWaitDeliversWatchedEventsAndEndsOnStopMaskOrVanish) {
  FakeComDevice dev;
  ManualResetEvent stop;
  ASSERT_FALSE(dev.Open("COM1"));
  std::uint32_t events = 0;
  EXPECT_EQ(dev.WaitForLineEvents(stop, events), Errno(EINVAL));  // nothing watched
  ASSERT_FALSE(dev.SetEventMask(kEvRxChar | kEvCts | kEvErr));

  // Raised before the wait: kept for it; unwatched events are dropped.
  dev.RaiseLineEvents(kEvCts | kEvRing);
  ASSERT_FALSE(dev.WaitForLineEvents(stop, events));
  EXPECT_EQ(events, kEvCts);

  // Raised while a worker waits.
  std::error_code ec;
  std::thread worker([&] { ec = dev.WaitForLineEvents(stop, events); });
  ASSERT_TRUE(dev.AwaitLineEventWaiter(milliseconds(5000)));
  dev.PushReceived("a");
  dev.AddLineErrors(kCeOverrun);
  worker.join();
  EXPECT_FALSE(ec);
  EXPECT_EQ(events, kEvRxChar);

  worker = std::thread([&] { ec = dev.WaitForLineEvents(stop, events); });
  ASSERT_TRUE(dev.AwaitLineEventWaiter(milliseconds(5000)));
  ASSERT_FALSE(dev.SetEventMask(0));
  worker.join();
  EXPECT_FALSE(ec);
  EXPECT_EQ(events, 0u);

  ASSERT_FALSE(dev.SetEventMask(kEvRxChar));
  worker = std::thread([&] { ec = dev.WaitForLineEvents(stop, events); });
  ASSERT_TRUE(dev.AwaitLineEventWaiter(milliseconds(5000)));
  stop.Set();
  worker.join();
  EXPECT_EQ(ec, Errno(ECANCELED));
  stop.Reset();

  worker = std::thread([&] { ec = dev.WaitForLineEvents(stop, events); });
  ASSERT_TRUE(dev.AwaitLineEventWaiter(milliseconds(5000)));
  dev.Vanish();
  worker.join();
  EXPECT_EQ(ec, Errno(EIO));
  std::uint32_t ms = 0;
  EXPECT_EQ(dev.GetModemStatus(ms), Errno(EIO));
  EXPECT_EQ(dev.LineEventWaits(), 6);
}

}  // namespace
}  // namespace cport::device
