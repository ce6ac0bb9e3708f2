// The wait for line events of the platform device over pseudo-terminals, with
// a worker thread waiting while the test thread reads, writes and purges.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "../PtyDevice.h"

namespace cport::device::testing {
namespace {

// One WaitForLineEvents on a thread of its own, as the port's worker does.
// Join gives the wait a deadline: past it, the stop event is set so that a
// wait that never wakes fails the test instead of hanging it.
class Waiter {
 public:
  Waiter(ComDevice& dev, ManualResetEvent& stop)
      : stop_(stop), thread_([this, &dev] {
          tid_ = ::gettid();
          std::uint32_t events = 0;
          const std::error_code ec = dev.WaitForLineEvents(stop_, events);
          std::lock_guard lock(mu_);
          error_ = ec;
          events_ = events;
          woke_ = Clock::now();
          done_ = true;
          done_cv_.notify_all();
        }) {}
  ~Waiter() {
    if (thread_.joinable()) {
      stop_.Set();
      thread_.join();
    }
  }
  // True once the thread sleeps in the wait (and has not returned).
  bool Sleeping() {
    while (tid_ == 0) std::this_thread::yield();
    const bool sleeping = AwaitSleeping(tid_);
    std::lock_guard lock(mu_);
    return sleeping && !done_;
  }
  std::error_code Join(std::uint32_t& events, milliseconds timeout = milliseconds(5000)) {
    bool in_time;
    {
      std::unique_lock lock(mu_);
      in_time = done_cv_.wait_for(lock, timeout, [this] { return done_; });
    }
    if (!in_time) stop_.Set();
    thread_.join();
    if (!in_time) return Errno(ETIMEDOUT);
    events = events_;
    return error_;
  }
  Clock::time_point woke() const {
    std::lock_guard lock(mu_);
    return woke_;
  }

 private:
  ManualResetEvent& stop_;
  std::atomic<pid_t> tid_{0};
  mutable std::mutex mu_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::error_code error_;
  std::uint32_t events_ = 0;
  Clock::time_point woke_;
  std::thread thread_;
};

// A wait expected to return by itself.
std::error_code WaitOnce(ComDevice& dev, ManualResetEvent& stop, std::uint32_t& events) {
  return Waiter(dev, stop).Join(events);
}

class PtyLineEventTest : public PtyDeviceTest {
 protected:
  ManualResetEvent stop;
};

std::string Percentiles(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  auto at = [&](double q) { return us[static_cast<std::size_t>(q * (us.size() - 1))]; };
  char text[128];
  std::snprintf(text, sizeof text, "median %.0f us, p99 %.0f us, max %.0f us (n=%zu)", at(0.5),
                at(0.99), us.back(), us.size());
  return text;
}

TEST_F(PtyLineEventTest, AByteWakesASleepingWaitAtOnce) {
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar | kEvCts | kEvDsr | kEvErr));
  std::vector<double> latency_us;
  for (int i = 0; i < 100; ++i) {
    Waiter w(*dev, stop);
    ASSERT_TRUE(w.Sleeping());
    const auto sent = Clock::now();
    ASSERT_TRUE(pty.Send("x"));
    std::uint32_t events = 0;
    ASSERT_FALSE(w.Join(events));
    EXPECT_EQ(events, kEvRxChar);
    latency_us.push_back(std::chrono::duration<double, std::micro>(w.woke() - sent).count());
    ASSERT_EQ(Read(8), "x");
  }
  std::printf("[ measured ] byte written to the pty -> line-event wait returned: %s\n",
              Percentiles(latency_us).c_str());
}

TEST_F(PtyLineEventTest, TheStopEventEndsTheWaitAtOnce) {
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar));
  std::vector<double> latency_us;
  for (int i = 0; i < 20; ++i) {
    stop.Reset();
    Waiter w(*dev, stop);
    ASSERT_TRUE(w.Sleeping());
    const auto set = Clock::now();
    stop.Set();
    std::uint32_t events = 0;
    EXPECT_EQ(w.Join(events), Errno(ECANCELED));
    latency_us.push_back(std::chrono::duration<double, std::micro>(w.woke() - set).count());
  }
  std::printf("[ measured ] stop set -> line-event wait returned: %s\n",
              Percentiles(latency_us).c_str());
  // Set before the call: no wait at all, even with bytes waiting.
  ASSERT_TRUE(pty.Send("x"));
  ASSERT_TRUE(pty.AwaitInQueue(1));
  std::uint32_t events = 0;
  EXPECT_EQ(WaitOnce(*dev, stop, events), Errno(ECANCELED));
}

