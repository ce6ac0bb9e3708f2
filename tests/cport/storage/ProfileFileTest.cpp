#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "cport/storage/ProfileFile.h"
#include "../TextFileForms.h"

namespace cport {
namespace {

using namespace std::string_literals;

TEST(ProfileFileTest, Get) {
  const std::string text =
      "0x01=before any section\r\n"
      "; [TESTES] in a comment\r\n"
      "\r\n"
      "[TESTES]\r\n"
      "0x01=plain\r\n"
      " \t0x02 \t=\t spaced value \t\r\n"
      "0xab=lower-case key\r\n"
      "0x03=\"double quoted \"\r\n"
      "0x04='single quoted'\r\n"
      "0x05=\"mismatched'\r\n"
      "0x06=\"\r\n"
      "0x07=\r\n"
      "0x08=a=b\r\n"
      "0x09 no equals sign\r\n"
      "0x01=second entry of a key\r\n"
      "0x0A=x\0y\r\n"s
      "[ outra ]\r\n"
      "0x0B=other section\r\n"
      "[testes\r\n"
      "0x0C=repeated section, bracket missing\r\n"
      "0x02=repeated key in a repeated section\r\n"
      "[]\r\n"
      "0x0D=unnamed section\r\n";
  const ProfileFile file = ProfileFile::Parse(text);
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"TESTES", "0x01", "plain"},
      {"testes", "0X01", "plain"},
      {"TESTES", "0x02", "spaced value"},
      {"TESTES", "0xAB", "lower-case key"},
      {"TESTES", "0x03", "double quoted "},
      {"TESTES", "0x04", "single quoted"},
      {"TESTES", "0x05", "\"mismatched'"},
      {"TESTES", "0x06", "\""},
      {"TESTES", "0x07", ""},
      {"TESTES", "0x08", "a=b"},
      {"TESTES", "0x09 no equals sign", std::nullopt},
      {"TESTES", "0x0A", "x\0y"s},
      {"TESTES", "0x0B", std::nullopt},
      {"OUTRA", "0x0B", "other section"},
      {"TESTES", "0x0C", "repeated section, bracket missing"},
      {"", "0x0D", "unnamed section"},
      {"", "0x01", std::nullopt},
      {"ERROS", "0x01", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<std::string_view> value = file.Get(c.section, c.key);
    EXPECT_EQ(value ? std::optional<std::string>(*value) : std::nullopt, c.value)
        << c.section << " " << c.key;
  }
}

TEST(ProfileFileTest, LineBreaksAndEncoding) {
  using enum TextEncoding;
  struct Case {
    std::string text;
    std::size_t lines;
    std::string_view lineBreak;
    TextEncoding encoding;
  };
  const Case cases[] = {
      {"[S]\r\nk=v\r\n", 2, "\r\n", CodePage1252},
      {"[S]\nk=v", 2, "\n", CodePage1252},
      {"[S]\rk=v\r", 2, "\r", CodePage1252},
      {"\xEF\xBB\xBF[S]\n\nk=v\r\n", 3, "\n", Utf8Bom},
      {"[S]\r\n\r\n\nk=v", 4, "\r\n", CodePage1252},
      {"[S]\nk=v\n;\xC3\xA7\xE2\x82\xAC", 3, "\n", Utf8},
      {"[S]\nk=v\n;\xC3\xA7\xE7", 3, "\n", CodePage1252},  // not all of it UTF-8
      {"[S]\nk=v\n;\xC0\xAF", 3, "\n", CodePage1252},      // overlong
      {"[S]\nk=v\n;\xED\xA0\x80", 3, "\n", CodePage1252},  // a surrogate
      {"\xFF\xFE[\0S\0]\0\r\0k\0=\0v\0"s, 2, "\r", Utf16Le},
      {"\xFE\xFF\0[\0S\0]\0\n\0k\0=\0v"s, 2, "\n", Utf16Be},
  };
  for (const Case& c : cases) {
    const ProfileFile file = ProfileFile::Parse(c.text);
    EXPECT_EQ(file.Get("S", "k"), "v") << c.text;
    EXPECT_EQ(file.Lines().size(), c.lines) << c.text;
    EXPECT_EQ(file.LineBreak(), c.lineBreak) << c.text;
    EXPECT_EQ(file.Encoding(), c.encoding) << c.text;
  }
}

// Every form an editor saves reads as the same text (UTF-8 but for a
// Windows-1252 file, whose bytes stay as they are) and, without a Set, is
// written back as the very bytes read, broken forms included.
TEST(ProfileFileTest, ReadsEachEncodingAndWritesItBackUnchanged) {
  using testing::Form;
  const std::u16string text =
      u"; acentua\u00E7\u00E3o\r\n[TESTES]\n0x03=Detec\u00E7\u00E3o de ring\r";
  for (const Form form : testing::kAllForms) {
    const std::string bytes = testing::Encoded(text, form);
    const ProfileFile file = ProfileFile::Parse(bytes);
    EXPECT_EQ(file.Get("TESTES", "0x03"), form == Form::Cp1252 ? "Detec\xE7\xE3o de ring"
                                                               : "Detec\xC3\xA7\xC3\xA3o de ring")
        << static_cast<int>(form);
    EXPECT_EQ(file.Serialize(), bytes) << static_cast<int>(form);
  }
  const std::string broken[] = {
      "\xFF\xFE[\0S\0]\0\n\0\x00\xD8k\0=\0\x00\xDC\x00\xDC\n\0x"s,  // lone surrogates, odd byte
      "\xFE\xFF\xD8\x00\0\n"s,
      "\xEF\xBB\xBF[S]\n\xC3k=\xFF"s,
  };
  for (const std::string& bytes : broken) EXPECT_EQ(ProfileFile::Parse(bytes).Serialize(), bytes);
}

TEST(ProfileFileTest, KeepsEveryLineAsRead) {
  const std::string lines[] = {"; comment",           "",           "[ Serial ]",
                               "  Port = \"COM1\"  ", "stray text", "\x01\xFF=\x80"};
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  const ProfileFile file = ProfileFile::Parse(text);
  ASSERT_EQ(file.Lines().size(), std::size(lines));
  using enum ProfileFile::LineKind;
  const ProfileFile::LineKind kinds[] = {Comment, Empty, Section, Entry, Other, Entry};
  for (std::size_t i = 0; i < std::size(lines); ++i) {
    EXPECT_EQ(file.Lines()[i].text, lines[i]);
    EXPECT_EQ(file.Lines()[i].kind, kinds[i]) << i;
  }
  EXPECT_EQ(file.Lines()[2].Name(), "Serial");
  EXPECT_EQ(file.Lines()[3].Name(), "Port");
  EXPECT_EQ(file.Lines()[3].Value(), "COM1");
}

TEST(ProfileFileTest, SetChangesOnlyWhatItMust) {
  struct Case {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  };
  const Case cases[] = {
      {"replaces the entry Get finds",
       "; c\r\n[S]\r\n  Port = COM1 \r\nX=1\r\n[s]\r\nport=COM9\r\n", "s", "PORT", "COM2",
       "; c\r\n[S]\r\nPORT=COM2\r\nX=1\r\n[s]\r\nport=COM9\r\n"},
      {"adds after the section's last line", "[S]\nA=1\n\n[T]\nB=2\n", "S", "C", "3",
       "[S]\nA=1\nC=3\n\n[T]\nB=2\n"},
      {"adds a section at the end", "\xEF\xBB\xBF[T]\rB=2", "S", "C", "",
       "\xEF\xBB\xBF[T]\rB=2\r[S]\rC=\r"},
      {"to a file without final break", "[S]\r\nA=1", "S", "B", "2", "[S]\r\nA=1\r\nB=2\r\n"},
      {"an empty file", "", "Serial", "Port", "COM1", "[Serial]\r\nPort=COM1\r\n"},
      {"a key in an empty section", "[S]\r\n\r\n[T]\r\n", "S", "K", "v",
       "[S]\r\nK=v\r\n\r\n[T]\r\n"},
      {"keeps bytes it does not understand", "[S]\r\n\x01\xFF junk\r\nA=\x80\r\n", "S", "B", "#10",
       "[S]\r\n\x01\xFF junk\r\nA=\x80\r\nB=#10\r\n"},
      {"keeps each line's own break", "[S]\r\nA=1\nB=2\r[T]\nC=3", "S", "A", "x",
       "[S]\r\nA=x\nB=2\r[T]\nC=3"},
      {"a new line takes the first break", "[S]\nA=1\r\nB=2\r[T]\r\n", "S", "C", "3",
       "[S]\nA=1\r\nB=2\rC=3\n[T]\r\n"},
      {"UTF-16 stays UTF-16", "\xFE\xFF\0[\0S\0]\0\r\0\n\0A\0=\0\xE7"s, "S", "A", "\xC3\xA3",
       "\xFE\xFF\0[\0S\0]\0\r\0\n\0A\0=\0\xE3"s},
  };
  for (const Case& c : cases) {
    ProfileFile file = ProfileFile::Parse(c.before);
    file.Set(c.section, c.key, c.value);
    EXPECT_EQ(file.Serialize(), c.after) << c.what;
    EXPECT_EQ(ProfileFile::Parse(file.Serialize()).Get(c.section, c.key), c.value) << c.what;
  }
  EXPECT_EQ(ProfileFile::Parse("[S]\nA=1").Serialize(), "[S]\nA=1");
}

TEST(ProfileFileTest, SetRefusesTextsThatWouldReadBackOtherwise) {
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"S", "K", "two\nlines"}, {"S\r", "K", "v"}, {"S", "K=", "v"},    {"S", "", "v"},
      {"S", ";K", "v"},         {"S", "[K", "v"},  {"S]", "K", "v"},    {"S", " K", "v"},
      {" S", "K", "v"},         {"S", "K", " v"},  {"S", "K", "\"v\""}, {"S", "K", "'v'"},
  };
  for (const Case& c : cases) {
    ProfileFile file = ProfileFile::Parse("[S]\r\nK=old\r\n");
    EXPECT_THROW(file.Set(c.section, c.key, c.value), std::invalid_argument)
        << c.section << "|" << c.key << "|" << c.value;
    EXPECT_EQ(file.Serialize(), "[S]\r\nK=old\r\n");
  }
}

}  // namespace
}  // namespace cport
