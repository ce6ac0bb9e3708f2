#include "app/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <memory>

#include "cport/errors/ComTranslation.h"

namespace {

// Qt's catalogue of the language, installed on the application; none when
// Qt has no file for the language.
void SetUpQtTranslation(const std::string& language) {
  // Owned by the application, which may have deleted it since.
  static QPointer<QTranslator> installed;
  auto* app = QCoreApplication::instance();
  if (!app) return;
  delete installed.data();  // removes itself from the application
  auto translator = std::make_unique<QTranslator>(app);
  // load() tries qtbase_pt_BR.qm, then qtbase_pt.qm.
  if (translator->load(QStringLiteral("qtbase_") + QString::fromStdString(language),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(translator.get())) {
    installed = translator.release();
  }
}

}  // namespace

std::string TranslationLanguage(std::optional<std::string_view> lang,
                                std::string_view userLocale) {
  if (!lang) return std::string(userLocale);
  return std::string(lang->substr(0, lang->find('.')));
}

void SetUpTranslation(const std::filesystem::path& executableDir, const std::string& language) {
  // gettext follows LANGUAGE unless the messages locale is "C", and the
  // language's own locale may not be generated on this machine. C.UTF-8 is
  // always there: with it LANGUAGE alone names the catalogue, whatever
  // LC_ALL or LC_MESSAGES say. No other category is touched.
  if (!std::setlocale(LC_MESSAGES, "C.UTF-8")) std::setlocale(LC_MESSAGES, "");
  // glibc tries "pt" by itself after "pt_BR"; both are named to be plain.
  std::string languages = language;
  if (language.size() > 2) languages += ":" + language.substr(0, 2);
  setenv("LANGUAGE", languages.c_str(), 1);

  const std::string localeDir = (executableDir / "locale").string();
  bindtextdomain("default", localeDir.c_str());
  bind_textdomain_codeset("default", "UTF-8");
  textdomain("default");  // also makes a changed LANGUAGE take effect
  cport::InitComPortTranslation(localeDir);
  SetUpQtTranslation(language);
}
