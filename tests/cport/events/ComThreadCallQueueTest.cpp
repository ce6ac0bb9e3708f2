// The calls a worker places on the user-interface thread: run there, waited
// for, withdrawn on stop, and served by the close path's wait.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "../ManualUiDispatcher.h"
#include "cport/errors/ApplicationException.h"

namespace cport {
namespace {

using testing::ManualUiDispatcher;

// Records what reaches the application's exception report.
class ReportedErrors {
 public:
  ReportedErrors() {
    before_ = SetApplicationExceptionHandler(
        [this](const std::exception& e) { messages.push_back(e.what()); });
  }
  ~ReportedErrors() { SetApplicationExceptionHandler(before_); }
  std::vector<std::string> messages;

 private:
  ApplicationExceptionHandler before_;
};

TEST(UiCallQueue, InvokeRunsOnTheUiThreadAndCarriesTheOutcomeBack) {
  ManualUiDispatcher ui;
  const auto uiThread = std::this_thread::get_id();
  std::atomic<bool> onUi{false}, ran{false}, threw{false};
  std::string message;
  std::thread worker([&] {
    ran = ui.Invoke([&] { onUi = std::this_thread::get_id() == uiThread; }, {});
    try {
      ui.Invoke([] { throw std::runtime_error("from the handler"); }, {});
    } catch (const std::runtime_error& e) {
      message = e.what();
      threw = true;
    }
  });
  EXPECT_TRUE(ui.PumpUntil([&] { return threw.load(); }));
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(onUi);
  EXPECT_EQ(message, "from the handler");

  // On the user-interface thread itself nothing is queued.
  int runs = 0;
  EXPECT_TRUE(ui.Invoke([&] { ++runs; }, {}));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(ui.Queued(), 0u);
}

TEST(UiCallQueue, AStopWithdrawsACallNotYetTaken) {
  for (bool senderWaitsForTheStop : {true, false}) {
    ManualUiDispatcher ui;
    std::stop_source stop;
    std::atomic<bool> ran{false}, returned{false}, result{true};
    std::thread worker([&] {
      result = senderWaitsForTheStop ? ui.Invoke([&] { ran = true; }, stop.get_token())
                                     : ui.Send([&] { ran = true; }, stop.get_token());
      returned = true;
    });
    ASSERT_TRUE(ui.AwaitQueued(1));
    stop.request_stop();
    // Whichever side sees the stop first, the call never runs.
    ui.Drain();
    worker.join();
    ui.Drain();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);
    EXPECT_EQ(ui.Queued(), 0u);
  }
}

TEST(UiCallQueue, ACallTakenBeforeTheStopIsWaitedFor) {
  ManualUiDispatcher ui;
  std::stop_source stop;
  std::atomic<bool> returned{false};
  bool finished = false;
  bool result = false;
  std::thread worker([&] {
    result = ui.Invoke(
        [&] {
          stop.request_stop();
          finished = true;  // the caller must not return before this
        },
        stop.get_token());
    returned = true;
  });
  ASSERT_TRUE(ui.PumpUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_TRUE(finished);
}

TEST(UiCallQueue, SendIsAnsweredBeforeItsCallRunsAndReportsWhatItThrows) {
  ReportedErrors reports;
  ManualUiDispatcher ui;
  std::atomic<bool> answered{false};
  bool answeredBeforeRunning = false;
  std::thread worker([&] {
    ui.Send(
        [&] {
          // Runs on the test thread: the sender must already be free.
          const auto end = ManualUiDispatcher::Clock::now() + std::chrono::seconds(5);
          while (!answered && ManualUiDispatcher::Clock::now() < end) std::this_thread::yield();
          answeredBeforeRunning = answered;
          throw std::runtime_error("send failed");
        },
        {});
    answered = true;
  });
  ASSERT_TRUE(ui.AwaitQueued(1));
  ui.Drain();
  worker.join();
  EXPECT_TRUE(answeredBeforeRunning);
  EXPECT_EQ(reports.messages, std::vector<std::string>{"send failed"});
}

TEST(UiCallQueue, PostsRunInOrderInDrainButNeverInsideServeUntil) {
  ReportedErrors reports;
  ManualUiDispatcher ui;
  std::vector<std::string> order;
  ui.Post([&] { order.push_back("post 1"); });
  std::atomic<bool> workerDone{false};
  std::thread worker([&] {
    ui.Invoke([&] { order.push_back("invoke"); }, {});
    ui.Post([&] { throw std::runtime_error("post 2 failed"); });
    ui.Post([&] { order.push_back("post 3"); });
    workerDone = true;
    ui.Notify();
  });
  ui.ServeUntil([&] { return workerDone.load(); });
  worker.join();
  EXPECT_EQ(order, std::vector<std::string>{"invoke"});
  EXPECT_EQ(ui.Queued(), 3u);
  EXPECT_EQ(ui.Drain(), 3u);
  EXPECT_EQ(order, (std::vector<std::string>{"invoke", "post 1", "post 3"}));
  EXPECT_EQ(reports.messages, std::vector<std::string>{"post 2 failed"});
}

TEST(UiCallQueue, DrainRunsOnlyWhatWasQueuedWhenItStarted) {
  ManualUiDispatcher ui;
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    if (runs < 3) ui.Post(again);
  };
  ui.Post(again);
  EXPECT_EQ(ui.Drain(), 1u);
  EXPECT_EQ(ui.Drain(), 1u);
  EXPECT_EQ(ui.Drain(), 1u);
  EXPECT_EQ(ui.Drain(), 0u);
  EXPECT_EQ(runs, 3);
}

}  // namespace
}  // namespace cport
