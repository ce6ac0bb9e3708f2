// The event monitor over the fake device, in each delivery mode: which
// handlers run, in which order, on which thread; failures of handlers and of
// the device; stopping while a batch waits for the user-interface thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../SystemCodeText.h"
#include "../ManualUiDispatcher.h"
#include "../SharedFakeDevice.h"
#include "cport/errors/ApplicationException.h"
#include "cport/errors/ComError.h"
#include "cport/port/ComPort.h"
#include "cport/events/ComThread.h"
#include "cport/device/fake/FakeComDevice.h"
#include "cport/device/LineFlags.h"

namespace cport {
namespace {

using namespace std::chrono_literals;
using enum TSyncMethod;
using testing::ManualUiDispatcher;
using testing::ScopedUiDispatcher;
using Strings = std::vector<std::string>;
namespace dev = device;

const char* ModeName(TSyncMethod mode) {
  return mode == smThreadSync ? "smThreadSync" : mode == smWindowSync ? "smWindowSync" : "smNone";
}

// What the handlers and the exception report saw, from whatever thread.
class Seen {
 public:
  void Add(std::string entry) {
    std::lock_guard lock(mu_);
    entries_.push_back(std::move(entry));
    threads_.push_back(std::this_thread::get_id());
  }
  Strings Take() {
    std::lock_guard lock(mu_);
    threads_.clear();
    return std::exchange(entries_, {});
  }
  Strings Peek() const {
    std::lock_guard lock(mu_);
    return entries_;
  }
  std::size_t Count() const {
    std::lock_guard lock(mu_);
    return entries_.size();
  }
  bool AllOn(std::thread::id thread) const {
    std::lock_guard lock(mu_);
    for (auto t : threads_) {
      if (t != thread) return false;
    }
    return true;
  }
  bool NoneOn(std::thread::id thread) const {
    std::lock_guard lock(mu_);
    for (auto t : threads_) {
      if (t == thread) return false;
    }
    return true;
  }

 private:
  mutable std::mutex mu_;
  Strings entries_;
  std::vector<std::thread::id> threads_;
};

// A port over the fake device whose monitor delivers through a dispatcher
// the test pumps; every handler writes to `seen`, and so does the exception
// report ("report: <message>").
class Monitored {
 public:
  explicit Monitored(TSyncMethod mode, bool useDispatcher = true) {
    auto [f, d] = testing::MakeSharedFake();
    fake = std::move(f);
    port = std::make_unique<TComPort>(std::move(d));
    port->SetSyncMethod(mode);
    if (useDispatcher) {
      port->SetEventMonitorFactory(
          [this](TCustomComPort& p) { return std::make_unique<TComThread>(p, &ui); });
    }
    before_ = SetApplicationExceptionHandler(
        [this](const std::exception& e) { seen.Add(std::string("report: ") + e.what()); });
    auto note = [this](const char* what) {
      return [this, what](TCustomComPort&) { seen.Add(what); };
    };
    auto signal = [this](const char* what) {
      return [this, what](TCustomComPort&, bool on) {
        seen.Add(what + std::string(on ? ":1" : ":0"));
      };
    };
    port->OnRxChar = [this](TCustomComPort& sender, int count) {
      seen.Add("RxChar:" + std::to_string(count));
      if (readOnRxChar) {
        std::string bytes(static_cast<std::size_t>(count), '\0');
        sender.ReadBlock(bytes.data(), count);
      }
    };
    port->OnError = [this](TCustomComPort& sender, TComErrors errors) {
      seen.Add("Error:" + std::to_string(errors.Bits()));
      if (readOnError) {
        char bytes[64];
        sender.ReadBlock(bytes, sender.BytesWaiting());
      }
    };
    port->OnTxEmpty = note("TxEmpty");
    port->OnBreak = note("Break");
    port->OnRing = [this](TCustomComPort&) {
      seen.Add("Ring");
      if (onRing) onRing();
    };
    port->OnRxFlag = note("RxFlag");
    port->OnRx80Full = note("Rx80Full");
    port->OnCTSChange = signal("CTS");
    port->OnDSRChange = signal("DSR");
    port->OnRLSDChange = signal("RLSD");
    port->OnBeforeClose = note("BeforeClose");
    port->OnAfterClose = note("AfterClose");
  }
  ~Monitored() {
    try {
      port->ClosePort();
    } catch (...) {
    }
    port.reset();
    ui.Drain();  // reports posted by the closing monitor
    SetApplicationExceptionHandler(before_);
  }

