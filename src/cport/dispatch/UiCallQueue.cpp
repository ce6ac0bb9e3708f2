#include "cport/dispatch/UiCallQueue.h"

#include <algorithm>
#include <utility>

#include "cport/errors/ExceptionReport.h"

namespace cport {

UiCallQueue::UiCallQueue() : ui_thread_(std::this_thread::get_id()) {}

UiCallQueue::~UiCallQueue() = default;

bool UiCallQueue::IsUiThread() const noexcept { return std::this_thread::get_id() == ui_thread_; }

std::shared_ptr<UiCallQueue::Call> UiCallQueue::Enqueue(Kind kind, std::function<void()> fn,
                                                        std::stop_token abandon) {
  auto call = std::make_shared<Call>();
  call->kind = kind;
  call->fn = std::move(fn);
  call->abandon = std::move(abandon);
  {
    std::lock_guard lock(mu_);
    queue_.push_back(call);
  }
  // A ServeUntil on the user-interface thread waits on the same condition.
  changed_.notify_all();
  WakeUiThread();
  return call;
}

bool UiCallQueue::Invoke(std::function<void()> call, std::stop_token abandon) {
  if (IsUiThread()) {
    // Waiting for ourselves would never end.
    call();
    return true;
  }
  return AwaitInvoked(Enqueue(Kind::kInvoke, std::move(call), std::move(abandon)));
}

UiDispatcher::InvokeTicket UiCallQueue::InvokeLater(std::function<void()> call,
                                                    std::stop_token abandon) {
  if (!IsUiThread()) return Enqueue(Kind::kInvoke, std::move(call), std::move(abandon));
  // Run at once, as Invoke runs it here; the outcome waits for AwaitInvoked.
  auto ran = std::make_shared<Call>();
  ran->kind = Kind::kInvoke;
  try {
    call();
  } catch (...) {
    ran->error = std::current_exception();
  }
  ran->state = State::kDone;
  return ran;
}

bool UiCallQueue::AwaitInvoked(const InvokeTicket& ticket) {
  const auto queued = std::static_pointer_cast<Call>(ticket);
  const std::stop_token& abandon = queued->abandon;
  // Declared before the lock, so that it is unregistered only after the lock
  // is released: a stop running it on another thread needs the lock.
  const std::stop_callback wakeOnStop(abandon, [this] { WakeWaitingCallers(); });
  std::unique_lock lock(mu_);
  // A call taken before the stop is waited for all the same: the caller's
  // frame must outlive it.
  changed_.wait(lock, [&] {
    return queued->state == State::kDone || queued->state == State::kWithdrawn ||
           (queued->state == State::kQueued && abandon.stop_requested());
  });
  if (queued->state == State::kQueued) {
    Unqueue(queued);
    queued->state = State::kWithdrawn;
  }
  if (queued->state == State::kWithdrawn) return false;
  if (queued->error) {
    std::exception_ptr error = std::exchange(queued->error, nullptr);
    lock.unlock();
    std::rethrow_exception(error);
  }
  return true;
}

bool UiCallQueue::Send(std::function<void()> call, std::stop_token abandon) {
  if (IsUiThread()) {
    try {
      call();
    } catch (...) {
      ReportToApplication(std::current_exception());
    }
    return true;
  }
  const auto queued = Enqueue(Kind::kSend, std::move(call), abandon);
  const std::stop_callback wakeOnStop(abandon, [this] { WakeWaitingCallers(); });
  std::unique_lock lock(mu_);
  // Answered as soon as it is taken: the call runs after this returns.
  changed_.wait(
      lock, [&] { return queued->state != State::kQueued || abandon.stop_requested(); });
  if (queued->state == State::kQueued) {
    Unqueue(queued);
    queued->state = State::kWithdrawn;
  }
  return queued->state != State::kWithdrawn;
}

void UiCallQueue::WakeWaitingCallers() {
  // Under the lock: a caller looks at its stop token under it, so the wake
  // cannot fall between that look and the caller's sleep.
  std::lock_guard lock(mu_);
  changed_.notify_all();
}

void UiCallQueue::Post(std::function<void()> call) { Enqueue(Kind::kPost, std::move(call), {}); }

bool UiCallQueue::Take(Call& call) {
  if (call.kind != Kind::kPost && call.abandon.stop_requested()) {
    // Its caller is being stopped and will not wait for it; nothing of a
    // stopping worker runs any more.
    call.state = State::kWithdrawn;
    return false;
  }
  call.state = State::kTaken;
  return true;
}

void UiCallQueue::Unqueue(const std::shared_ptr<Call>& call) {
  const auto it = std::find(queue_.begin(), queue_.end(), call);
  if (it != queue_.end()) queue_.erase(it);
}

std::shared_ptr<UiCallQueue::Call> UiCallQueue::TakeFirstBlocking() {
  for (auto it = queue_.begin(); it != queue_.end();) {
    if ((*it)->kind == Kind::kPost) {
      ++it;
      continue;
    }
    std::shared_ptr<Call> call = std::move(*it);
    it = queue_.erase(it);
    if (Take(*call)) return call;
  }
  return nullptr;
}

void UiCallQueue::Run(const std::shared_ptr<Call>& call) {
  std::exception_ptr error;
  try {
    call->fn();
  } catch (...) {
    error = std::current_exception();
  }
  // Its captures go here, on this thread, before the caller is released.
  call->fn = nullptr;
  const bool report = error && call->kind != Kind::kInvoke;
  {
    std::lock_guard lock(mu_);
    // Moved, not copied: the caller alone then holds the exception, and it
    // ends on the caller's thread.
    if (!report) call->error = std::move(error);
    call->state = State::kDone;
  }
  changed_.notify_all();
  if (report) ReportToApplication(error);
}

std::size_t UiCallQueue::Drain() {
  std::size_t due;
  {
    std::lock_guard lock(mu_);
    due = queue_.size();
  }
  std::size_t ran = 0;
  for (; due > 0; --due) {
    std::shared_ptr<Call> call;
    bool taken;
    {
      std::lock_guard lock(mu_);
      if (queue_.empty()) break;
      call = std::move(queue_.front());
      queue_.pop_front();
      taken = Take(*call);
    }
    // A sender is answered, or a withdrawn caller released. An Invoke caller
    // waits for the end of its call, not for its start: woken now, it would
    // only contend with the call for the lock and sleep again.
    if (!taken || call->kind == Kind::kSend) changed_.notify_all();
    if (!taken) continue;
    Run(call);
    ++ran;
  }
  return ran;
}

void UiCallQueue::ServeUntil(const std::function<bool()>& done) {
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard lock(mu_);
      seen = notifies_;
    }
    // Asked without the lock: `done` may look at anything. A Notify after
    // this point changes the count, so the wait below cannot miss it.
    if (done()) return;
    std::shared_ptr<Call> call;
    {
      std::unique_lock lock(mu_);
      changed_.wait(lock, [&] {
        return notifies_ != seen || std::any_of(queue_.begin(), queue_.end(), [](const auto& c) {
                 return c->kind != Kind::kPost;
               });
      });
      call = TakeFirstBlocking();
    }
    // A call taken or withdrawn: its caller may be waiting for either.
    changed_.notify_all();
    if (call) Run(call);
  }
}

void UiCallQueue::Notify() noexcept {
  {
    std::lock_guard lock(mu_);
    ++notifies_;
  }
  changed_.notify_all();
}

std::size_t UiCallQueue::Queued() const {
  std::lock_guard lock(mu_);
  return queue_.size();
}

}  // namespace cport
