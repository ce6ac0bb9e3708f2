#pragma once
// Saves finished test runs as RTF files of their own, in the evidence
// folder, on a thread of its own: the receive path only takes a snapshot of
// the log and queues it.
//
// Each file is named "<base>.rtf" in the folder; when that name is taken (two
// runs in the same second) "<base>_2.rtf", "<base>_3.rtf" and so on, so no
// evidence replaces another. A file is written beside its final name,
// flushed and renamed (SaveRtf): a failed save leaves nothing at the final
// name.
//
// `done` is called on the user-interface thread, from its event loop, after
// each save, with the file written or the reason it failed (UTF-8).
//
// Destroying the saver writes what is still queued and waits for its
// thread: evidence is not dropped at close. `done` is not called any more
// then.
//
// User-interface thread only, apart from its own worker.
#include <QObject>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "monitor/log/LogSnapshot.h"

class EvidenceSaver {
 public:
  struct Result {
    bool ok = false;
    std::filesystem::path file;  // with ok
    std::filesystem::path folder;
    std::string error;  // without ok
  };
  using Done = std::function<void(const Result&)>;

  // `context` (the window) receives the calls of `done`.
  EvidenceSaver(QObject* context, Done done);
  EvidenceSaver(const EvidenceSaver&) = delete;
  EvidenceSaver& operator=(const EvidenceSaver&) = delete;
  ~EvidenceSaver();

  // Queues the lines `range` of `snapshot` as folder/base_name.rtf. Throws
  // std::system_error when the worker thread cannot be started.
  void Save(monitor::LogSnapshot snapshot, monitor::LogRange range, std::filesystem::path folder,
            std::string base_name);

 private:
  struct Job {
    monitor::LogSnapshot snapshot;
    monitor::LogRange range;
    std::filesystem::path folder;
    std::string base_name;
  };
  void Work();

  QObject* context_;
  // Shared with the calls queued to the window, which find it empty once the
  // saver is gone. User-interface thread only.
  std::shared_ptr<Done> done_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread worker_;    // started at the first Save
};
