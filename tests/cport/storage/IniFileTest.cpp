#include "cport/storage/IniFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "../TempDir.h"
#include "../TextFileForms.h"

namespace cport {
namespace {

using testing::Form;

// An ini file saved as "Unicode" by the Windows editor, or as UTF-8 by any
// other, is read, and one write changes that one line and leaves every other
// byte (the mark, the encoding, each line's break) as it was.
TEST(IniFileTest, AWriteKeepsTheFileInItsEncoding) {
  const std::u16string before =
      u"; Configura\u00E7\u00E3o \u65E5\u672C\r\n"
      u"[Serial]\r\n"
      u"Port=COM1\n"
      u"BaudRate=9600\r\n"
      u"\r\n"
      u"[Opera\u00E7\u00E3o]\r\n"
      u"Nome = \u201CJo\u00E3o\u201D \u65E5\r";
  const std::u16string after =
      u"; Configura\u00E7\u00E3o \u65E5\u672C\r\n"
      u"[Serial]\r\n"
      u"Port=Porta \u00E9\u20AC\n"
      u"BaudRate=9600\r\n"
      u"Parity=None\r\n"
      u"\r\n"
      u"[Opera\u00E7\u00E3o]\r\n"
      u"Nome = \u201CJo\u00E3o\u201D \u65E5\r";
  for (const Form form : {Form::Utf16Le, Form::Utf16Be, Form::Utf8, Form::Utf8Bom}) {
    SCOPED_TRACE(static_cast<int>(form));
    testing::TempDir dir;
    const auto file = dir / "port.ini";
    std::ofstream(file, std::ios::binary) << testing::Encoded(before, form);
    IniFile ini(file);
    EXPECT_EQ(ini.ReadInteger("Serial", "BaudRate", 0), 9600);
    // Windows-1252 on the interface; '?' for what it lacks.
    EXPECT_EQ(ini.ReadString("Opera\xE7\xE3o", "Nome", ""), "\x93Jo\xE3o\x94 ?");
    ini.WriteString("Serial", "Port", "Porta \xE9\x80");
    ini.WriteString("Serial", "Parity", "None");
    EXPECT_EQ(testing::ReadBytes(file), testing::Encoded(after, form));
    EXPECT_EQ(IniFile(file).ReadString("Serial", "Port", ""), "Porta \xE9\x80");
  }
}

}  // namespace
}  // namespace cport