TEST_F(PtyLineEventTest, ChangingTheMaskEndsTheWaitWithNoEvents) {
  std::uint32_t events = 99;
  EXPECT_EQ(WaitOnce(*dev, stop, events), Errno(EINVAL));  // nothing watched
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar));
  Waiter w(*dev, stop);
  ASSERT_TRUE(w.Sleeping());
  ASSERT_FALSE(dev->SetEventMask(0));  // what the worker does when it stops
  EXPECT_FALSE(w.Join(events));
  EXPECT_EQ(events, 0u);
}

TEST_F(PtyLineEventTest, BytesAreReportedOnceEvenWhenNobodyReadsThem) {
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar));
  // Arrived while no wait was pending: kept for the next wait.
  ASSERT_TRUE(pty.Send("ab"));
  ASSERT_TRUE(pty.AwaitInQueue(2));
  std::uint32_t events = 0;
  ASSERT_FALSE(WaitOnce(*dev, stop, events));
  EXPECT_EQ(events, kEvRxChar);

  // The bytes stay unread; the next wait must sleep instead of reporting
  // them again (which would make the worker spin), and wake for new ones.
  {
    Waiter w(*dev, stop);
    ASSERT_TRUE(w.Sleeping());
    ASSERT_TRUE(pty.Send("c"));
    ASSERT_FALSE(w.Join(events));
    EXPECT_EQ(events, kEvRxChar);
  }
  // The waits have queued them on the device's side. Everything read, then
  // as many new bytes as before: still news.
  LineStatus status;
  ASSERT_FALSE(dev->ClearErrors(status));
  EXPECT_EQ(status.InQueue, 3u);
  EXPECT_EQ(Read(8), "abc");
  ASSERT_TRUE(pty.Send("def"));
  ASSERT_TRUE(pty.AwaitInQueue(3));
  ASSERT_FALSE(WaitOnce(*dev, stop, events));
  EXPECT_EQ(events, kEvRxChar);
  // Purged, then the same count again.
  ASSERT_FALSE(dev->Purge(kPurgeRxClear));
  ASSERT_TRUE(pty.Send("ghi"));
  ASSERT_TRUE(pty.AwaitInQueue(3));
  ASSERT_FALSE(WaitOnce(*dev, stop, events));
  EXPECT_EQ(events, kEvRxChar);
}

// The receive queue (4096 bytes) full, the rest stays in the tty. Once a read
// has made room, the next wait must take the rest in and report it although
// nothing new arrives: no edge would ever wake it for those bytes.
TEST_F(PtyLineEventTest, BytesLeftInTheTtyByAFullQueueAreReportedOnceThereIsRoom) {
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar));
  std::string sent(6000, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i % 23);
  std::uint32_t events = 0;
  for (std::size_t off : {0, 3000}) {
    ASSERT_TRUE(pty.Send(std::string_view(sent).substr(off, 3000)));
    ASSERT_TRUE(pty.AwaitInQueue(3000));
    ASSERT_FALSE(WaitOnce(*dev, stop, events));
    EXPECT_EQ(events, kEvRxChar);
  }
  std::string received = Read(2000);
  ASSERT_FALSE(WaitOnce(*dev, stop, events));
  EXPECT_EQ(events, kEvRxChar);
  LineStatus status;
  ASSERT_FALSE(dev->ClearErrors(status));
  EXPECT_EQ(status.InQueue, 4000u);
  received += Read(4000);
  EXPECT_TRUE(received == sent) << "received " << received.size() << " bytes, out of order";
}

// The count a wait's kEvRxChar leads to (ClearErrors) is what a read returns:
// NUL bytes dropped, the tty's 0xFF 0xFF escape taken back to one byte. The
// event character raises kEvRxFlag, which a tty cannot show unread.
TEST_F(PtyLineEventTest, EventCharacterAndTheCountOfWhatAReadReturns) {
  Dcb d = Line8N1();
  d.Flags |= kDcbNull;
  d.EvtChar = '\n';
  ASSERT_FALSE(dev->SetLineSettings(d));
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar | kEvRxFlag));
  ASSERT_TRUE(pty.Send(std::string("a\0\xFF\0\n", 5)));
  ASSERT_TRUE(pty.AwaitInQueue(6));  // the tty marks 0xFF as 0xFF 0xFF
  std::uint32_t events = 0;
  ASSERT_FALSE(WaitOnce(*dev, stop, events));
  EXPECT_EQ(events, kEvRxChar | kEvRxFlag);
  LineStatus status;
  ASSERT_FALSE(dev->ClearErrors(status));
  EXPECT_EQ(status.InQueue, 3u);
  EXPECT_EQ(status.Errors, 0u);
  EXPECT_EQ(Read(16), "a\xFF\n");
  ASSERT_TRUE(pty.Send("b"));
  ASSERT_FALSE(WaitOnce(*dev, stop, events));
  EXPECT_EQ(events, kEvRxChar);
}

