#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "../cport/TextFileForms.h"
#include "monitor/DescriptionFile.h"

namespace monitor {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class DescriptionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dirTemplate = (fs::temp_directory_path() / "decc-ini-XXXXXX").string();
    ASSERT_NE(mkdtemp(dirTemplate.data()), nullptr);
    dir = dirTemplate;
  }
  void TearDown() override { fs::remove_all(dir); }

  // Rewrites the file in place (same inode), as an editor that saves over it.
  void Write(const std::string& bytes, const fs::path& path = {}) {
    std::ofstream out(path.empty() ? File() : path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  fs::path File() const { return DescriptionFilePath(dir); }

  fs::path dir;
};

TEST_F(DescriptionFileTest, PathIsBesideTheExecutable) {
  EXPECT_EQ(DescriptionFilePath("/opt/riri"), fs::path("/opt/riri/RiriredOz.ini"));
  EXPECT_EQ(DescriptionFilePath("/opt/riri/"), fs::path("/opt/riri/RiriredOz.ini"));
}

TEST_F(DescriptionFileTest, Lookups) {
  Write(
      "[RESULTADOS]\r\n"
      "0x00=In\xED"
      "cio do teste\r\n"
      "0xab = \"lower-case key\" \r\n"
      "0x02=first\r\n"
      "0x02=second\r\n"
      "0x03=x\0y\r\n"s
      "0x04=\r\n"
      "[erros]\n"
      "\t0X05\t=\t'quoted'\n"
      "[OUTRA]\n"
      "0x06=other section\n"
      "[TESTES]\n"
      "0x07=" +
      std::string(3000, 'v') + "\n");
  MonitorIni ini(File());
  struct Case {
    std::string_view section;
    std::uint8_t code;
    std::string value;
  };
  const Case cases[] = {
      {"RESULTADOS", 0x00,
       "In\xED"
       "cio do teste"},
      {"RESULTADOS", 0xAB, "lower-case key"},
      {"RESULTADOS", 0x02, "first"},
      {"RESULTADOS", 0x03, "x"},
      {"RESULTADOS", 0x04, ""},
      {"RESULTADOS", 0x05, "***"},
      {"ERROS", 0x05, "quoted"},
      {"TESTES", 0x06, "***"},
      {"OUTRA", 0x06, "other section"},
      {"outra", 0x07, "***"},
      {"TESTES", 0x07, std::string(2047, 'v')},
      {"NENHUMA", 0x00, "***"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ini.Lookup(c.section, c.code), c.value) << c.section << " " << int{c.code};
  }
}

TEST_F(DescriptionFileTest, UnreadableFilesDescribeNothing) {
  MonitorIni ini(File());
  EXPECT_EQ(ini.Lookup("RESULTADOS", 0), "***");  // missing
  fs::create_directory(File());
  EXPECT_EQ(ini.Lookup("RESULTADOS", 0), "***");
  fs::remove(File());
  ASSERT_EQ(mkfifo(File().c_str(), 0600), 0);  // must not block
  EXPECT_EQ(ini.Lookup("RESULTADOS", 0), "***");
  fs::remove(File());
  Write("[RESULTADOS]\n0x00=back\n");
  EXPECT_EQ(ini.Lookup("RESULTADOS", 0), "back");
  fs::remove(File());
  EXPECT_EQ(ini.Lookup("RESULTADOS", 0), "***");
}

TEST_F(DescriptionFileTest, CreatingTheReaderDoesNotReadTheFile) {
  MonitorIni ini(File());
  Write("[TESTES]\n0x01=created later\n");
  EXPECT_EQ(ini.ReadCount(), 0u);
  EXPECT_EQ(ini.Lookup("TESTES", 1), "created later");
}

TEST_F(DescriptionFileTest, EditTakesEffectAtTheNextLookup) {
  MonitorIni ini(File());
  Write("[TESTES]\n0x01=AAAA\n");
  EXPECT_EQ(ini.Lookup("TESTES", 1), "AAAA");
  Write("[TESTES]\n0x01=BBBB\n");  // same size, at once
  EXPECT_EQ(ini.Lookup("TESTES", 1), "BBBB");
  const fs::path saved = dir / "saved.tmp";
  Write("[TESTES]\n0x01=CCCC\n", saved);
  fs::rename(saved, File());  // a new file put in place
  EXPECT_EQ(ini.Lookup("TESTES", 1), "CCCC");
}

// The decoder's lookups for one frame share one look at the file: an edit
// made between them shows with the next frame, and lookups outside a frame
// still look every time.
TEST_F(DescriptionFileTest, EditTakesEffectWithTheNextFrame) {
  MonitorIni ini(File());
  Write("[TESTES]\n0x01=AAAA\n[ERROS]\n0x02=first\n");
  ini.BeginFrame();
  EXPECT_EQ(ini.Lookup("TESTES", 1), "AAAA");
  Write("[TESTES]\n0x01=BBBB\n[ERROS]\n0x02=second, longer\n");
  EXPECT_EQ(ini.Lookup("ERROS", 2), "first");
  ini.EndFrame();
  ini.BeginFrame();
  EXPECT_EQ(ini.Lookup("ERROS", 2), "second, longer");
  fs::remove(File());
  EXPECT_EQ(ini.Lookup("TESTES", 1), "BBBB");
  ini.EndFrame();
  EXPECT_EQ(ini.Lookup("TESTES", 1), "***");
  EXPECT_EQ(ini.ReadCount(), 2u);
}

// A file system whose clock ticks coarsely (FAT: two seconds) can give two
// edits the same times; only a change older than a tick can be trusted.
TEST_F(DescriptionFileTest, FreshlyChangedFileIsReadAtEveryLookup) {
  MonitorIni ini(File());
  Write("[TESTES]\n0x01=AAAA\n");
  EXPECT_EQ(ini.Lookup("TESTES", 1), "AAAA");
  EXPECT_EQ(ini.Lookup("TESTES", 1), "AAAA");
  EXPECT_EQ(ini.ReadCount(), 2u);
}

TEST_F(DescriptionFileTest, SettledFileIsReusedUntilItChanges) {
  // A clock an hour ahead makes every change look long settled.
  MonitorIni ini(File(), [] {
    std::timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    now.tv_sec += 3600;
    return now;
  });
  Write("[TESTES]\n0x01=AAAA\n");
  EXPECT_EQ(ini.Lookup("TESTES", 1), "AAAA");
  EXPECT_EQ(ini.Lookup("TESTES", 1), "AAAA");
  EXPECT_EQ(ini.ReadCount(), 1u);
  struct stat before {};
  ASSERT_EQ(stat(File().c_str(), &before), 0);
  // Same size, and the modification time put back: the change time moves.
  Write("[TESTES]\n0x01=BBBB\n");
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, File().c_str(), times, 0), 0);
  EXPECT_EQ(ini.Lookup("TESTES", 1), "BBBB");
  EXPECT_EQ(ini.ReadCount(), 2u);
}

