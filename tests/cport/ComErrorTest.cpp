#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cport/ComError.h"
#include "cport/ComMessages.h"

namespace cport {
namespace {

// Restores the English table after a test that installs a translator.
class ComErrorTest : public ::testing::Test {
 protected:
  void TearDown() override { InitComPortMessages(nullptr); }
};

TEST_F(ComErrorTest, MessageWithSystemCodeEndsWithTheFilledSuffix) {
  struct Case {
    PortError code;
    std::int32_t system;
    const char* message;
  };
  const Case cases[] = {
      {PortError::OpenFailed, 2, "Unable to open com port (win error code: 2)"},
      {PortError::WriteFailed, 5, "WriteFile function failed (win error code: 5)"},
      {PortError::ReadFailed, -7, "ReadFile function failed (win error code: -7)"},
      {PortError::RegistryError, 0, "Registry error (win error code: 0)"},
      {PortError::SetupCommFailed, 2147483647,
       "SetupComm function failed (win error code: 2147483647)"},
  };
  for (const auto& c : cases) {
    const EComPort e(c.code, c.system);
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.SystemErrorCode(), c.system);
    EXPECT_EQ(e.PortErrorCode(), static_cast<int>(c.code));
  }
}

TEST_F(ComErrorTest, MessageWithoutSystemCodeIsTheEntryAlone) {
  const EComPort invalid(PortError::InvalidAsync);
  EXPECT_STREQ(invalid.what(), "Invalid Async parameter");
  EXPECT_EQ(invalid.SystemErrorCode(), -1);
  EXPECT_EQ(invalid.PortErrorCode(), 4);
  const EComPort connected(PortError::SetWhileConnected);
  EXPECT_STREQ(connected.what(), "Cannot set property while connected");
  EXPECT_EQ(connected.PortErrorCode(), 14);
}

TEST_F(ComErrorTest, TheTableHoldsAll23EntriesInCodeOrder) {
  EXPECT_EQ(ComPortEnglishMessage(0), nullptr);
  EXPECT_EQ(ComPortEnglishMessage(24), nullptr);
  EXPECT_STREQ(ComPortEnglishMessage(6), "Unable to get async status");
  EXPECT_STREQ(ComPortEnglishMessage(11), "GetCommModemStatus function failed");
  EXPECT_STREQ(ComPortEnglishMessage(19), "Cannot change led state if ComPort is selected");
  EXPECT_STREQ(ComPortEnglishMessage(22), "A component is linked to OnRxBuf event");
  EXPECT_EQ(static_cast<int>(PortError::RegistryError), 23);
  for (int code = 1; code <= kComPortMessageCount; ++code) {
    EXPECT_STREQ(EComPort(static_cast<PortError>(code)).what(), ComPortEnglishMessage(code));
  }
}

TEST_F(ComErrorTest, EntriesAreTranslatedOnceAndTheSuffixAtEveryError) {
  std::vector<std::string> asked;
  std::string suffix = " (erro %d)";
  InitComPortMessages([&](const char* english) -> std::string {
    asked.emplace_back(english);
    if (std::string(english) == "Unable to open com port") return "Falha ao abrir";
    if (std::string(english) == kSystemCodeSuffix) return suffix;
    return english;
  });
  EXPECT_EQ(asked.size(), 23u) << "the table is filled once, entry by entry";
  asked.clear();

  EXPECT_STREQ(EComPort(PortError::OpenFailed, 2).what(), "Falha ao abrir (erro 2)");
  suffix = " [codigo %d]";
  EXPECT_STREQ(EComPort(PortError::OpenFailed, 5).what(), "Falha ao abrir [codigo 5]");
  EXPECT_STREQ(EComPort(PortError::OpenFailed).what(), "Falha ao abrir");
  EXPECT_EQ(asked, (std::vector<std::string>{kSystemCodeSuffix, kSystemCodeSuffix}))
      << "only the suffix is looked up per error";
}

TEST_F(ComErrorTest, CatalogueTextIsNeverAFormatString) {
  EXPECT_EQ(FillSystemCode("a %s %d %x %d 100%%", 7), "a %s 7 %x %d 100%");
  EXPECT_EQ(FillSystemCode("no code", 7), "no code");
  EXPECT_EQ(FillSystemCode("ends with %", 7), "ends with %");
  InitComPortMessages([](const char* english) -> std::string {
    return std::string(english) == kSystemCodeSuffix ? " (%s%n %d)" : english;
  });
  EXPECT_STREQ(EComPort(PortError::PurgeFailed, 9).what(), "PurgeComm function failed (%s%n 9)");
}

}  // namespace
}  // namespace cport
