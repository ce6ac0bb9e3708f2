// Closing (or closing and reopening) a port from inside one of its line-event
// handlers, in each delivery mode: the call returns at once and the request
// runs once the handler has returned, with the whole close (and open)
// sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../ManualUiDispatcher.h"
#include "../SharedFakeDevice.h"
#include "cport/port/ComPort.h"
#include "cport/events/ComThread.h"
#include "cport/device/fake/FakeComDevice.h"

namespace cport {
namespace {

using namespace std::chrono_literals;
using enum TSyncMethod;
using testing::ManualUiDispatcher;
using Strings = std::vector<std::string>;

// The events a port raised and the threads they ran on.
class Journal {
 public:
  void Add(std::string entry) {
    std::lock_guard lock(mu_);
    entries_.push_back(std::move(entry));
    threads_.push_back(std::this_thread::get_id());
  }
  Strings Entries() const {
    std::lock_guard lock(mu_);
    return entries_;
  }
  bool Has(const std::string& entry, std::size_t times = 1) const {
    std::lock_guard lock(mu_);
    return static_cast<std::size_t>(std::count(entries_.begin(), entries_.end(), entry)) >= times;
  }
  // Whether every entry from `from` on ran on `thread` (`on`) or none did.
  bool RanOn(std::size_t from, std::thread::id thread, bool on) const {
    std::lock_guard lock(mu_);
    for (std::size_t i = from; i < threads_.size(); ++i) {
      if ((threads_[i] == thread) != on) return false;
    }
    return true;
  }

 private:
  mutable std::mutex mu_;
  Strings entries_;
  std::vector<std::thread::id> threads_;
};

struct Request {
  const char* name;
  std::function<void(TCustomComPort&)> make;
  bool reopens;
};

const Request kRequests[] = {
    {"ClosePort", [](TCustomComPort& p) { p.ClosePort(); }, false},
    {"SetConnected(false)", [](TCustomComPort& p) { p.SetConnected(false); }, false},
    {"SetPort", [](TCustomComPort& p) { p.SetPort("COM7"); }, true},
};

TEST(ComThreadCloseFromHandler, TheRequestRunsAfterTheHandlerInEveryMode) {
  for (const TSyncMethod mode : {smThreadSync, smWindowSync, smNone}) {
    for (const Request& request : kRequests) {
      SCOPED_TRACE(std::string(request.name) + " in mode " +
                   std::to_string(static_cast<int>(mode)));
      ManualUiDispatcher ui;
      Journal journal;
      auto [fake, device] = testing::MakeSharedFake();
      TComPort port(std::move(device));
      port.SetSyncMethod(mode);
      port.SetEventMonitorFactory(
          [&ui](TCustomComPort& p) { return std::make_unique<TComThread>(p, &ui); });
      port.OpenPort();
      ASSERT_TRUE(fake->AwaitLineEventWaiter(5s));

      auto note = [&journal](const char* what) {
        return [&journal, what](TCustomComPort&) { journal.Add(what); };
      };
      auto signal = [&journal](const char* what) {
        return [&journal, what](TCustomComPort&, bool on) {
          journal.Add(what + std::string(on ? ":1" : ":0"));
        };
      };
      port.OnBeforeOpen = note("BeforeOpen");
      port.OnAfterOpen = note("AfterOpen");
      port.OnBeforeClose = note("BeforeClose");
      port.OnAfterClose = note("AfterClose");
      port.OnCTSChange = signal("CTS");
      port.OnDSRChange = signal("DSR");
      port.OnRLSDChange = signal("RLSD");
      int handled = 0;
      port.OnRxChar = [&](TCustomComPort& sender, int count) {
        std::string bytes(static_cast<std::size_t>(count), '\0');
        sender.ReadBlock(bytes.data(), count);
        journal.Add("RxChar:" + bytes);
        if (handled++ == 0) {
          request.make(sender);
          journal.Add(sender.Connected() ? "returned, open" : "returned, closed");
        }
      };

      fake->PushReceived("ab");
      const std::string last = request.reopens ? "RLSD:0" : "AfterClose";
      const std::size_t times = request.reopens ? 2 : 1;
      ASSERT_TRUE(ui.PumpUntil([&] { return journal.Has(last, times); }));
      Strings expected = {"RxChar:ab", "returned, open", "CTS:0",      "DSR:0",
                          "RLSD:0",    "BeforeClose",    "AfterClose"};
      if (request.reopens) {
        for (const char* e : {"BeforeOpen", "AfterOpen", "CTS:0", "DSR:0", "RLSD:0"}) {
          expected.push_back(e);
        }
      }
      EXPECT_EQ(journal.Entries(), expected);
      // The close events ran where the handlers of the mode run.
      EXPECT_TRUE(journal.RanOn(2, std::this_thread::get_id(), mode != smNone));

      // The owning thread takes the port back: after an smNone request its
      // next ClosePort or OpenPort first waits for the worker that carried
      // the request out.
      if (!request.reopens) {
        port.ClosePort();
        EXPECT_FALSE(port.Connected());
        EXPECT_FALSE(fake->IsOpen());
        EXPECT_FALSE(port.EventMonitorRunning());
        port.OpenPort();
      }
      // A fresh monitor delivers as before.
      ASSERT_TRUE(port.Connected());
      EXPECT_EQ(fake->OpenedName(), request.reopens ? "COM7" : "COM1");
      ASSERT_TRUE(fake->AwaitLineEventWaiter(5s));
      fake->PushReceived("cd");
      ASSERT_TRUE(ui.PumpUntil([&] { return journal.Has("RxChar:cd"); }));
      port.ClosePort();
      EXPECT_FALSE(fake->IsOpen());
    }
  }
}

TEST(ComThreadCloseFromHandler, ACloseFromTheOwningThreadFirstCancelsTheRequest) {
  ManualUiDispatcher ui;
  auto [fake, device] = testing::MakeSharedFake();
  TComPort port(std::move(device));
  port.SetEventMonitorFactory(
      [&ui](TCustomComPort& p) { return std::make_unique<TComThread>(p, &ui); });
  port.OpenPort();
  ASSERT_TRUE(fake->AwaitLineEventWaiter(5s));
  int afterClose = 0;
  port.OnAfterClose = [&](TCustomComPort&) { ++afterClose; };
  port.OnRxChar = [](TCustomComPort& sender, int) { sender.ClosePort(); };
  fake->PushReceived("x");
  ASSERT_TRUE(ui.AwaitQueued(1));
  ASSERT_EQ(ui.Drain(), 1u);   // the handler ran and asked for the close
  ASSERT_EQ(ui.Queued(), 1u);  // the request, posted
  // The owner closes first and opens again before the event loop gets to it.
  port.OnRxChar = nullptr;
  port.ClosePort();
  port.OpenPort();
  ui.Drain();
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(afterClose, 1);
}

}  // namespace
}  // namespace cport
