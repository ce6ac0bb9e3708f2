// Program entry: the command line (before anything needs a display), the
// application with its default exception report, the translator, the main
// window, the signals that close it, and the event loop until it closes.
#include <QLocale>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/CommandLine.h"
#include "app/QuitOnSignals.h"
#include "app/RiriredApplication.h"
#include "app/Translation.h"
#include "app/UiServices.h"
#include "app/frRiriredOz.h"
#include "monitor/RegistrySettingsStore.h"

int main(int argc, char** argv) {
  // --help, --version and mistakes are answered here, with no display.
  const CommandLine commandLine = ParseProgramArgs(argc, argv);
  if (commandLine.exitStatus) {
    std::fputs(commandLine.standardOutput.c_str(), stdout);
    std::fputs(commandLine.standardError.c_str(), stderr);
    return *commandLine.exitStatus;
  }
  RiriredApplication app(argc, argv);
  // After the application: its construction resets the C locale, and the
  // translator keeps numbers formatted the C way.
  const char* lang = std::getenv("LANG");
  SetUpTranslation(QCoreApplication::applicationDirPath().toStdString(),
                   TranslationLanguage(lang ? std::optional<std::string_view>(lang) : std::nullopt,
                                       QLocale::system().name().toStdString()));
  // The stored options and port settings (HKEY_LOCAL_MACHINE.reg under the
  // user's configuration); their errors go to the error message box, over the
  // window once it exists.
  QWidget* owner = nullptr;
  // Before the window: a signal while a message box of its start is open
  // ends the run as well.
  QuitOnSignals quitOnSignals;
  monitor::RegistrySettingsStore store(
      [&owner](const std::string& text) { Ui().ShowError(owner, QString::fromStdString(text)); });
  TfrmRiriredOz::Options options;
  options.store = &store;
  // What the command line sets for this run, never stored by itself.
  options.overrides = commandLine.overrides;
  TfrmRiriredOz frmRiriredOz(std::move(options));
  owner = &frmRiriredOz;
  quitOnSignals.SetWindow(&frmRiriredOz);
  if (quitOnSignals.Requested()) return 0;  // closed already: settings saved
  frmRiriredOz.ShowAtStart();
  app.exec();
  return 0;
}
