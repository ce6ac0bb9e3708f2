#pragma once
// The text of a stretch of the receive log, built on a thread of its own for
// the clipboard: a copy of millions of lines must not hold up the window.
// Lines are converted from Windows-1252 and joined by line feeds, as the
// view's selectedText() joins them.
//
// `ready` is called on the user-interface thread, from the event loop, with
// the text; a failure to read the log goes to the default report instead.
// Destroying the job stops the worker within a step of lines and waits for
// it; `ready` is then never called.
//
// User-interface thread only, apart from its own worker.
#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

#include "monitor/log/LogSnapshot.h"

class LogTextJob {
 public:
  using Ready = std::function<void(const QString& text)>;

  // `context` is the object `ready` belongs to (the view); `chars` the
  // length of the text, reserved at once. Throws std::system_error when no
  // thread can be started.
  LogTextJob(monitor::LogSnapshot snapshot, monitor::LogRange range, std::size_t chars,
             QObject* context, Ready ready);
  LogTextJob(const LogTextJob&) = delete;
  LogTextJob& operator=(const LogTextJob&) = delete;
  ~LogTextJob();

 private:
  static void Build(monitor::LogSnapshot& snapshot, const monitor::LogRange& range,
                    std::size_t chars, const std::shared_ptr<std::atomic<bool>>& cancel,
                    QObject* context, Ready ready);

  // Shared with the event the worker posts, which may be delivered after
  // the job is gone.
  std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
  std::thread worker_;
};
