#pragma once
// Shows each distinct failure of an action repeated at every click once: the
// settings are saved whenever an option changes, and a full disk must not
// pop a box at each of them.
//
// While Run() runs the action, the filter stands in for Ui(): an error text
// equal to the last one it let through is dropped, everything else passes
// on to the services that were installed. A run that shows no error forgets
// the last text, so a failure that comes back after a success is shown again.
//
// User-interface thread only.
#include <QString>

#include <functional>

#include "app/UiServices.h"

class RepeatedErrorFilter final : public UiServices {
 public:
  void Run(const std::function<void()>& action);

  void ShowError(QWidget* parent, const QString& text) override;
  void ShowPlain(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
  std::optional<QString> AskSaveFileName(QWidget* parent, const QString& filter,
                                         const QString& defaultSuffix) override;
  void ReportUncaught(const QString& message) override;

 private:
  UiServices* next_ = nullptr;  // while running
  QString last_shown_;
  bool error_in_run_ = false;
};
