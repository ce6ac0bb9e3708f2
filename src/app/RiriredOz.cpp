// Program entry: the application with its default exception report, the
// translator, the main window, and the event loop until that window closes.
#include <QLocale>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/RiriredApplication.h"
#include "app/Translation.h"
#include "app/UiServices.h"
#include "app/frRiriredOz.h"
#include "monitor/RegistrySettingsStore.h"

int main(int argc, char** argv) {
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
  monitor::RegistrySettingsStore store(
      [&owner](const std::string& text) { Ui().ShowError(owner, QString::fromStdString(text)); });
  TfrmRiriredOz::Options options;
  options.store = &store;
  TfrmRiriredOz frmRiriredOz(std::move(options));
  owner = &frmRiriredOz;
  frmRiriredOz.ShowAtStart();
  app.exec();
  return 0;
}
