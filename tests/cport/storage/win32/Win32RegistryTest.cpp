// The registry object on the system's own registry (Wine's, here): what it
// writes is there for RegQueryValueEx, with the types and texts a Windows
// program of the bench reads.
// The roots' names are macros of <windows.h>, which comes after.
#include "cport/storage/Registry.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace cport {
namespace {

class Win32Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = "Software\\RiriredOZ-test\\" + std::to_string(::GetCurrentProcessId());
    ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
  }
  void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }

  // The value as the system holds it.
  DWORD RawType(const char* name, std::wstring* text = nullptr) const {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return REG_NONE;
    }
    wchar_t data[256] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = REG_NONE;
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    const LONG status = ::RegQueryValueExW(key, wide.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return REG_NONE;
    if (text) *text = data;
    return type;
  }

  std::string key_;
};

TEST_F(Win32Registry, WritesTheSystemsRegistryAndReadsItBack) {
  Registry reg;
  ASSERT_FALSE(reg.OpenKey("\\" + key_, false)) << "a missing key is not made unasked";
  ASSERT_TRUE(reg.OpenKey("\\" + key_, true));
  reg.WriteString("Port", "COM5");
  reg.WriteString("Name", "Cora\xe7\xe3o");  // "Coração" in Windows-1252
  reg.WriteInteger("BaudRate", -1);
  // On the system at once, before the key is closed.
  std::wstring text;
  EXPECT_EQ(RawType("Port", &text), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(text, L"COM5");
  EXPECT_EQ(RawType("Name", &text), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(text, L"Cora\u00e7\u00e3o");
  EXPECT_EQ(RawType("BaudRate"), static_cast<DWORD>(REG_DWORD));
  reg.CloseKey();

  Registry again;
  EXPECT_TRUE(again.KeyExists("\\" + key_));
  ASSERT_TRUE(again.OpenKeyReadOnly("\\" + key_));
  EXPECT_EQ(again.ReadString("Port"), "COM5");
  EXPECT_EQ(again.ReadString("Name"), "Cora\xe7\xe3o");
  EXPECT_EQ(again.ReadInteger("BaudRate"), -1);
  EXPECT_EQ(again.ReadString("Missing"), "");
  EXPECT_FALSE(again.ValueExists("Missing"));
  EXPECT_TRUE(again.FileProblem().empty());
}

TEST_F(Win32Registry, RaisesTheRegistrysErrors) {
  Registry reg;
  ASSERT_TRUE(reg.OpenKey("\\" + key_, true));
  reg.WriteString("Text", "9600");
  reg.WriteInteger("Number", 7);
  auto message = [&](auto call) -> std::string {
    try {
      call();
    } catch (const RegistryError& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_EQ(message([&] { reg.ReadInteger("Absent"); }), "Failed to get data for 'Absent'");
  EXPECT_EQ(message([&] { reg.ReadInteger("Text"); }), "Invalid data type for 'Text'");
  EXPECT_EQ(message([&] { reg.ReadString("Number"); }), "Invalid data type for 'Number'");
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\" + key_));
  EXPECT_EQ(message([&] { reg.WriteString("Text", "x"); }), "Failed to set data for 'Text'");
  EXPECT_EQ(reg.ReadString("Text"), "9600") << "a refused write changes nothing";
}

}  // namespace
}  // namespace cport
