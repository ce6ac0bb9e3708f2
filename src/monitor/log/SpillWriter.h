#pragma once
// Writes the pages of a receive log to its spill file on a thread of its
// own. A disk that is slow to take them (the kernel holds a writer back
// while it flushes dirty pages, for tens of milliseconds at a time) then
// never holds the user-interface thread, which only hands pages over and
// later takes back how each write went.
//
// Pages are written in the order they were handed over and their outcomes
// are taken back in that order. Abandon() forgets every page not taken back
// yet (the log was cleared): those not started are never written, and the
// outcome of one being written is thrown away.
//
// Submit, TakeFinished, Await and Abandon are for one thread, the log's
// owner. Without a thread to be had, Submit writes the page itself.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "monitor/log/SpillFile.h"

namespace monitor {

class SpillWriter {
 public:
  struct Outcome {
    std::uint64_t offset = 0;  // where the page is in the file
    std::error_code error;     // set when it could not be written
  };

  SpillWriter() = default;
  // Stop().
  ~SpillWriter() { Stop(); }
  SpillWriter(const SpillWriter&) = delete;
  SpillWriter& operator=(const SpillWriter&) = delete;

  // Hands over `size` bytes at `data` to be appended to `file`. The page's
  // memory is kept alive until it is written.
  void Submit(std::shared_ptr<SpillFile> file, std::shared_ptr<const char[]> data,
              std::size_t size);
  // The outcomes of the pages written since the last call, oldest first.
  std::vector<Outcome> TakeFinished();
  // Waits until the oldest page not taken back is written. Returns at once
  // when there is none.
  void AwaitOldest();
  // Waits until every page handed over is written.
  void AwaitAll();
  // Pages handed over and not taken back yet.
  std::size_t Pending() const { return pending_; }
  // Forgets every page not taken back yet.
  void Abandon();
  // Drops the pages not started, waits for the one being written and ends
  // the thread: afterwards it holds no page and no file.
  void Stop();

 private:
  struct Job {
    std::uint64_t ticket = 0;
    std::shared_ptr<SpillFile> file;
    std::shared_ptr<const char[]> data;
    std::size_t size = 0;
  };
  static Outcome Write(const Job& job) noexcept;
  void Run();
  // Waits, holding `lock`, until `count` outcomes of live pages are in.
  void AwaitFinished(std::unique_lock<std::mutex>& lock, std::size_t count);

  std::mutex mu_;
  std::condition_variable work_;  // a job queued, or the end
  std::condition_variable done_;  // an outcome in
  std::deque<Job> queue_;
  std::vector<Outcome> finished_;  // of live pages, oldest first
  std::uint64_t next_ticket_ = 0;     // owner's thread only
  std::uint64_t live_from_ = 0;       // tickets below it were abandoned
  std::size_t pending_ = 0;           // owner's thread only
  bool ending_ = false;
  bool no_thread_ = false;  // no thread could be started: Submit writes
  std::thread thread_;
};

}  // namespace monitor
