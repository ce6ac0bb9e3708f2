// Program entry: the application with its default exception report, the
// translator, the main window, and the event loop until that window closes.
#include <QLocale>

#include <cstdlib>
#include <optional>
#include <string_view>

#include "app/RiriredApplication.h"
#include "app/Translation.h"
#include "app/frRiriredOz.h"

int main(int argc, char** argv) {
  RiriredApplication app(argc, argv);
  // After the application: its construction resets the C locale, and the
  // translator keeps numbers formatted the C way.
  const char* lang = std::getenv("LANG");
  SetUpTranslation(QCoreApplication::applicationDirPath().toStdString(),
                   TranslationLanguage(lang ? std::optional<std::string_view>(lang) : std::nullopt,
                                       QLocale::system().name().toStdString()));
  TfrmRiriredOz frmRiriredOz;
  frmRiriredOz.showMaximized();
  app.exec();
  return 0;
}
