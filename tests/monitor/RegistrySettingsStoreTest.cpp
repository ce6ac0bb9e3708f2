// The monitor's settings store over a registry file in a temporary directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../cport/TempDir.h"
#include "cport/ComPort.h"
#include "cport/Registry.h"
#include "monitor/RegistrySettingsStore.h"

namespace monitor {
namespace {

namespace fs = std::filesystem;
using cport::TBaudRate;
using cport::TDataBits;
using cport::TParityBits;
using cport::TStopBits;
using cport::testing::ReadBytes;
using cport::testing::TempDir;
using cport::testing::WriteBytes;
using Strings = std::vector<std::string>;

const std::string kPrefix = "Erro ao salvar configura\xC3\xBE\xC2\xA7\x65s do CTI.Erro: ";
const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n";

// The settings the window has at start, and the port's design settings.
struct Fixture {
  Fixture() { SetStartDefaults(settings); }
  MonitorSettings settings{};
  cport::TComPort port;
};

struct Harness {
  explicit Harness(fs::path directory)
      : store([this](const std::string& text) { reports.push_back(text); }, std::move(directory)) {}
  Strings reports;
  RegistrySettingsStore store;
};

bool Same(const MonitorSettings& a, const MonitorSettings& b) {
  return a.Formato == b.Formato && a.Inicio == b.Inicio && a.Final == b.Final &&
         a.AutoConectar == b.AutoConectar && a.AutoPageDown == b.AutoPageDown &&
         a.AutoLimparLog == b.AutoLimparLog && a.MostrarTempo == b.MostrarTempo;
}

class RegistrySettingsStoreTest : public ::testing::Test {
 protected:
  fs::path File() const { return dir / "RiriredOZ" / "HKEY_LOCAL_MACHINE.reg"; }
  TempDir dir;
  Harness h{dir / "RiriredOZ"};
};

TEST_F(RegistrySettingsStoreTest, TheErrorTextIsAsTheProgramAlwaysHadIt) {
  EXPECT_EQ(std::string(RegistrySettingsStore::kErrorPrefix), kPrefix);
  EXPECT_EQ(RegistrySettingsStore::kKeyPath, "\\SOFTWARE\\Dravel\\RiriredOZ");
}

TEST_F(RegistrySettingsStoreTest, NothingStoredLoadsNothingAndSaysNothing) {
  for (const char* file : {"", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel]\r\n"}) {
    if (*file) WriteBytes(File(), file);
    Fixture f;
    const MonitorSettings defaults = f.settings;
    h.store.Load(f.settings, f.port);
    EXPECT_TRUE(Same(f.settings, defaults));
    EXPECT_EQ(f.port.Port(), "COM1");
    EXPECT_EQ(f.port.BaudRate(), TBaudRate::br9600);
    EXPECT_EQ(h.reports, Strings{});
  }
}

TEST_F(RegistrySettingsStoreTest, SaveThenLoadGivesEverythingBack) {
  Fixture f;
  f.settings = {3, 13, -1, true, false, true, true};
  f.port.SetPort("/dev/ttyUSB0");
  f.port.SetBaudRate(TBaudRate::br115200);
  f.port.SetStopBits(TStopBits::sbTwoStopBits);
  f.port.SetDataBits(TDataBits::dbSeven);
  f.port.Parity().SetBits(TParityBits::prSpace);
  h.store.Save(f.settings, f.port);
  EXPECT_EQ(h.reports, Strings{});
  EXPECT_EQ(ReadBytes(File()), kHead +
                                   "\"Port\"=\"/dev/ttyUSB0\"\r\n"
                                   "\"BaudRate\"=dword:0000000d\r\n"
                                   "\"StopBits\"=dword:00000002\r\n"
                                   "\"DataBits\"=dword:00000002\r\n"
                                   "\"Parity\"=dword:00000004\r\n"
                                   "\"Formato\"=dword:00000003\r\n"
                                   "\"Inicio\"=dword:0000000d\r\n"
                                   "\"Final\"=dword:ffffffff\r\n"
                                   "\"AutoConectar\"=dword:00000001\r\n"
                                   "\"AutoPageDown\"=dword:00000000\r\n"
                                   "\"AutoLimparLog\"=dword:00000001\r\n"
                                   "\"MostrarTempo\"=dword:00000001\r\n");
  Fixture g;
  h.store.Load(g.settings, g.port);
  EXPECT_TRUE(Same(g.settings, f.settings));
  EXPECT_EQ(g.port.Port(), "/dev/ttyUSB0");
  EXPECT_EQ(g.port.BaudRate(), TBaudRate::br115200);
  EXPECT_EQ(g.port.StopBits(), TStopBits::sbTwoStopBits);
  EXPECT_EQ(g.port.DataBits(), TDataBits::dbSeven);
  EXPECT_EQ(g.port.Parity().Bits(), TParityBits::prSpace);
  EXPECT_EQ(h.reports, Strings{});
}

TEST_F(RegistrySettingsStoreTest, StoredNumbersAndWhatTheyLoadAs) {
  struct Case {
    const char* line;
    std::function<bool(const Fixture&)> check;
  };
  const std::vector<Case> cases = {
      {"\"AutoConectar\"=dword:00000005", [](const Fixture& f) { return f.settings.AutoConectar; }},
      {"\"AutoConectar\"=dword:ffffffff",
       [](const Fixture& f) { return !f.settings.AutoConectar; }},
      {"\"AutoPageDown\"=dword:00000000",
       [](const Fixture& f) { return !f.settings.AutoPageDown; }},
      {"\"Formato\"=dword:00000102", [](const Fixture& f) { return f.settings.Formato == 2; }},
      {"\"Formato\"=dword:00000007", [](const Fixture& f) { return f.settings.Formato == 7; }},
      {"\"Inicio\"=dword:ffffffff", [](const Fixture& f) { return f.settings.Inicio == -1; }},
      {"\"Final\"=dword:80000000", [](const Fixture& f) { return f.settings.Final == INT32_MIN; }},
      {"\"BaudRate\"=dword:0000000d",
       [](const Fixture& f) { return f.port.BaudRate() == TBaudRate::br115200; }},
      {"\"BaudRate\"=dword:00000100",  // lowest 8 bits: brCustom
       [](const Fixture& f) { return f.port.BaudRate() == TBaudRate::brCustom; }},
      // Beyond the enumeration: skipped, the design setting stays.
      {"\"BaudRate\"=dword:00000014",
       [](const Fixture& f) { return f.port.BaudRate() == TBaudRate::br9600; }},
      {"\"Parity\"=dword:00000009",
       [](const Fixture& f) { return f.port.Parity().Bits() == TParityBits::prNone; }},
      {"\"StopBits\"=dword:00000003",
       [](const Fixture& f) { return f.port.StopBits() == TStopBits::sbOneStopBit; }},
      {"\"DataBits\"=dword:00000000",
       [](const Fixture& f) { return f.port.DataBits() == TDataBits::dbFive; }},
      {"\"Port\"=hex(2):43,4f,4d,37,00", [](const Fixture& f) { return f.port.Port() == "COM7"; }},
  };
  for (const Case& c : cases) {
    WriteBytes(File(), kHead + c.line + "\r\n\"MostrarTempo\"=dword:00000001\r\n");
    Fixture f;
    h.store.Load(f.settings, f.port);
    EXPECT_TRUE(c.check(f)) << c.line;
    EXPECT_TRUE(f.settings.MostrarTempo) << c.line << ": the load went on";
    EXPECT_EQ(h.reports, Strings{}) << c.line;
  }
  // A true stored as 5 is saved back as 1.
  WriteBytes(File(), kHead + "\"AutoConectar\"=dword:00000005\r\n");
  Fixture f;
  h.store.Load(f.settings, f.port);
  h.store.Save(f.settings, f.port);
  EXPECT_NE(ReadBytes(File()).find("\"AutoConectar\"=dword:00000001\r\n"), std::string::npos);
}

TEST_F(RegistrySettingsStoreTest, TheFirstBadValueEndsTheLoadWithOneMessage) {
  struct Case {
    const char* values;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"\"BaudRate\"=\"115200\"\r\n", "Invalid data type for 'BaudRate'"},
      {"\"BaudRate\"=hex(4):0d,00,00,00,00\r\n", "Failed to get data for 'BaudRate'"},
      {"\"BaudRate\"=dword:0000000x\r\n", "Failed to get data for 'BaudRate'"},
  };
  for (const Case& c : cases) {
    WriteBytes(File(), kHead + "\"Port\"=\"COM4\"\r\n" + c.values +
                           "\"StopBits\"=dword:00000002\r\n\"Formato\"=dword:00000001\r\n"
                           "\"AutoConectar\"=dword:00000001\r\n");
    Fixture f;
    const MonitorSettings defaults = f.settings;
    h.reports.clear();
    h.store.Load(f.settings, f.port);
    EXPECT_EQ(h.reports, Strings{kPrefix + c.message});
    EXPECT_EQ(f.port.Port(), "COM4") << "read before the error, and kept";
    EXPECT_EQ(f.port.StopBits(), TStopBits::sbOneStopBit);
    EXPECT_TRUE(Same(f.settings, defaults));
  }
  WriteBytes(File(), kHead + "\"Port\"=dword:00000001\r\n");
  h.reports.clear();
  Fixture f;
  h.store.Load(f.settings, f.port);
  EXPECT_EQ(h.reports, Strings{kPrefix + "Invalid data type for 'Port'"});
}

TEST_F(RegistrySettingsStoreTest, AnUnwritableLocationFailsTheSaveAtPort) {
  WriteBytes(dir / "plain", "");
  Harness blocked(dir / "plain" / "RiriredOZ");
  Fixture f;
  blocked.store.Save(f.settings, f.port);
  EXPECT_EQ(blocked.reports, Strings{kPrefix + "Failed to set data for 'Port'"});
  blocked.reports.clear();
  blocked.store.Load(f.settings, f.port);
  EXPECT_EQ(blocked.reports, Strings{});
}

TEST_F(RegistrySettingsStoreTest, AnInterruptedSaveKeepsThePreviousSettings) {
  Fixture f;
  f.settings.Formato = 1;
  h.store.Save(f.settings, f.port);
  const std::string before = ReadBytes(File());

  f.settings.Formato = 2;
  f.port.SetPort(std::string(4000, 'x'));  // the new file outgrows the limit
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 2048;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  h.store.Save(f.settings, f.port);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(h.reports, Strings{kPrefix + "Failed to set data for 'Port'"});
  EXPECT_EQ(ReadBytes(File()), before);
  Fixture g;
  h.reports.clear();
  h.store.Load(g.settings, g.port);
  EXPECT_EQ(g.settings.Formato, 1);
  EXPECT_EQ(h.reports, Strings{});
}

// Settings exported from a bench's registry in either editor format load,
// and saving them again leaves the file as it was, byte for byte, with every
// value and key the monitor does not know.
TEST_F(RegistrySettingsStoreTest, ABenchsExportedSettingsLoadAndSurviveASave) {
  for (const char* name : {"bench_regedit4.reg", "bench_regedit5.reg"}) {
    SCOPED_TRACE(name);
    const std::string exported =
        ReadBytes(fs::path(RIRIRED_SOURCE_DIR) / "tests" / "cport" / "data" / name);
    WriteBytes(File(), exported);
    Fixture f;
    h.store.Load(f.settings, f.port);
    EXPECT_EQ(h.reports, Strings{});
    EXPECT_EQ(f.port.Port(), "COM3");
    EXPECT_EQ(f.port.BaudRate(), TBaudRate::br115200);
    EXPECT_EQ(f.port.StopBits(), TStopBits::sbTwoStopBits);
    EXPECT_EQ(f.port.DataBits(), TDataBits::dbSeven);
    EXPECT_EQ(f.port.Parity().Bits(), TParityBits::prEven);
    EXPECT_TRUE(Same(f.settings, MonitorSettings{3, -1, 13, true, false, true, true}));
    h.store.Save(f.settings, f.port);
    EXPECT_EQ(ReadBytes(File()), exported);

    f.port.SetPort("COM4");
    h.store.Save(f.settings, f.port);
    const cport::RegistryHive after =
        cport::RegistryHive::Parse("HKEY_LOCAL_MACHINE", ReadBytes(File()));
    const cport::RegistryHive before = cport::RegistryHive::Parse("HKEY_LOCAL_MACHINE", exported);
    for (const char* kept : {"Operador", "LogPath", "Portas", "Calibracao", "Contador"}) {
      EXPECT_EQ(*after.FindValue("SOFTWARE\\Dravel\\RiriredOZ", kept),
                *before.FindValue("SOFTWARE\\Dravel\\RiriredOZ", kept))
          << kept;
    }
    EXPECT_EQ(ReadBytes(File()).size(), exported.size());
  }
}

TEST_F(RegistrySettingsStoreTest, ADamagedFileIsReportedOnce) {
  // Damage beside the monitor's values: they load, and one message says
  // where the file is damaged.
  WriteBytes(File(), kHead + "\"Formato\"=dword:00000002\r\n\"Other\"=hex:1\r\n");
  Fixture f;
  h.store.Load(f.settings, f.port);
  EXPECT_EQ(f.settings.Formato, 2);
  ASSERT_EQ(h.reports.size(), 1u);
  EXPECT_EQ(h.reports[0], kPrefix + "Damaged registry file '" + File().string() +
                              "': line 5: value \"Other\" cannot be read");

  // A file that cannot be read at all is reported, and a save leaves it.
  fs::remove(File());
  fs::create_directory(File());
  h.reports.clear();
  h.store.Load(f.settings, f.port);
  ASSERT_EQ(h.reports.size(), 1u);
  EXPECT_TRUE(h.reports[0].starts_with(kPrefix + "Failed to read registry file '")) << h.reports[0];
  h.reports.clear();
  h.store.Save(f.settings, f.port);
  EXPECT_EQ(h.reports, Strings{kPrefix + "Failed to set data for 'Port'"});
  EXPECT_TRUE(fs::is_directory(File()));
}

}  // namespace
}  // namespace monitor
