// The component's gettext set-up with catalogues compiled from
// tests/cport/data by msgfmt, in a locale set-up that works whether or not
// the pt_BR locale is installed: LC_MESSAGES "C.UTF-8" plus LANGUAGE.
#include <gtest/gtest.h>
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"
#include "cport/errors/ComTranslation.h"

namespace cport {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

// gettext keeps translations it has found; a new current domain (even the
// same one again) makes it look afresh after LANGUAGE changed.
void ForgetCachedTranslations() { textdomain(textdomain(nullptr)); }

class ComTranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("cport-translation-" + std::to_string(getpid()));
    const fs::path messages = dir_ / "pt_BR" / "LC_MESSAGES";
    fs::create_directories(messages);
    const fs::path data = fs::path(RIRIRED_SOURCE_DIR) / "tests" / "cport" / "data";
    Compile(data / "cport_test.po", messages / "cport.mo");
    Compile(data / "program_test.po", messages / "cport_program_test.mo");

    savedLanguage_ = Env("LANGUAGE");
    savedMessages_ = std::setlocale(LC_MESSAGES, nullptr);
    savedDomain_ = textdomain(nullptr);
    savedNumeric_ = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_MESSAGES, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
    setenv("LANGUAGE", "pt_BR", 1);
    ForgetCachedTranslations();
  }

  void TearDown() override {
    InitComPortMessages(nullptr);
    textdomain(savedDomain_.c_str());
    std::setlocale(LC_MESSAGES, savedMessages_.c_str());
    Restore("LANGUAGE", savedLanguage_);
    ForgetCachedTranslations();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static void Compile(const fs::path& po, const fs::path& mo) {
    const std::string command = "msgfmt -o '" + mo.string() + "' '" + po.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  fs::path dir_;
  std::optional<std::string> savedLanguage_;
  std::string savedMessages_;
  std::string savedDomain_;
  std::string savedNumeric_;
};

TEST_F(ComTranslationTest, TranslatesEntriesOnceAndTheSuffixAtEveryError) {
  InitComPortTranslation(dir_.string());
  EXPECT_EQ(EComPort(PortError::OpenFailed, 2).what(),
            "Não foi possível abrir a porta (teste) (erro 2: " + SystemErrorText(2) + ")");
  EXPECT_STREQ(EComPort(PortError::OpenFailed).what(), "Não foi possível abrir a porta (teste)");
  EXPECT_EQ(EComPort(PortError::WriteFailed, -5).what(),
            "WriteFile function failed (erro -5: " + SystemErrorText(-5) + ")")
      << "an entry without translation stays English";

  // Another language from now on: the table keeps what it was filled with,
  // the suffix follows at once.
  setenv("LANGUAGE", "de", 1);
  ForgetCachedTranslations();
  EXPECT_EQ(EComPort(PortError::OpenFailed, 2).what(),
            "Não foi possível abrir a porta (teste) (system error 2: " + SystemErrorText(2) + ")");
  EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), savedNumeric_)
      << "number formatting is left alone";
}

TEST_F(ComTranslationTest, TheCurrentDomainComesBeforeCport) {
  bindtextdomain("cport_program_test", dir_.c_str());
  bind_textdomain_codeset("cport_program_test", "UTF-8");
  textdomain("cport_program_test");
  InitComPortTranslation(dir_.string());
  EXPECT_STREQ(EComPort(PortError::RegistryError).what(), "Erro de registro (programa)");
  EXPECT_STREQ(EComPort(PortError::OpenFailed).what(), "Não foi possível abrir a porta (teste)");
}

TEST_F(ComTranslationTest, WithoutACatalogueEverythingStaysEnglish) {
  setenv("LANGUAGE", "de_DE", 1);
  ForgetCachedTranslations();
  InitComPortTranslation(dir_.string());
  EXPECT_EQ(EComPort(PortError::OpenFailed, 2).what(),
            "Unable to open com port (system error 2: " + SystemErrorText(2) + ")");
  InitComPortTranslation((dir_ / "missing").string());
  setenv("LANGUAGE", "pt_BR", 1);
  ForgetCachedTranslations();
  EXPECT_EQ(EComPort(PortError::RegistryError, 3).what(),
            "Registry error (system error 3: " + SystemErrorText(3) + ")");
}

TEST_F(ComTranslationTest, TheCLocaleIgnoresLanguage) {
  std::setlocale(LC_MESSAGES, "C");
  ForgetCachedTranslations();
  InitComPortTranslation(dir_.string());
  EXPECT_STREQ(EComPort(PortError::OpenFailed).what(), "Unable to open com port");
}

}  // namespace
}  // namespace cport
