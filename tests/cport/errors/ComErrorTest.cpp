#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"

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
#if defined(_WIN32)
      // GetLastError codes, in the wording Windows callers know.
      {PortError::OpenFailed, 2, "Unable to open com port (win error code: 2)"},
      {PortError::ReadFailed, -7, "ReadFile function failed (win error code: -7)"},
      {PortError::SetupCommFailed, 2147483647,
       "SetupComm function failed (win error code: 2147483647)"},
#else
      {PortError::OpenFailed, 2,
       "Unable to open com port (system error 2: No such file or directory)"},
      {PortError::WriteFailed, 5, "WriteFile function failed (system error 5: Input/output error)"},
      {PortError::ReadFailed, -7, "ReadFile function failed (system error -7: Unknown error -7)"},
      {PortError::RegistryError, 13, "Registry error (system error 13: Permission denied)"},
      {PortError::SetupCommFailed, 2147483647,
       "SetupComm function failed (system error 2147483647: Unknown error 2147483647)"},
#endif
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
  EXPECT_EQ(static_cast<int>(PortError::RegistryError), 23);
  const char* const texts[] = {"Unable to open com port",
                               "WriteFile function failed",
                               "ReadFile function failed",
                               "Invalid Async parameter",
                               "PurgeComm function failed",
                               "Unable to get async status",
                               "SetCommState function failed",
                               "SetCommTimeouts failed",
                               "SetupComm function failed",
                               "ClearCommError function failed",
                               "GetCommModemStatus function failed",
                               "EscapeCommFunction function failed",
                               "TransmitCommChar function failed",
                               "Cannot set property while connected",
                               "EnumPorts function failed",
                               "Failed to store settings",
                               "Failed to load settings",
                               "Link (un)registration failed",
                               "Cannot change led state if ComPort is selected",
                               "Cannot wait for event if event thread is created",
                               "WaitForEvent method failed",
                               "A component is linked to OnRxBuf event",
                               "Registry error"};
  ASSERT_EQ(std::size(texts), static_cast<std::size_t>(kComPortMessageCount));
  for (int code = 1; code <= kComPortMessageCount; ++code) {
    EXPECT_STREQ(ComPortEnglishMessage(code), texts[code - 1]) << code;
    EXPECT_STREQ(EComPort(static_cast<PortError>(code)).what(), texts[code - 1]) << code;
  }
}

TEST_F(ComErrorTest, EntriesAreTranslatedOnceAndTheSuffixAtEveryError) {
  std::vector<std::string> asked;
  std::string suffix = " (erro %d)";  // a translation may leave the system text out
  InitComPortMessages([&](const char* english) -> std::string {
    asked.emplace_back(english);
    if (std::string(english) == "Unable to open com port") return "Falha ao abrir";
    if (std::string(english) == kSystemCodeSuffix) return suffix;
    return english;
  });
  EXPECT_EQ(asked.size(), 23u) << "the table is filled once, entry by entry";
  asked.clear();

  EXPECT_STREQ(EComPort(PortError::OpenFailed, 2).what(), "Falha ao abrir (erro 2)");
  suffix = " [%s, codigo %d]";  // or put it first
  EXPECT_EQ(EComPort(PortError::OpenFailed, 5).what(),
            "Falha ao abrir [" + SystemErrorText(5) + ", codigo 5]");
  EXPECT_STREQ(EComPort(PortError::OpenFailed).what(), "Falha ao abrir");
  EXPECT_EQ(asked, (std::vector<std::string>{kSystemCodeSuffix, kSystemCodeSuffix}))
      << "only the suffix is looked up per error";
}

TEST_F(ComErrorTest, CatalogueTextIsNeverAFormatString) {
  EXPECT_EQ(FillSystemCode("a %s %d %x %d %s 100%%", 7, "t%d%s"), "a t%d%s 7 %x %d %s 100%");
  EXPECT_EQ(FillSystemCode("no code", 7, "text"), "no code");
  EXPECT_EQ(FillSystemCode("ends with %", 7), "ends with %");
  InitComPortMessages([](const char* english) -> std::string {
    return std::string(english) == kSystemCodeSuffix ? " (%n %d %s %s)" : english;
  });
  EXPECT_EQ(EComPort(PortError::PurgeFailed, 9).what(),
            "PurgeComm function failed (%n 9 " + SystemErrorText(9) + " %s)");
}

}  // namespace
}  // namespace cport