TEST_F(DescriptionFileTest, Utf8FileWithByteOrderMarkIsConverted) {
  Write(
      "\xEF\xBB\xBF[RESULTADOS]\r\n0x00=In\xC3\xAD"
      "cio \xE2\x82\xAC \xE6\x97\xA5 \xC3\r\n");
  MonitorIni ini(File());
  EXPECT_EQ(ini.Lookup("RESULTADOS", 0),
            "In\xED"
            "cio \x80 ? ?");
}

// "Unicode" from the Windows editor (UTF-16 with its mark), UTF-8 from any
// other, or Windows-1252: the same description comes out as the same
// Windows-1252 bytes, the log's character set.
TEST_F(DescriptionFileTest, ReadsTheFileAsTheTextItIs) {
  using cport::testing::Form;
  const std::u16string text =
      u"; Descri\u00E7\u00F5es\r\n[TESTES]\r\n0x03=Detec\u00E7\u00E3o de ring\r\n"
      u"[ERROS]\r\n0x05 = \"Sinal FSK n\u00E3o detectado\"\r\n";
  for (const Form form : cport::testing::kAllForms) {
    SCOPED_TRACE(static_cast<int>(form));
    Write(cport::testing::Encoded(text, form));
    MonitorIni ini(File());
    EXPECT_EQ(ini.Lookup("TESTES", 3), "Detec\xE7\xE3o de ring");
    EXPECT_EQ(ini.Lookup("ERROS", 5), "Sinal FSK n\xE3o detectado");
    if (form == Form::Cp1252) continue;
    // Beyond Latin-1: the euro sign has a Windows-1252 byte, the others none.
    Write(cport::testing::Encoded(u"[TESTES]\n0x01=\u20AC \u65E5 \u0153\u2019", form));
    EXPECT_EQ(ini.Lookup("TESTES", 1), "\x80 ? \x9C\x92");
  }
  // Windows-1252 that happens to hold a valid UTF-8 pair somewhere stays
  // Windows-1252 as long as the rest is not UTF-8.
  Write("[TESTES]\n0x03=Detec\xE7\xE3o\n0x04=\xC3\xA7\n");
  MonitorIni ini(File());
  EXPECT_EQ(ini.Lookup("TESTES", 3), "Detec\xE7\xE3o");
  EXPECT_EQ(ini.Lookup("TESTES", 4), "\xC3\xA7");
}