  // Opens the port and waits until its worker sleeps in the line-event wait;
  // forgets the signal events of the open.
  void Open() {
    port->OpenPort();
    ASSERT_TRUE(port->Connected());
    ASSERT_TRUE(fake->AwaitLineEventWaiter(5s));
    seen.Take();
  }

  // Pumps until the worker has started more than `waits` line-event waits
  // and sleeps in the last one: every batch before it has been handed over.
  bool AwaitNextWait(int waits) {
    return ui.PumpUntil(
        [&] { return fake->LineEventWaits() > waits && fake->AwaitLineEventWaiter(0ms); });
  }

  bool PumpUntilSeen(std::size_t count) {
    return ui.PumpUntil([&] { return seen.Count() >= count; });
  }

  ManualUiDispatcher ui;
  Seen seen;
  std::shared_ptr<dev::FakeComDevice> fake;
  std::unique_ptr<TComPort> port;
  bool readOnRxChar = true;
  bool readOnError = false;
  std::function<void()> onRing;

 private:
  ApplicationExceptionHandler before_;
};

// Keeps the worker inside the delivery of a first batch (evRing) while the
// test lines up the events of the next one, so that they arrive together.
class HeldBatch {
 public:
  HeldBatch(Monitored& m, TSyncMethod mode) : m_(m), mode_(mode) {
    if (mode == smNone) {
      m.onRing = [this] {
        std::unique_lock lock(mu_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, 5s, [this] { return released_; });
      };
    }
    m.fake->RaiseLineEvents(dev::kEvRing);
    if (mode == smNone) {
      std::unique_lock lock(mu_);
      held_ = changed_.wait_for(lock, 5s, [this] { return entered_; });
    } else {
      held_ = m.ui.AwaitQueued(1);
    }
  }
  bool Held() const { return held_; }
  void Release() {
    if (mode_ == smNone) {
      std::lock_guard lock(mu_);
      released_ = true;
      changed_.notify_all();
    }
    // The other modes go on when the test pumps.
  }
  ~HeldBatch() {
    Release();
    m_.onRing = nullptr;
  }