TEST_F(PtyLineEventTest, TransmitQueueEmptyAfterAWrite) {
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar | kEvTxEmpty));
  std::uint32_t n = 0;
  ASSERT_FALSE(Write("out", n));
  std::uint32_t events = 0;
  ASSERT_FALSE(WaitOnce(*dev, stop, events));
  EXPECT_EQ(events, kEvTxEmpty);
  // Reported once per write, not again while nothing more is sent.
  Waiter w(*dev, stop);
  ASSERT_TRUE(w.Sleeping());
  ASSERT_TRUE(pty.Send("in"));
  ASSERT_FALSE(w.Join(events));
  EXPECT_EQ(events, kEvRxChar);
  EXPECT_EQ(pty.Receive(3), "out");
}

TEST_F(PtyLineEventTest, TheOtherSideClosingEndsTheWaitWithAnError) {
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar));
  {
    Waiter w(*dev, stop);
    ASSERT_TRUE(w.Sleeping());
    pty.CloseMaster();
    std::uint32_t events = 0;
    EXPECT_EQ(w.Join(events), Errno(EIO));
  }
  // A wait started after the line went away says so at once.
  std::uint32_t events = 0;
  EXPECT_EQ(WaitOnce(*dev, stop, events), Errno(EIO));
}

// The monitor's situation: a worker waits and reads what it is told about
// while the other thread writes, queries and purges transmit aborts. Every
// byte must arrive, in order, with no event lost (a lost one hangs the
// reader until the deadline). Run under ThreadSanitizer as well.
TEST_F(PtyLineEventTest, WorkerReadsEverythingWhileTheOtherThreadUsesTheDevice) {
  ASSERT_FALSE(dev->SetEventMask(kEvRxChar | kEvTxEmpty | kEvErr));
  constexpr std::size_t kTotal = 200 * 1024;
  std::string sent(kTotal, '\0');
  for (std::size_t i = 0; i < kTotal; ++i) sent[i] = static_cast<char>(i * 7 + i / 251);

  std::string received;
  std::atomic<std::size_t> received_count{0};
  std::atomic<bool> worker_done{false};
  std::error_code worker_error;
  std::thread worker([&] {
    struct Done {
      std::atomic<bool>& flag;
      ~Done() { flag = true; }
    } done{worker_done};
    for (;;) {
      std::uint32_t events = 0;
      if (auto ec = dev->WaitForLineEvents(stop, events)) {
        if (ec != Errno(ECANCELED)) worker_error = ec;
        return;
      }
      if (!(events & kEvRxChar)) continue;
      LineStatus status;
      if ((worker_error = dev->ClearErrors(status))) return;
      if (status.InQueue == 0) continue;
      std::string chunk(status.InQueue, '\0');
      Transfer t;
      std::uint32_t n = 0;
      if ((worker_error = dev->StartRead(chunk.data(), status.InQueue, t, n))) return;
      if ((worker_error = dev->WaitForTransfer(t, n))) return;
      received.append(chunk, 0, n);
      received_count = received.size();
    }
  });

  const auto deadline = Clock::now() + milliseconds(30000);
  std::string echoed;
  for (std::size_t off = 0; off < kTotal && Clock::now() < deadline; off += 4096) {
    ASSERT_TRUE(pty.Send(std::string_view(sent).substr(off, 4096)));
    std::uint32_t n = 0, ms = 0;
    ASSERT_FALSE(Write("p", n));
    ASSERT_FALSE(dev->GetModemStatus(ms));
    ASSERT_FALSE(dev->Purge(kPurgeTxAbort));
    echoed += pty.Receive(1);
  }
  // Wait until the worker has taken everything, or the deadline.
  while (received_count < kTotal && !worker_done && Clock::now() < deadline) {
    std::this_thread::yield();
  }
  stop.Set();
  worker.join();
  EXPECT_FALSE(worker_error) << worker_error.message();
  EXPECT_EQ(received.size(), kTotal);
  EXPECT_TRUE(received == sent) << "received bytes differ from those sent";
  EXPECT_EQ(echoed, std::string(kTotal / 4096 + (kTotal % 4096 ? 1 : 0), 'p'));
}

}  // namespace
}  // namespace cport::device::testing
