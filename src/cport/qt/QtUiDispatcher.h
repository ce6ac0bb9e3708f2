#pragma once
// The port component's road to the user-interface thread (cport/UiDispatcher.h)
// in a Qt program: the calls a port's event worker places are queued in
// cport::UiCallQueue, and the GUI thread's event loop drains the queue when
// woken. The wake is an event object (an eventfd) watched by a socket
// notifier that lives on the GUI thread, so the worker never calls into Qt:
// everything of Qt stays on the GUI thread. It needs QtCore only (a
// QCoreApplication's event loop serves it as well as a QApplication's).
//
// The close path's wait (ServeUntil) serves only the dispatcher's own calls:
// no input, timer or paint event re-enters the window while a port closes.
//
// Threads: construct, drain and destroy on the GUI thread; the calls of
// cport::UiDispatcher may come from any thread.
#include <QObject>

#include "cport/dispatch/UiCallQueue.h"
#include "cport/device/ManualResetEvent.h"

class QSocketNotifier;

namespace cport {

class QtUiDispatcher final : public QObject, public UiCallQueue {
  Q_OBJECT

 public:
  explicit QtUiDispatcher(QObject* parent = nullptr);
  // Uninstalls itself when it is the installed dispatcher.
  ~QtUiDispatcher() override;

 protected:
  void WakeUiThread() noexcept override;

 private:
  device::ManualResetEvent wake_;
  QSocketNotifier* notifier_ = nullptr;
};

// Installs a QtUiDispatcher owned by the application object, unless a
// dispatcher is installed already, and returns the installed one. Call it on
// the GUI thread once the application object exists and before the first
// port opens; the dispatcher goes away with the application object, after
// the windows and their ports.
UiDispatcher& InstallQtUiDispatcher();

}  // namespace cport