 private:
  Monitored& m_;
  TSyncMethod mode_;
  std::mutex mu_;
  std::condition_variable changed_;
  bool entered_ = false, released_ = false, held_ = false;
};

constexpr TSyncMethod kModes[] = {smThreadSync, smWindowSync, smNone};

TEST(ComThread, ABatchRunsItsHandlersInTheFixedOrderInEveryMode) {
  for (const TSyncMethod mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    Monitored m(mode);
    m.Open();
    m.fake->SetModemStatus(dev::kMsCtsOn | dev::kMsRlsdOn);
    {
      HeldBatch held(m, mode);
      ASSERT_TRUE(held.Held());
      m.fake->AddLineErrors(dev::kCeFrame);
      m.fake->PushReceived("abc");
      m.fake->RaiseLineEvents(dev::kEvErr | dev::kEvCts);
      held.Release();
      ASSERT_TRUE(m.PumpUntilSeen(4));
    }
    EXPECT_EQ(m.seen.Peek(), (Strings{"Ring", "Error:1", "RxChar:3", "CTS:1"}));
    if (mode == smNone) {
      EXPECT_TRUE(m.seen.NoneOn(std::this_thread::get_id()));
    } else {
      EXPECT_TRUE(m.seen.AllOn(std::this_thread::get_id()));
    }
    m.seen.Take();

    // All ten at once.
    {
      HeldBatch held(m, mode);
      ASSERT_TRUE(held.Held());
      m.fake->AddLineErrors(dev::kCeOverrun);
      m.fake->PushReceived("de");
      m.fake->RaiseLineEvents(0x05FF);
      held.Release();
      ASSERT_TRUE(m.PumpUntilSeen(11));
    }
    EXPECT_EQ(m.seen.Take(), (Strings{"Ring", "Error:4", "RxChar:2", "TxEmpty", "Break", "Ring",
                                      "CTS:1", "DSR:0", "RxFlag", "RLSD:1", "Rx80Full"}));
  }
}

TEST(ComThread, EachEventAsksTheDeviceWhetherThereIsSomethingToRaise) {
  const struct {
    const char* name;
    std::uint32_t modem;
    std::uint32_t lineErrors;
    const char* received;
    bool errorHandlerReads;
    std::uint32_t events;
    Strings expected;
  } cases[] = {
      {"no byte waits", 0, 0, "", false, dev::kEvRxChar, {}},
      {"no error flag", 0, 0, "", false, dev::kEvErr, {}},
      {"errors and bytes",
       0,
       dev::kCeFrame | dev::kCeBreak,
       "xy",
       false,
       dev::kEvErr | dev::kEvRxChar,
       {"Error:9", "RxChar:2"}},
      {"the error handler read the bytes",
       0,
       dev::kCeFrame,
       "xy",
       true,
       dev::kEvErr | dev::kEvRxChar,
       {"Error:1"}},
      {"signals as they are now",
       dev::kMsDsrOn,
       0,
       "",
       false,
       dev::kEvCts | dev::kEvDsr | dev::kEvRlsd,
       {"CTS:0", "DSR:1", "RLSD:0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Monitored m(smThreadSync);
    m.readOnError = c.errorHandlerReads;
    m.Open();
    m.fake->SetModemStatus(c.modem);
    m.fake->AddLineErrors(c.lineErrors);
    {
      // Bytes pushed before the events, in the same batch as they.
      HeldBatch held(m, smThreadSync);
      ASSERT_TRUE(held.Held());
      m.fake->PushReceived(c.received);
      m.fake->RaiseLineEvents(c.events);
      // The wait that ended with the held batch, then the one that ends with
      // these events.
      const int waits = m.fake->LineEventWaits() + 1;
      ASSERT_TRUE(m.AwaitNextWait(waits));
    }
    Strings seen = m.seen.Take();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "Ring");
    seen.erase(seen.begin());
    EXPECT_EQ(seen, c.expected);
  }
}

TEST(ComThread, ThreadSyncHandlesTheWholeBatchBeforeTheNextWait) {
  Monitored m(smThreadSync);
  m.Open();
  const int waits = m.fake->LineEventWaits();
  int waitsDuringHandler = -1;
  m.port->OnRxChar = [&](TCustomComPort&, int) { waitsDuringHandler = m.fake->LineEventWaits(); };
  m.fake->PushReceived("z");
  ASSERT_TRUE(m.ui.PumpUntil([&] { return waitsDuringHandler >= 0; }));
  EXPECT_EQ(waitsDuringHandler, waits);
}

TEST(ComThread, WindowSyncAnswersEachEventBeforeItsHandlerRuns) {
  Monitored m(smWindowSync);
  m.Open();
  bool nextSentBeforeRingReturned = false;
  m.onRing = [&] {
    // The worker can send the RLSD message only once the Ring message has
    // been answered; this handler is still running.
    nextSentBeforeRingReturned = m.ui.AwaitQueued(1);
  };
  m.fake->RaiseLineEvents(dev::kEvRing | dev::kEvRlsd);
  ASSERT_TRUE(m.PumpUntilSeen(2));
  EXPECT_TRUE(nextSentBeforeRingReturned);
  EXPECT_EQ(m.seen.Take(), (Strings{"Ring", "RLSD:0"}));

  // Ring alone: one message, and nothing follows it.
  bool anotherMessage = true;
  m.onRing = [&] { anotherMessage = m.ui.AwaitQueued(1, 50ms); };
  const int waits = m.fake->LineEventWaits();
  m.fake->RaiseLineEvents(dev::kEvRing);
  ASSERT_TRUE(m.AwaitNextWait(waits));
  EXPECT_EQ(m.seen.Take(), Strings{"Ring"});
  EXPECT_FALSE(anotherMessage);
}

TEST(ComThread, WindowSyncRunsNoHandlerWhileThePortIsNotConnected) {
  Monitored m(smWindowSync);
  m.Open();
  m.fake->RaiseLineEvents(dev::kEvRing);
  ASSERT_TRUE(m.ui.AwaitQueued(1));
  // A port being loaded reports its stored flag as Connected.
  m.port->SetComponentState({ComponentStateFlag::csLoading});
  m.port->SetConnected(false);
  const int waits = m.fake->LineEventWaits();
  ASSERT_TRUE(m.AwaitNextWait(waits));
  EXPECT_EQ(m.seen.Take(), Strings{});

  m.port->SetConnected(true);
  m.port->SetComponentState({});
  m.fake->RaiseLineEvents(dev::kEvRing);
  ASSERT_TRUE(m.PumpUntilSeen(1));
  EXPECT_EQ(m.seen.Take(), Strings{"Ring"});
}

TEST(ComThread, AFailingHandlerIsReportedAndDeliveryGoesOn) {
  const struct {
    const char* name;
    std::function<void(Monitored&)> arrange;
    Strings expected;
  } causes[] = {
      {"the handler throws",
       [](Monitored& m) { m.onRing = [] { throw std::runtime_error("ring handler failed"); }; },
       {"Ring", "CTS:0", "report: ring handler failed"}},
      {"a query fails for a reason of its own",
       [](Monitored& m) { m.fake->FailCall(dev::FakeCall::kGetModemStatus, EPERM, 1); },
       {"Ring",
        "report: GetCommModemStatus function failed" + testing::SystemCodeText(1)}},
  };
  for (const TSyncMethod mode : kModes) {
    for (const auto& cause : causes) {
      SCOPED_TRACE(std::string(ModeName(mode)) + ", " + cause.name);
      Monitored m(mode);
      m.Open();
      cause.arrange(m);
      m.fake->RaiseLineEvents(dev::kEvRing | dev::kEvCts);
      ASSERT_TRUE(m.PumpUntilSeen(cause.expected.size()));
      // The report is posted: in smWindowSync it may come before or after
      // the next message's handler.
      Strings seen = m.seen.Take();
      std::stable_partition(seen.begin(), seen.end(),
                            [](const std::string& s) { return s.rfind("report: ", 0) != 0; });
      EXPECT_EQ(seen, cause.expected);
      // The report is shown on the user-interface thread in every mode.
      EXPECT_TRUE(m.port->Connected());

      m.onRing = nullptr;
      m.fake->PushReceived("next");
      ASSERT_TRUE(m.PumpUntilSeen(1));
      EXPECT_EQ(m.seen.Take(), Strings{"RxChar:4"});
    }
  }
}

TEST(ComThread, AGoneDeviceIsReportedOnceAndThePortClosesItself) {
  // The system's number for an I/O error of a line that went away: EIO, or
  // ERROR_IO_DEVICE on Windows (in the system category both mean io_error).
#if defined(_WIN32)
  constexpr int kIoError = 1117;
#else
  constexpr int kIoError = EIO;
#endif
  const struct {
    const char* name;
    std::function<void(Monitored&)> lose;
    std::string report;
  } losses[] = {
      {"the event wait fails", [](Monitored& m) { m.fake->Vanish(); },
       "report: WaitForEvent method failed" + testing::SystemCodeText(5)},
      {"a handler's query fails with EIO",
       [](Monitored& m) {
         m.fake->FailCall(dev::FakeCall::kClearErrors, kIoError);
         m.fake->PushReceived("abc");
       },
       "report: ClearCommError function failed" + testing::SystemCodeText(kIoError)},
  };
  for (const TSyncMethod mode : kModes) {
    for (const auto& loss : losses) {
      SCOPED_TRACE(std::string(ModeName(mode)) + ", " + loss.name);
      Monitored m(mode);
      m.Open();
      loss.lose(m);
      ASSERT_TRUE(m.ui.PumpUntil([&] { return !m.port->Connected() && m.seen.Count() >= 6; }));
      // Closed with the whole sequence first, then reported, once.
      m.ui.Drain();
      EXPECT_EQ(m.seen.Take(),
                (Strings{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose", "AfterClose", loss.report}));
      EXPECT_FALSE(m.port->EventMonitorRunning());
      EXPECT_FALSE(m.fake->IsOpen());

      // Back again: a new open delivers as before.
      m.fake->ClearFailures();
      m.Open();
      m.fake->PushReceived("again");
      ASSERT_TRUE(m.PumpUntilSeen(1));
      EXPECT_EQ(m.seen.Take(), Strings{"RxChar:5"});
    }
  }
}

TEST(ComThread, ClosingWhileABatchWaitsForTheUiThreadRunsNothingOfIt) {
  for (const TSyncMethod mode : {smThreadSync, smWindowSync}) {
    SCOPED_TRACE(ModeName(mode));
    Monitored m(mode);
    m.port->SetEvents({TComEvent::evRxChar, TComEvent::evRing});
    m.Open();
    m.fake->RaiseLineEvents(dev::kEvRing);
    ASSERT_TRUE(m.ui.AwaitQueued(1));
    m.fake->ClearCallLog();
    m.port->ClosePort();
    EXPECT_FALSE(m.port->Connected());
    EXPECT_EQ(m.ui.Drain(), 0u);
    EXPECT_EQ(m.seen.Take(), (Strings{"CTS:0", "DSR:0", "RLSD:0", "BeforeClose", "AfterClose"}));
    // The worker cleared the mask and the receive queue, not the transmit
    // queue, before the device closed.
    EXPECT_EQ(m.fake->CallLog(),
              (Strings{"Purge(0x3)", "SetEventMask(0x0)", "Purge(0x8)", "Close()"}));
  }
}

TEST(ComThread, TheMonitorWatchesTheEventsOfTheOpen) {
  Monitored m(smThreadSync);
  m.port->SetEvents({TComEvent::evRxChar, TComEvent::evCTS});
  m.Open();
  const Strings log = m.fake->CallLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "SetEventMask(0x9)"), log.end());

  // An event outside the set never arrives; a wait that ends without events
  // (the mask changed) hands nothing over.
  const auto wakes = m.ui.Wakes();
  const int waits = m.fake->LineEventWaits();
  m.fake->RaiseLineEvents(dev::kEvRing);
  m.fake->SetEventMask(0x9);
  ASSERT_TRUE(m.AwaitNextWait(waits));
  EXPECT_EQ(m.ui.Wakes(), wakes);
  EXPECT_EQ(m.seen.Take(), Strings{});

  m.port->ClosePort();
  m.port->SetEvents({});
  m.fake->ClearCallLog();
  m.port->OpenPort();
  EXPECT_FALSE(m.port->EventMonitorRunning());
  for (const auto& call : m.fake->CallLog()) {
    EXPECT_EQ(call.find("SetEventMask"), std::string::npos) << call;
  }
}

TEST(ComThread, TheDefaultMonitorUsesTheInstalledDispatcher) {
  {
    // No dispatcher: the modes that need one refuse to open, saying why,
    // rather than open a port whose events never arrive; smNone delivers.
    for (const TSyncMethod mode : {smThreadSync, smWindowSync}) {
      SCOPED_TRACE(ModeName(mode));
      Monitored m(mode, /*useDispatcher=*/false);
      try {
        m.port->OpenPort();
        FAIL() << "opened without a dispatcher";
      } catch (const EComPort& e) {
        EXPECT_EQ(e.PortErrorCode(), 21);
        EXPECT_EQ(e.SystemErrorCode(), -1);
        EXPECT_NE(std::string(e.what()).find("no UiDispatcher is installed"), std::string::npos);
      }
      EXPECT_FALSE(m.port->Connected());
      EXPECT_FALSE(m.fake->IsOpen());
    }
    Monitored none(smNone, /*useDispatcher=*/false);
    none.Open();
    none.fake->PushReceived("ab");
    ASSERT_TRUE(none.PumpUntilSeen(1));
    EXPECT_TRUE(none.seen.NoneOn(std::this_thread::get_id()));
    EXPECT_EQ(none.seen.Take(), Strings{"RxChar:2"});
  }
  Monitored m(smThreadSync, /*useDispatcher=*/false);
  ScopedUiDispatcher installed(&m.ui);
  m.Open();
  m.fake->PushReceived("abc");
  ASSERT_TRUE(m.PumpUntilSeen(1));
  EXPECT_EQ(m.seen.Peek(), Strings{"RxChar:3"});
  EXPECT_TRUE(m.seen.AllOn(std::this_thread::get_id()));
  m.port->ClosePort();
}

}  // namespace
}  // namespace cport
