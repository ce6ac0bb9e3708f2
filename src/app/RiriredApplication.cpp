#include "app/RiriredApplication.h"

#include "app/UiServices.h"

RiriredApplication::RiriredApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("RiriredOZ"));
  setApplicationDisplayName(QStringLiteral("Ririred OZ"));
}

bool RiriredApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportUncaughtException(std::current_exception());
    return true;
  }
}
