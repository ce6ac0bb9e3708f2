#pragma once
// Test doubles for the desktop: message boxes that record their texts, and a
// question and a save dialog with preset answers.
#include <QString>
#include <QStringList>

#include <optional>

#include "app/UiServices.h"

class FakeUi final : public UiServices {
 public:
  FakeUi() { InstallUiServices(this); }
  ~FakeUi() override { InstallUiServices(nullptr); }

  void ShowError(QWidget*, const QString& text) override { errors << text; }
  void ShowPlain(QWidget*, const QString& text) override { plain << text; }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions << text;
    return yesAnswer;
  }
  std::optional<QString> AskSaveFileName(QWidget*, const QString& filter,
                                         const QString& suffix) override {
    ++saveAsks;
    lastFilter = filter;
    lastSuffix = suffix;
    return saveAnswer;
  }
  void ReportUncaught(const QString& message) override { uncaught << message; }
  std::optional<QString> AskFolder(QWidget*, const QString&) override {
    ++folderAsks;
    return folderAnswer;
  }

  QStringList errors, plain, uncaught, questions;
  bool yesAnswer = false;
  int saveAsks = 0;
  int folderAsks = 0;
  std::optional<QString> folderAnswer;
  std::optional<QString> saveAnswer;
  QString lastFilter, lastSuffix;
};
