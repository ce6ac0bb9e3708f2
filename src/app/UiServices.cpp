#include "app/UiServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <libintl.h>

#include <stdexcept>

namespace {

DesktopUiServices& Desktop() {
  static DesktopUiServices services;
  return services;
}

UiServices* g_services = nullptr;

}  // namespace

void DesktopUiServices::ShowError(QWidget* parent, const QString& text) {
  // The title in the operator's language (the program's catalogue).
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(gettext("Error")), text,
                  QMessageBox::Ok, parent);
  box.exec();
}

void DesktopUiServices::ShowPlain(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, parent);
  box.exec();
}

bool UiServices::AskYesNo(QWidget*, const QString&) { return false; }

std::optional<QString> UiServices::AskFolder(QWidget*, const QString&) { return std::nullopt; }

std::optional<QString> DesktopUiServices::AskFolder(QWidget* parent, const QString& start) {
  const QString folder = QFileDialog::getExistingDirectory(parent, QString(), start);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

bool DesktopUiServices::AskYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

std::optional<QString> DesktopUiServices::AskSaveFileName(QWidget* parent, const QString& filter,
                                                          const QString& defaultSuffix) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

void DesktopUiServices::ReportUncaught(const QString& message) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

UiServices& Ui() { return g_services ? *g_services : Desktop(); }

void InstallUiServices(UiServices* services) { g_services = services; }

void ReportUncaughtException(std::exception_ptr error) {
  QString message;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("Unknown error");
  }
  Ui().ReportUncaught(message);
}
