// The program's translation set-up with the catalogues the build puts
// beside the executable.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/LogView.h"
#include "app/Translation.h"
#include "app/frRiriredOz.h"
#include "app/UiServices.h"
#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"

namespace {

std::string OpenFailure() {
  return cport::EComPort(cport::PortError::OpenFailed, 2).what();
}

// Runs `read` on the modal window once it shows, and closes it.
void OnModal(const std::function<void(QWidget&)>& read) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, read] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      poll->deleteLater();
      read(*modal);
      modal->close();
    }
  });
  poll->start(5);
}

}  // namespace

TEST(Translation, LanguageIsLangUpToItsFirstDotOrTheUserLocale) {
  EXPECT_EQ(TranslationLanguage("pt_BR.UTF-8", "en_US"), "pt_BR");
  EXPECT_EQ(TranslationLanguage("de_DE", "en_US"), "de_DE");
  EXPECT_EQ(TranslationLanguage("C.UTF-8", "en_US"), "C");
  EXPECT_EQ(TranslationLanguage(std::nullopt, "pt_BR"), "pt_BR");
}

TEST(Translation, PortMessagesFollowTheLanguageAndNumbersStayAsTheyWere) {
  const std::string numericBefore = std::setlocale(LC_NUMERIC, nullptr);

  SetUpTranslation(RIRIRED_BINARY_DIR, TranslationLanguage("pt_BR.UTF-8", ""));
  EXPECT_EQ(OpenFailure(),
            "N\xC3\xA3o foi poss\xC3\xADvel abrir a porta serial (erro do sistema 2: " +
                cport::SystemErrorText(2) + ")");

  SetUpTranslation(RIRIRED_BINARY_DIR, TranslationLanguage("de_DE.UTF-8", ""));
  EXPECT_EQ(OpenFailure(),
            "Unable to open com port (system error 2: " + cport::SystemErrorText(2) + ")");

  EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), numericBefore);
  char number[16];
  std::snprintf(number, sizeof number, "%.1f", 1.5);
  EXPECT_STREQ(number, "1.5");
}

TEST(Translation, QtsOwnTextsAndTheErrorTitleFollowTheLanguage) {
  ASSERT_TRUE(QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                                QStringLiteral("/qtbase_pt_BR.qm")))
      << "Qt's translations (qt6-translations-l10n) are not installed";
  SetUpTranslation(RIRIRED_BINARY_DIR, TranslationLanguage("pt_BR.UTF-8", ""));
  DesktopUiServices desktop;
  QString errorTitle, saveTitle, cancel;
  OnModal([&](QWidget& box) { errorTitle = box.windowTitle(); });
  desktop.ShowError(nullptr, QStringLiteral("x"));
  OnModal([&](QWidget& dialog) {
    saveTitle = dialog.windowTitle();
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
      if (auto* button = buttons->button(QDialogButtonBox::Cancel)) cancel = button->text();
    }
  });
  desktop.AskSaveFileName(nullptr, QStringLiteral("RTF (*.rtf)"), QStringLiteral("rtf"));
  SetUpTranslation(RIRIRED_BINARY_DIR, "en");

  EXPECT_EQ(errorTitle, QStringLiteral("Erro"));
  EXPECT_EQ(saveTitle, QStringLiteral("Salvar como"));
  EXPECT_EQ(cancel, QStringLiteral("Cancelar"));
}

TEST(Translation, TheLogsMenuSpeaksEnglishForAnEnglishLocaleAndPortugueseOtherwise) {
  auto menuTexts = [](const char* language) {
    SetUpTranslation(RIRIRED_BINARY_DIR, language);
    TfrmRiriredOz form{TfrmRiriredOz::Options{}};
    std::unique_ptr<QMenu> menu(form.memSerial->createContextMenu(nullptr));
    QStringList texts;
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator()) texts << action->text();
    }
    return texts.join(QLatin1Char('|'));
  };
  EXPECT_EQ(menuTexts("en_US"),
            QString::fromUtf8("Copy|Select all|Find…|Save selection…|Reset counts|"
                              "Save each test in…|Show line signals"));
  EXPECT_EQ(menuTexts("pt_BR"),
            QString::fromUtf8("Copiar|Selecionar tudo|Localizar…|Salvar seleção…|Zerar contagem|"
                              "Salvar cada teste em…|Mostrar sinais da linha"));
  SetUpTranslation(RIRIRED_BINARY_DIR, "en");
}
