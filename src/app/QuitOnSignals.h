#pragma once
// QuitOnSignals: SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C in the terminal
// that started the program, the end of the session) close the main window as
// its title bar does, so that the settings are saved, the port is closed and
// the program ends with status 0.
//
// Lifecycle: one instance, made on the GUI thread once the QApplication
// exists and before the main window, and destroyed after the event loop has
// ended; the previous handlers come back then. A signal is handled on the
// GUI thread by its event loop: open modal dialogs and message boxes are
// closed first (as if the operator cancelled them), then the window. The
// handlers catch one signal each: the same signal again ends the program the
// default way, for a close that does not end.
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <csignal>

class QSocketNotifier;

class QuitOnSignals final : public QObject {
 public:
  QuitOnSignals();
  ~QuitOnSignals() override;
  QuitOnSignals(const QuitOnSignals&) = delete;
  QuitOnSignals& operator=(const QuitOnSignals&) = delete;

  // The window a signal closes. If a signal came before, it is closed now.
  void SetWindow(QWidget* window);
  // Whether a signal came: the entry then leaves the event loop out.
  bool Requested() const noexcept { return requested_; }

 private:
  void ReadSignals();
  void CloseNext();

  int fds_[2] = {-1, -1};  // [0] read by the notifier, [1] written by the handler
  QSocketNotifier* notifier_ = nullptr;
  QPointer<QWidget> window_;
  bool requested_ = false;
  int modalTries_ = 0;
  struct sigaction previous_[3] = {};
};
