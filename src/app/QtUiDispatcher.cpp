#include "app/QtUiDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include "cport/UiDispatcher.h"

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
  if (cport::CurrentUiDispatcher() == this) cport::SetUiDispatcher(nullptr);
  // Before the event object closes its descriptor.
  delete notifier_;
}

void QtUiDispatcher::WakeUiThread() noexcept { wake_.Set(); }

cport::UiDispatcher& InstallQtUiDispatcher() {
  if (cport::UiDispatcher* installed = cport::CurrentUiDispatcher()) return *installed;
  auto* dispatcher = new QtUiDispatcher(QCoreApplication::instance());
  cport::SetUiDispatcher(dispatcher);
  return *dispatcher;
}
