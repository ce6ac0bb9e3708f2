#pragma once
// A save of the receive log (or a stretch of it) as an RTF file on a thread
// of its own, followed in a window-modal progress dialog ("dlgSalvando")
// whose "Cancelar" button ("btnCancelar") stops it.
//
// The job writes the snapshot it is given, so the log goes on receiving
// while it runs and the file holds the log as it was when the snapshot was
// taken. When the save ends the dialog goes and `finished` is called on the
// user-interface thread, from the event loop, with the error that ended it;
// null when the file was written or the operator cancelled (a cancelled
// save leaves no file at the chosen name and is not reported).
//
// Destroying the job cancels a running save and waits for its thread, which
// stops within one step of lines; `finished` is then never called. The job
// may be destroyed from `finished`.
//
// User-interface thread only, apart from its own worker.
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <thread>

#include "monitor/log/LogSnapshot.h"

class QDialog;
class QProgressBar;
class QWidget;

class LogSaveJob {
 public:
  using Finished = std::function<void(std::exception_ptr error)>;

  // Starts the save and shows the dialog over `window`. Throws
  // std::system_error when no thread can be started; nothing is shown then.
  LogSaveJob(monitor::LogSnapshot snapshot, std::filesystem::path file, monitor::LogRange range,
             QWidget* window, Finished finished);
  LogSaveJob(const LogSaveJob&) = delete;
  LogSaveJob& operator=(const LogSaveJob&) = delete;
  ~LogSaveJob();

  // Until `finished` has been called.
  bool Running() const { return running_; }
  // As the dialog's button does.
  void Cancel();

 private:
  void Start(monitor::LogSnapshot snapshot, std::filesystem::path file, monitor::LogRange range);
  void Poll();

  std::atomic<bool> cancel_{false};
  std::atomic<bool> ended_{false};
  std::atomic<std::size_t> done_{0};
  std::atomic<std::size_t> total_{0};
  std::exception_ptr error_;  // written by the worker before ended_
  Finished finished_;
  bool running_ = true;
  QTimer poll_;
  QPointer<QDialog> dialog_;
  QPointer<QProgressBar> bar_;
  std::thread worker_;  // last: started once everything above exists
};
