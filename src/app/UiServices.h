#pragma once
// What the main window asks of the desktop beyond its own widgets: modal
// message boxes, a yes/no question, the save-file dialog, and the
// application's default report of an error that no handler caught. Behind an
// interface so that tests preset the answers and read what would have been
// shown.
#include <QString>

#include <exception>
#include <optional>

class QWidget;

class UiServices {
 public:
  virtual ~UiServices() = default;

  // "Error" caption, error icon, one OK button.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // No caption of its own, no icon, one OK button.
  virtual void ShowPlain(QWidget* parent, const QString& text) = 0;
  // "Question" icon, Yes and No buttons; true for Yes. Services that ask
  // nobody (a benchmark's) answer No.
  virtual bool AskYesNo(QWidget* parent, const QString& text);
  // The save dialog: proposes `defaultSuffix` for names typed without one.
  // Empty when the operator cancels.
  virtual std::optional<QString> AskSaveFileName(QWidget* parent, const QString& filter,
                                                 const QString& defaultSuffix) = 0;
  // The application's default exception report: a message box with the
  // error's own message; the program goes on.
  virtual void ReportUncaught(const QString& message) = 0;
  // The folder dialog, opened at `start`; empty when the operator cancels.
  // Services that ask nobody answer nothing.
  virtual std::optional<QString> AskFolder(QWidget* parent, const QString& start);
};

// The real message boxes and file dialog.
class DesktopUiServices final : public UiServices {
 public:
  void ShowError(QWidget* parent, const QString& text) override;
  void ShowPlain(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
  std::optional<QString> AskSaveFileName(QWidget* parent, const QString& filter,
                                         const QString& defaultSuffix) override;
  void ReportUncaught(const QString& message) override;
  std::optional<QString> AskFolder(QWidget* parent, const QString& start) override;
};

// The services the program uses; DesktopUiServices unless a test installs
// its own. Never null.
UiServices& Ui();
void InstallUiServices(UiServices* services);  // nullptr restores the desktop ones

// Shows an exception that left a handler through the default report. The
// one place that turns an exception into the text the operator reads.
void ReportUncaughtException(std::exception_ptr error);

// Runs a handler and hands whatever it throws to the default report, so an
// uncaught failure never unwinds through Qt's event dispatch.
template <typename Handler>
void RunGuarded(Handler&& handler) {
  try {
    handler();
  } catch (...) {
    ReportUncaughtException(std::current_exception());
  }
}