// The 2047-character cut counts characters, not the bytes of their UTF-8
// or UTF-16 forms.
TEST_F(DescriptionFileTest, LongValuesOfAUnicodeFileAreCutAtCharacters) {
  Write(cport::testing::Encoded(u"[TESTES]\n0x01=" + std::u16string(3000, u'\u00E7'),
                                cport::testing::Form::Utf16Le));
  EXPECT_EQ(MonitorIni(File()).Lookup("TESTES", 1), std::string(2047, '\xE7'));
}

TEST_F(DescriptionFileTest, ShippedExampleDescribesTheFixtureCodes) {
  MonitorIni ini(fs::path(RIRIRED_SOURCE_DIR) / "data" / kDescriptionFileName);
  EXPECT_EQ(ini.Lookup("RESULTADOS", 0x00),
            "In\xED"
            "cio do teste");
  EXPECT_EQ(ini.Lookup("TESTES", 0x03), "Detec\xE7\xE3o de ring");
  const struct {
    std::string_view section;
    int first, last;
  } described[] = {{"RESULTADOS", 0, 5}, {"TESTES", 1, 10}, {"ERROS", 1, 8}};
  for (const auto& d : described) {
    for (int code = 0; code < 256; ++code) {
      const std::string text = ini.Lookup(d.section, static_cast<std::uint8_t>(code));
      EXPECT_EQ(text != "***", code >= d.first && code <= d.last) << d.section << " " << code;
      EXPECT_EQ(text.find('\xC3'), std::string::npos) << "UTF-8 in " << text;
    }
  }
}

// The code-indexed tables must agree with the general reader on any bytes.
TEST_F(DescriptionFileTest, RandomFilesAgreeWithTheGeneralReader) {
  std::mt19937 rng(7);
  int described = 0;
  const std::string sections[] = {"[RESULTADOS]", "[resultados ]", " [TESTES",
                                  "[ERROS]",      "[X]",           "["};
  const std::string keys[] = {"0x0A", "0xaa", "0XA0", "0x00", "0x0f", "0xA", "0x0A0", ""};
  const std::string blanks[] = {"", " ", "\t", " \t "};
  const std::string values[] = {"v", "\"q\"", "'q", "''", "a=b", "\0z"s, "\xFF\x81", ";c"};
  const std::string breaks[] = {"\r\n", "\n", "\r"};
  auto any = [&](const auto& list) { return list[rng() % std::size(list)]; };
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    for (int n = static_cast<int>(rng() % 40); n-- > 0;) {
      switch (rng() % 8) {
        case 0:
          bytes += any(sections);
          break;
        case 1:
          bytes += ";" + any(keys) + "=" + any(values);
          break;
        case 2:
          bytes += std::string(1 + rng() % 6, static_cast<char>(rng()));
          break;
        default:
          bytes += any(blanks) + any(keys) + any(blanks) + "=" + any(blanks) + any(values) +
                   any(values) + any(blanks);
      }
      bytes += any(breaks);
    }
    if (bytes.starts_with("\xEF")) bytes.insert(0, "\n");  // no byte order mark here
    Write(bytes);
    MonitorIni ini(File());
    const cport::ProfileFile file = cport::ProfileFile::Parse(bytes);
    for (std::string_view section : {"RESULTADOS", "TESTES", "ERROS", "X"}) {
      for (int code : {0x00, 0x0A, 0xA0, 0xAA, 0x0F}) {
        char key[8];
        std::snprintf(key, sizeof key, "0x%02X", code);
        const std::optional<std::string_view> value = file.Get(section, key);
        const std::string expected =
            value ? std::string(value->substr(0, value->find('\0'))) : "***";
        ASSERT_EQ(ini.Lookup(section, static_cast<std::uint8_t>(code)), expected)
            << section << " " << key << " round " << round;
        described += value.has_value();
      }
    }
  }
  EXPECT_GT(described, 500);
}

}  // namespace
}  // namespace monitor
