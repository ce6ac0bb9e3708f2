#include "cport/qt/QtUiDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "cport/dispatch/UiDispatcher.h"

namespace cport {

// The event object is an eventfd on Linux: readable while set, which is what
// a read notifier watches. (A Windows build would watch its event handle
// with a QWinEventNotifier instead.)
QtUiDispatcher::QtUiDispatcher(QObject* parent) : QObject(parent) {
  notifier_ = new QSocketNotifier(wake_.Handle(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    // Reset before draining: a call queued after the reset sets it again and
    // brings us back; one queued before it is in this drain.
    wake_.Reset();
    Drain();
  });
}

QtUiDispatcher::~QtUiDispatcher() {
  if (CurrentUiDispatcher() == this) SetUiDispatcher(nullptr);
  // Before the event object closes its descriptor.
  delete notifier_;
}

void QtUiDispatcher::WakeUiThread() noexcept { wake_.Set(); }

UiDispatcher& InstallQtUiDispatcher() {
  if (UiDispatcher* installed = CurrentUiDispatcher()) return *installed;
  auto* dispatcher = new QtUiDispatcher(QCoreApplication::instance());
  SetUiDispatcher(dispatcher);
  return *dispatcher;
}

}  // namespace cport
