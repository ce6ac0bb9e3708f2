#pragma once
// The application object: Qt's, plus the default exception report. An
// exception that escapes an event handler is shown to the operator with its
// own message, and the program goes on.
#include <QApplication>

class RiriredApplication final : public QApplication {
 public:
  RiriredApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
