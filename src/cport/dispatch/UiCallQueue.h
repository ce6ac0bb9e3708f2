#pragma once
// The thread-side half of a UiDispatcher: a queue of calls for the
// user-interface thread, the waits of the threads that placed them, and the
// withdrawal of a call whose caller was told to stop. A host derives from it
// and supplies only the wake-up of its event loop (WakeUiThread), on which the
// user-interface thread calls Drain; tests derive from it and call Drain
// themselves, at the moments they choose.
//
// Threads: the thread that constructs the queue is its user-interface
// thread. Invoke, InvokeLater, AwaitInvoked, Send, Post, Notify and Queued
// may be called from any thread; Drain and ServeUntil only on the user-interface thread.
//
// Lifecycle: destroy it only when no thread waits in Invoke or Send; posted
// calls still queued then are dropped.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "cport/dispatch/UiDispatcher.h"

namespace cport {

class UiCallQueue : public UiDispatcher {
 public:
  UiCallQueue();
  ~UiCallQueue() override;
  UiCallQueue(const UiCallQueue&) = delete;
  UiCallQueue& operator=(const UiCallQueue&) = delete;

  bool IsUiThread() const noexcept override;
  bool Invoke(std::function<void()> call, std::stop_token abandon) override;
  InvokeTicket InvokeLater(std::function<void()> call, std::stop_token abandon) override;
  bool AwaitInvoked(const InvokeTicket& ticket) override;
  bool Send(std::function<void()> call, std::stop_token abandon) override;
  void Post(std::function<void()> call) override;
  void ServeUntil(const std::function<bool()>& done) override;
  void Notify() noexcept override;

  // Runs the calls queued when it starts, in the order queued (Invoke, Send
  // and Post alike); calls queued meanwhile wait for the next Drain, so that
  // a busy worker cannot hold the event loop. Returns how many ran. A call
  // that opens a nested event loop may see Drain entered again; each call
  // still runs once.
  std::size_t Drain();

  // Calls queued and not yet taken.
  std::size_t Queued() const;

 protected:
  // Any thread, after a call was queued and with no lock held: have the
  // user-interface thread call Drain soon. One wake may cover several calls.
  virtual void WakeUiThread() noexcept = 0;

 private:
  enum class Kind : std::uint8_t { kInvoke, kSend, kPost };
  enum class State : std::uint8_t { kQueued, kTaken, kDone, kWithdrawn };
  struct Call {
    Kind kind = Kind::kPost;
    std::function<void()> fn;
    std::stop_token abandon;
    State state = State::kQueued;
    std::exception_ptr error;
  };

  std::shared_ptr<Call> Enqueue(Kind kind, std::function<void()> fn, std::stop_token abandon);
  // With mu_ held, for a call already off the queue: marks it taken, or
  // withdrawn when its caller was told to stop. False when withdrawn.
  static bool Take(Call& call);
  // With mu_ held: the first Invoke or Send call that can still run, taken
  // off the queue, or null.
  std::shared_ptr<Call> TakeFirstBlocking();
  void Run(const std::shared_ptr<Call>& call);
  // Any thread, without mu_: has the waiting callers look at their calls and
  // stop tokens again.
  void WakeWaitingCallers();
  // With mu_ held: takes `call` off the queue if it is still there.
  void Unqueue(const std::shared_ptr<Call>& call);

  const std::thread::id ui_thread_;
  mutable std::mutex mu_;
  // A call changed state in a way its caller waits for, a stop was
  // requested for a waiting caller, or Notify.
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Call>> queue_;
  std::uint64_t notifies_ = 0;
};

}  // namespace cport
