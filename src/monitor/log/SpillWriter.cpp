#include "monitor/log/SpillWriter.h"

#include <utility>

namespace monitor {

void SpillWriter::Stop() {
  std::deque<Job> dropped;
  {
    std::lock_guard lock(mu_);
    ending_ = true;
    dropped.swap(queue_);
  }
  work_.notify_one();
  if (thread_.joinable()) thread_.join();
}

SpillWriter::Outcome SpillWriter::Write(const Job& job) noexcept {
  Outcome outcome;
  try {
    outcome.offset = job.file->Append({job.data.get(), job.size});
  } catch (const std::system_error& error) {
    outcome.error = error.code();
  }
  return outcome;
}

void SpillWriter::Submit(std::shared_ptr<SpillFile> file, std::shared_ptr<const char[]> data,
                         std::size_t size) {
  Job job{next_ticket_++, std::move(file), std::move(data), size};
  ++pending_;
  if (!thread_.joinable() && !no_thread_) {
    try {
      thread_ = std::thread(&SpillWriter::Run, this);
    } catch (const std::system_error&) {
      no_thread_ = true;
    }
  }
  if (no_thread_) {
    const Outcome outcome = Write(job);
    std::lock_guard lock(mu_);
    finished_.push_back(outcome);
    return;
  }
  {
    std::lock_guard lock(mu_);
    queue_.push_back(std::move(job));
  }
  work_.notify_one();
}

void SpillWriter::Run() {
  std::unique_lock lock(mu_);
  for (;;) {
    work_.wait(lock, [&] { return ending_ || !queue_.empty(); });
    if (ending_) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    const Outcome outcome = Write(job);
    // The page and the file are let go outside the lock: the last hold on
    // an abandoned file closes it, which may take a while.
    job.data.reset();
    job.file.reset();
    lock.lock();
    if (job.ticket >= live_from_) {
      finished_.push_back(outcome);
      done_.notify_one();
    }
  }
}

std::vector<SpillWriter::Outcome> SpillWriter::TakeFinished() {
  std::vector<Outcome> outcomes;
  // Asked after every receive batch: with nothing handed over, no lock.
  if (pending_ == 0) return outcomes;
  {
    std::lock_guard lock(mu_);
    outcomes.swap(finished_);
  }
  pending_ -= outcomes.size();
  return outcomes;
}

void SpillWriter::AwaitFinished(std::unique_lock<std::mutex>& lock, std::size_t count) {
  done_.wait(lock, [&] { return finished_.size() >= count; });
}

void SpillWriter::AwaitOldest() {
  if (pending_ == 0) return;
  std::unique_lock lock(mu_);
  AwaitFinished(lock, 1);
}

void SpillWriter::AwaitAll() {
  std::unique_lock lock(mu_);
  AwaitFinished(lock, pending_);
}

void SpillWriter::Abandon() {
  std::deque<Job> dropped;
  {
    std::lock_guard lock(mu_);
    live_from_ = next_ticket_;
    dropped.swap(queue_);
    finished_.clear();
  }
  pending_ = 0;
  // The dropped pages go here; their holds on the file go with them, so the
  // caller's own hold decides where the file is closed.
}

}  // namespace monitor
