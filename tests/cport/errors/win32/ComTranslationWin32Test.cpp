// The pt_BR catalogue reaching a Windows caller: the program's compiled
// catalogue read by the component itself, the language taken from LANG.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../../TempDir.h"
#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"
#include "cport/errors/ComTranslation.h"

namespace cport {
namespace {

namespace fs = std::filesystem;
const fs::path kLocale = fs::path(RIRIRED_BINARY_DIR) / "locale";

class ComTranslationWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* lang = std::getenv("LANG");
    if (lang) saved_ = lang;
  }
  void TearDown() override {
    SetLang(saved_);
    InitComPortMessages(nullptr);
  }
  static void SetLang(const std::string& value) { _putenv_s("LANG", value.c_str()); }

  std::string saved_;
};

TEST_F(ComTranslationWin32, ShowsThePortugueseTextOfAnError) {
  SetLang("pt_BR.UTF-8");
  EXPECT_EQ(ComPortCatalogueLanguage(), "pt_BR");
  InitComPortTranslation(kLocale.string());
  EXPECT_STREQ(EComPort(PortError::OpenFailed, 5).what(),
               "Não foi possível abrir a porta serial (código de erro do sistema: 5)");
  EXPECT_STREQ(EComPort(PortError::OpenFailed).what(), "Não foi possível abrir a porta serial");
}

TEST_F(ComTranslationWin32, FallsBackToTheLanguageAloneThenToEnglish) {
  testing::TempDir dir;
  fs::create_directories(dir / "pt/LC_MESSAGES");
  fs::copy_file(kLocale / "pt_BR/LC_MESSAGES/cport.mo", dir / "pt/LC_MESSAGES/cport.mo");
  SetLang("pt_PT");
  InitComPortTranslation(dir.path().string());
  EXPECT_STREQ(EComPort(PortError::OpenFailed).what(), "Não foi possível abrir a porta serial");

  SetLang("de_DE.UTF-8");
  InitComPortTranslation(kLocale.string());
  EXPECT_STREQ(EComPort(PortError::OpenFailed, 2).what(),
               "Unable to open com port (win error code: 2)");
}

}  // namespace
}  // namespace cport
