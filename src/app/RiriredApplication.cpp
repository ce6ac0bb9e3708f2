#include "app/RiriredApplication.h"

#include "app/UiServices.h"
#include "cport/errors/ApplicationException.h"

RiriredApplication::RiriredApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("RiriredOZ"));
  setApplicationDisplayName(QStringLiteral("Ririred OZ"));
  // Errors the port component catches itself (a failed close while it is
  // destroyed, say) reach the operator the same way.
  cport::SetApplicationExceptionHandler(
      [](const std::exception& error) { Ui().ReportUncaught(QString::fromUtf8(error.what())); });
}

bool RiriredApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportUncaughtException(std::current_exception());
    return true;
  }
}
