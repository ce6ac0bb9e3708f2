// The registry file format: both editor formats, writing back untouched what
// is not changed, and damaged files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../TempDir.h"
#include "cport/storage/RegistryHive.h"

namespace cport {
namespace {

using testing::ReadBytes;

constexpr std::string_view kKey = "SOFTWARE\\Dravel\\RiriredOZ";
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

std::string Fixture(std::string_view name) {
  return ReadBytes(std::string(RIRIRED_SOURCE_DIR) + "/tests/cport/data/" + std::string(name));
}

std::string Dword(std::uint32_t v) {
  std::string d;
  for (int i = 0; i < 4; ++i) d += static_cast<char>((v >> (8 * i)) & 0xFF);
  return d;
}

std::string Sz(std::string_view text) { return std::string(text) + '\0'; }

// ASCII text as UTF-16LE, for building and comparing "Version 5.00" files.
std::string Utf16(std::string_view ascii) {
  std::string out;
  for (const char c : ascii) out += {c, '\0'};
  return out;
}

struct Expected {
  std::string_view name;
  RegistryValue value;
};

// What both exports of the bench hold under the monitor's key.
std::vector<Expected> BenchValues() {
  std::string calibration;
  for (int i = 0; i < 40; ++i) calibration += static_cast<char>(i);
  return {
      {"Port", {kRegSz, Sz("COM3")}},
      {"BaudRate", {kRegDword, Dword(13)}},
      {"Parity", {kRegDword, Dword(2)}},
      {"Inicio", {kRegDword, Dword(0xFFFFFFFF)}},
      {"MostrarTempo", {kRegDword, Dword(1)}},
      {"Operador", {kRegSz, Sz("Jo\xE3o \"Bancada 2\" C:\\CTI")}},
      {"LogPath", {kRegExpandSz, Sz("%SystemRoot%\\cti.log")}},
      {"Portas", {kRegMultiSz, std::string("COM1\0COM2\0\0", 11)}},
      {"Calibracao", {kRegBinary, calibration}},
      {"Contador", {kRegQword, std::string("\x01\0\0\0\0\0\0\0", 8)}},
  };
}

TEST(RegistryHive, ReadsBothFormatsOfTheRegistryEditor) {
  for (const std::string_view file : {"bench_regedit4.reg", "bench_regedit5.reg"}) {
    SCOPED_TRACE(file);
    const RegistryHive hive = RegistryHive::Parse(std::string(kRoot), Fixture(file));
    EXPECT_EQ(hive.ProblemCount(), 0u) << (hive.Problems().empty() ? "" : hive.Problems()[0]);
    EXPECT_EQ(hive.UnicodeFormat(), file == "bench_regedit5.reg");
    for (const Expected& e : BenchValues()) {
      const RegistryValue* v = hive.FindValue(kKey, e.name);
      ASSERT_NE(v, nullptr) << e.name;
      EXPECT_EQ(*v, e.value) << e.name;
    }
    // Names and paths match without regard to case; keys of another root and
    // the parent keys are no values of this one.
    EXPECT_NE(hive.FindValue("software\\dravel\\ririredoz", "BAUDRATE"), nullptr);
    EXPECT_TRUE(hive.KeyExists("SOFTWARE"));
    EXPECT_TRUE(hive.KeyExists("\\SOFTWARE\\Dravel\\"));
    EXPECT_FALSE(hive.KeyExists("Software\\Dravel\\RiriredOZ\\Sub"));
    EXPECT_FALSE(hive.KeyExists("SOFTWARE\\Drav"));
    const RegistryHive user = RegistryHive::Parse("HKEY_CURRENT_USER", Fixture(file));
    ASSERT_NE(user.FindValue("Software\\Dravel\\RiriredOZ", "Port"), nullptr);
    EXPECT_EQ(user.FindValue("Software\\Dravel\\RiriredOZ", "Port")->data, Sz("COM9"));
    EXPECT_EQ(user.FindValue(kKey, "BaudRate"), nullptr);
  }
}

TEST(RegistryHive, WritesBackOnlyTheLinesOfChangedValues) {
  struct Case {
    std::string_view file;
    bool unicode;
  };
  for (const Case c : {Case{"bench_regedit4.reg", false}, Case{"bench_regedit5.reg", true}}) {
    SCOPED_TRACE(c.file);
    const std::string original = Fixture(c.file);
    RegistryHive hive = RegistryHive::Parse(std::string(kRoot), original);
    EXPECT_EQ(hive.Serialize(), original);

    hive.SetValue(kKey, "port", {kRegSz, Sz("COM4")});
    hive.SetValue(kKey, "Inicio", {kRegDword, Dword(0x41)});
    auto text = [&](std::string_view ascii) {
      return c.unicode ? Utf16(ascii) : std::string(ascii);
    };
    std::string expected = original;
    auto replace = [&](std::string_view from, std::string_view to) {
      const std::size_t at = expected.find(text(from));
      ASSERT_NE(at, std::string::npos) << from;
      expected.replace(at, text(from).size(), text(to));
    };
    // The name is written as the caller gives it.
    replace("\"Port\"=\"COM3\"", "\"port\"=\"COM4\"");
    replace("\"Inicio\"=dword:ffffffff", "\"Inicio\"=dword:00000041");
    EXPECT_EQ(hive.Serialize(), expected);

    // A new value goes after the last line of its key's section, a new key
    // to the end; both read back.
    hive.SetValue(kKey, "Novo", {kRegDword, Dword(5)});
    hive.SetValue("SOFTWARE\\Dravel\\Outro", "", {kRegSz, Sz("x")});
    const std::string written = hive.Serialize();
    const std::string contador = text("\"Contador\"=hex(b):01,00,00,00,00,00,00,00\r\n");
    EXPECT_NE(written.find(contador + text("\"Novo\"=dword:00000005\r\n\r\n[HKEY_CURRENT_USER")),
              std::string::npos);
    EXPECT_TRUE(
        written.ends_with(text("\"Port\"=\"COM9\"\r\n\r\n\r\n[HKEY_LOCAL_"
                               "MACHINE\\SOFTWARE\\Dravel\\Outro]\r\n@=\"x\"\r\n")));
    const RegistryHive again = RegistryHive::Parse(std::string(kRoot), written);
    EXPECT_EQ(again.ProblemCount(), 0u);
    EXPECT_EQ(again.FindValue(kKey, "Novo")->data, Dword(5));
    EXPECT_EQ(again.FindValue(kKey, "Port")->data, Sz("COM4"));
    EXPECT_EQ(again.FindValue("SOFTWARE\\Dravel\\Outro", "")->data, Sz("x"));
    for (const Expected& e : BenchValues()) {
      if (e.name != "Port" && e.name != "Inicio") {
        EXPECT_EQ(*again.FindValue(kKey, e.name), e.value);
      }
    }
  }
}

TEST(RegistryHive, WritesEveryTypeSoThatItReadsBack) {
  std::string longData;
  for (int i = 0; i < 100; ++i) longData += static_cast<char>(i * 7);
  const std::vector<Expected> values = {
      {"Text", {kRegSz, Sz("a \"quoted\" \\ back\xE7\x80")}},
      {"Lines", {kRegSz, Sz("two\r\nlines")}},  // written as hex(1)
      {"Expand", {kRegExpandSz, Sz("%TEMP%\\x")}},
      {"Multi", {kRegMultiSz, std::string("a\0b\0\0", 5)}},
      {"Long", {kRegBinary, longData}},
      {"Odd", {kRegDword, std::string("\x07\x01", 2)}},
      {"Type", {0x20000, "\xFF"}},
      {"Empty", {kRegBinary, ""}},
  };
  for (const std::string_view start :
       {std::string_view("REGEDIT4\r\n"),
        std::string_view("\xFF\xFEW\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0"
                         "s\0t\0r\0y\0 \0E\0d\0i\0t\0o\0r\0 \0V\0e\0r\0"
                         "s\0i\0o\0n\0 \x00"
                         "5\0.\0"
                         "0\0"
                         "0\0\r\0\n\0",
                         78)}) {
    RegistryHive hive = RegistryHive::Parse(std::string(kRoot), start);
    ASSERT_EQ(hive.ProblemCount(), 0u) << hive.Problems()[0];
    for (const Expected& e : values) hive.SetValue(kKey, e.name, e.value);
    const RegistryHive again = RegistryHive::Parse(std::string(kRoot), hive.Serialize());
    EXPECT_EQ(again.ProblemCount(), 0u) << again.Problems()[0];
    EXPECT_EQ(again.UnicodeFormat(), hive.UnicodeFormat());
    for (const Expected& e : values) {
      ASSERT_NE(again.FindValue(kKey, e.name), nullptr) << e.name;
      EXPECT_EQ(*again.FindValue(kKey, e.name), e.value) << e.name;
    }
  }
}

TEST(RegistryHive, ReadsAsTheEditorImports) {
  const std::string text =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"X\"=\"1\"\r\n\"Y\"=\"1\"\r\n\"X\"=\"2\"\r\n"
      "\"Y\"=-\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Sub]\r\n\"Z\"=\"1\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n\"Z\"=\"1\"\r\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n"
      "[hkey_local_machine\\software\\a]\r\n\"W\"=\"1\"\r\n";
  const RegistryHive hive = RegistryHive::Parse(std::string(kRoot), text);
  EXPECT_EQ(hive.ProblemCount(), 0u);
  EXPECT_EQ(hive.FindValue("SOFTWARE\\A", "X")->data, Sz("2"));  // the later line wins
  EXPECT_EQ(hive.FindValue("SOFTWARE\\A", "Y"), nullptr);        // deleted
  EXPECT_NE(hive.FindValue("SOFTWARE\\A", "W"), nullptr);        // sections add up
  EXPECT_NE(hive.FindValue("SOFTWARE\\A\\Sub", "Z"), nullptr);
  EXPECT_FALSE(hive.KeyExists("SOFTWARE\\B"));  // deleted with its values

  // A value of a deleted key that is written again gets a section of its own.
  RegistryHive changed = hive;
  changed.SetValue("SOFTWARE\\B", "Z", {kRegSz, Sz("3")});
  const RegistryHive again = RegistryHive::Parse(std::string(kRoot), changed.Serialize());
  EXPECT_EQ(again.FindValue("SOFTWARE\\B", "Z")->data, Sz("3"));
  EXPECT_EQ(again.FindValue("SOFTWARE\\A", "X")->data, Sz("2"));
}

struct Damage {
  std::string_view what;
  std::string text;
  std::vector<std::string_view> damaged;   // found, marked damaged
  std::vector<std::string_view> readable;  // found with its data
};

TEST(RegistryHive, DamagedLinesAreReportedAndTheRestIsRead) {
  const std::string head =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n"
      "\"Port\"=\"COM1\"\r\n";
  const std::vector<Damage> cases = {
      {"cut in a continued hex line", head + "\"Blob\"=hex:01,02,\\\r\n", {"Blob"}, {"Port"}},
      {"continuation into a new value",
       head + "\"Blob\"=hex:01,\\\r\n\"X\"=\"1\"\r\n",
       {"Blob"},
       {"Port", "X"}},
      {"cut inside a dword on the last line",
       head + "\"BaudRate\"=dword:0000",
       {"BaudRate"},
       {"Port"}},
      {"cut inside hex digits", head + "\"Blob\"=hex:01,0", {"Blob"}, {"Port"}},
      {"cut inside a text", head + "\"Name\"=\"CO", {"Name"}, {"Port"}},
      {"dword too long", head + "\"BaudRate\"=dword:000000007\r\n", {"BaudRate"}, {"Port"}},
      {"bad digit", head + "\"BaudRate\"=dword:0000000g\r\n", {"BaudRate"}, {"Port"}},
      {"unknown form",
       head + "\"BaudRate\"=word:7\r\n\"Parity\"=dword:00000001\r\n",
       {"BaudRate"},
       {"Port", "Parity"}},
      {"bad type number", head + "\"Blob\"=hex(zz):01\r\n", {"Blob"}, {"Port"}},
      {"text after the quote", head + "\"Name\"=\"a\"b\r\n", {"Name"}, {"Port"}},
      {"garbage lines", head + "\x01\x02garbage\r\n=\r\n\"X\"=\"1\"\r\n", {}, {"Port", "X"}},
      {"key without bracket",
       head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\r\n\"X\"=\"1\"\r\n",
       {},
       {"Port"}},
      {"no header",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n\"Port\"=\"COM1\"\r\n",
       {},
       {"Port"}},
      {"empty file", "", {}, {}},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    RegistryHive hive = RegistryHive::Parse(std::string(kRoot), c.text);
    EXPECT_GT(hive.ProblemCount(), 0u);
    for (const std::string_view name : c.damaged) {
      ASSERT_NE(hive.FindValue(kKey, name), nullptr) << name;
      EXPECT_TRUE(hive.FindValue(kKey, name)->damaged) << name;
    }
    for (const std::string_view name : c.readable) {
      ASSERT_NE(hive.FindValue(kKey, name), nullptr) << name;
      EXPECT_FALSE(hive.FindValue(kKey, name)->damaged) << name;
    }
    // Writing a damaged value repairs it; the damaged rest stays as it was.
    hive.SetValue(kKey, "Port", {kRegSz, Sz("COM2")});
    for (const std::string_view name : c.damaged) hive.SetValue(kKey, name, {kRegDword, Dword(1)});
    const std::string written = hive.Serialize();
    EXPECT_TRUE(written.starts_with("REGEDIT4\r\n"));
    const RegistryHive again = RegistryHive::Parse(std::string(kRoot), written);
    EXPECT_EQ(again.FindValue(kKey, "Port")->data, Sz("COM2"));
    for (const std::string_view name : c.damaged)
      EXPECT_FALSE(again.FindValue(kKey, name)->damaged);
  }
}

TEST(RegistryHive, ByteOrderMarksOtherThanTheEditorsAreReadAndKept) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n\"Port\"=\"COM7\"\r\n";
  std::string big = "\xFE\xFF";
  for (const char c : text) big += {'\0', c};
  const std::string noMark = Utf16(text);
  const std::string utf8 = "\xEF\xBB\xBF" + text;
  struct Case {
    std::string_view what;
    std::string bytes;
    bool problem;
  };
  for (const Case& c :
       {Case{"UTF-16 big-endian", big, false}, Case{"UTF-16 without mark", noMark, true},
        Case{"UTF-8 with mark", utf8, false}}) {
    SCOPED_TRACE(c.what);
    RegistryHive hive = RegistryHive::Parse(std::string(kRoot), c.bytes);
    EXPECT_EQ(hive.ProblemCount() > 0, c.problem);
    ASSERT_NE(hive.FindValue(kKey, "Port"), nullptr);
    EXPECT_EQ(hive.FindValue(kKey, "Port")->data, Sz("COM7"));
    hive.SetValue(kKey, "Port", {kRegSz, Sz("COM8")});
    const RegistryHive again = RegistryHive::Parse(std::string(kRoot), hive.Serialize());
    EXPECT_EQ(again.ProblemCount(), 0u);  // a lost mark is put back
    EXPECT_EQ(again.Encoding(), hive.Encoding());
    EXPECT_EQ(again.FindValue(kKey, "Port")->data, Sz("COM8"));
  }
}

// A file cut at any byte (an interrupted copy, a full disk of a foreign
// tool) never yields a wrong value: each value is whole, marked damaged, or
// not there.
TEST(RegistryHive, AFileCutAnywhereNeverGivesAWrongValue) {
  for (const std::string_view file : {"bench_regedit4.reg", "bench_regedit5.reg"}) {
    SCOPED_TRACE(file);
    const std::string bytes = Fixture(file);
    for (std::size_t size = 0; size <= bytes.size(); ++size) {
      const RegistryHive hive = RegistryHive::Parse(std::string(kRoot), bytes.substr(0, size));
      for (const Expected& e : BenchValues()) {
        const RegistryValue* v = hive.FindValue(kKey, e.name);
        if (v && !v->damaged) {
          ASSERT_EQ(*v, e.value) << e.name << " cut at " << size;
        }
      }
    }
  }
}

// A stray byte anywhere in a UTF-16 file (a damaged copy) puts every later
// code unit out of step; a value saved into such a file must still be read
// back, so what is written after the damage starts on a code unit again.
TEST(RegistryHive, AValueSavedIntoAUtf16FileWithAStrayByteReadsBack) {
  const std::string bytes = Fixture("bench_regedit5.reg");
  for (std::size_t at = 2; at <= bytes.size(); ++at) {
    std::string damaged = bytes;
    damaged.insert(at, 1, 'd');
    // Into a key of its own (a section at the end) and into the file's key
    // (a line after the key's last line, which the stray byte may have hit).
    for (const std::string_view key : {std::string_view("SOFTWARE\\Saved"), kKey}) {
      RegistryHive hive = RegistryHive::Parse(std::string(kRoot), damaged);
      hive.SetValue(key, "Saved", {kRegSz, Sz("COM9")});
      const RegistryHive saved = RegistryHive::Parse(std::string(kRoot), hive.Serialize());
      const RegistryValue* port = saved.FindValue(key, "Saved");
      ASSERT_NE(port, nullptr) << key << ", stray byte at " << at;
      EXPECT_EQ(port->data, Sz("COM9")) << key << ", stray byte at " << at;
    }
  }
}

// A key line without its ']' ends the section before it, as the editor reads
// it: a value added to that section goes before the damaged line, not into the
// lines after it, which belong to no key.
TEST(RegistryHive, AValueAddedBeforeADamagedKeyLineReadsBack) {
  RegistryHive hive = RegistryHive::Parse(std::string(kRoot),
                                          "REGEDIT4\r\n\r\n"
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n"
                                          "\"Port\"=\"COM1\"\r\n"
                                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\r\n"
                                          "\"Lost\"=\"x\"\r\n");
  hive.SetValue(kKey, "Saved", {kRegSz, Sz("COM9")});
  const RegistryHive saved = RegistryHive::Parse(std::string(kRoot), hive.Serialize());
  ASSERT_NE(saved.FindValue(kKey, "Saved"), nullptr) << hive.Serialize();
  EXPECT_EQ(saved.FindValue(kKey, "Saved")->data, Sz("COM9"));
  EXPECT_EQ(saved.FindValue(kKey, "Lost"), nullptr);
}

TEST(RegistryHive, AnyBytesParseWithoutHarm) {
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  const std::string sample = Fixture("bench_regedit4.reg");
  for (int round = 0; round < 300; ++round) {
    std::string bytes = sample;
    // Flip some bytes and sometimes start with a byte order mark.
    for (int i = 0; i < 8; ++i) bytes[next() % bytes.size()] = static_cast<char>(next() >> 16);
    if (round % 3 == 1) bytes.insert(0, "\xFF\xFE");
    if (round % 3 == 2) bytes.insert(0, "\xFE\xFF");
    RegistryHive hive = RegistryHive::Parse(std::string(kRoot), bytes);
    hive.SetValue(kKey, "Port", {kRegSz, Sz("COM5")});
    const RegistryHive again = RegistryHive::Parse(std::string(kRoot), hive.Serialize());
    ASSERT_NE(again.FindValue(kKey, "Port"), nullptr) << round;
    EXPECT_EQ(again.FindValue(kKey, "Port")->data, Sz("COM5")) << round;
  }
}

}  // namespace
}  // namespace cport
