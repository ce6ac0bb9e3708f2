// The monitor's settings store over a registry file in a temporary directory.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../cport/TempDir.h"
#include "cport/port/ComPort.h"
#include "cport/storage/Registry.h"
#include "cport/storage/RegistryHive.h"
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
         a.AutoLimparLog == b.AutoLimparLog && a.MostrarTempo == b.MostrarTempo &&
         a.MostrarSinais == b.MostrarSinais && a.PastaEvidencias == b.PastaEvidencias;
}

class RegistrySettingsStoreTest : public ::testing::Test {
 protected:
  fs::path File() const { return dir / "RiriredOZ" / "HKEY_LOCAL_MACHINE.reg"; }
  TempDir dir;
  Harness h{dir / "RiriredOZ"};
};

TEST_F(RegistrySettingsStoreTest, TheErrorTextIsAsTheProgramAlwaysHadIt) {
  // A failed load and a failed save show the same fixed text, as it always
  // read, before the error's own message.
  const std::string fixed = "Erro ao salvar configuraþ§es do CTI.Erro: ";
  WriteBytes(File(), kHead + "\"BaudRate\"=\"115200\"\r\n");
  Fixture f;
  h.store.Load(f.settings, f.port);
  WriteBytes(dir / "plain", "");
  Harness blocked(dir / "plain" / "RiriredOZ");
  blocked.store.Save(f.settings, f.port);
  ASSERT_EQ(h.reports.size(), 1u);
  ASSERT_EQ(blocked.reports.size(), 1u);
  EXPECT_EQ(h.reports[0].substr(0, fixed.size()), fixed) << h.reports[0];
  EXPECT_EQ(blocked.reports[0].substr(0, fixed.size()), fixed) << blocked.reports[0];
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
  f.settings = {3, 13, -1, true, false, true, true, false, ""};  // no folder: not written
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
                                   "\"MostrarTempo\"=dword:00000001\r\n"
                                   "\"MostrarSinais\"=dword:00000000\r\n");
  Fixture g;
  g.settings.MostrarSinais = true;
  h.store.Load(g.settings, g.port);
  EXPECT_TRUE(Same(g.settings, f.settings));
  EXPECT_EQ(g.port.Port(), "/dev/ttyUSB0");
  EXPECT_EQ(g.port.BaudRate(), TBaudRate::br115200);
  EXPECT_EQ(g.port.StopBits(), TStopBits::sbTwoStopBits);
  EXPECT_EQ(g.port.DataBits(), TDataBits::dbSeven);
  EXPECT_EQ(g.port.Parity().Bits(), TParityBits::prSpace);
  EXPECT_EQ(h.reports, Strings{});
}

TEST_F(RegistrySettingsStoreTest, TheEvidenceFolderIsAStringWrittenOnceSetAndClearedInPlace) {
  Fixture f;
  h.store.Save(f.settings, f.port);
  const std::string before = ReadBytes(File());
  EXPECT_EQ(before.find("PastaEvidencias"), std::string::npos);
  f.settings.PastaEvidencias = "/home/op/Evid\xC3\xAAncias";
  h.store.Save(f.settings, f.port);
  EXPECT_EQ(ReadBytes(File()).substr(before.size()),
            "\"PastaEvidencias\"=\"/home/op/Evid\xC3\xAAncias\"\r\n");
  Fixture g;
  h.store.Load(g.settings, g.port);
  EXPECT_EQ(g.settings.PastaEvidencias, f.settings.PastaEvidencias);
  // Turned off again: the value stays, empty, and loads as off.
  f.settings.PastaEvidencias.clear();
  h.store.Save(f.settings, f.port);
  EXPECT_EQ(ReadBytes(File()).substr(before.size()), "\"PastaEvidencias\"=\"\"\r\n");
  h.store.Load(g.settings, g.port);
  EXPECT_EQ(g.settings.PastaEvidencias, "");
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

// A hand-edited or damaged value keeps its setting as it was; the values
// after it load all the same. One message names every bad value, one line
// each, with the file's damage after them.
TEST_F(RegistrySettingsStoreTest, ABadValueCostsOnlyItself) {
  struct Case {
    const char* values;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"\"BaudRate\"=\"115200\"\r\n", "Invalid data type for 'BaudRate'"},
      {"\"BaudRate\"=hex(4):0d,00,00,00,00\r\n", "Failed to get data for 'BaudRate'"},
      {"\"BaudRate\"=dword:0000000x\r\n",
       "Failed to get data for 'BaudRate'\nDamaged registry file '" + File().string() +
           "': line 4: value \"BaudRate\" cannot be read"},
      {"\"BaudRate\"=\"115200\"\r\n\"Parity\"=\"1\"\r\n\"Inicio\"=hex:0d\r\n",
       "Invalid data type for 'BaudRate'\nInvalid data type for 'Parity'\n"
       "Invalid data type for 'Inicio'"},
  };
  for (const Case& c : cases) {
    WriteBytes(File(), kHead + c.values +
                           "\"Port\"=\"COM4\"\r\n\"StopBits\"=dword:00000002\r\n"
                           "\"Formato\"=dword:00000001\r\n\"AutoConectar\"=dword:00000001\r\n");
    Fixture f;
    h.reports.clear();
    h.store.Load(f.settings, f.port);
    EXPECT_EQ(h.reports, Strings{kPrefix + c.message});
    EXPECT_EQ(f.port.Port(), "COM4");
    EXPECT_EQ(f.port.BaudRate(), TBaudRate::br9600) << "the bad value keeps its setting";
    EXPECT_EQ(f.port.StopBits(), TStopBits::sbTwoStopBits) << c.values;
    EXPECT_EQ(f.settings.Formato, 1) << c.values;
    EXPECT_TRUE(f.settings.AutoConectar) << c.values;
  }
}

TEST_F(RegistrySettingsStoreTest, AnUnwritableLocationFailsTheSaveAtPort) {
  WriteBytes(dir / "plain", "");
  Harness blocked(dir / "plain" / "RiriredOZ");
  Fixture f;
  blocked.store.Save(f.settings, f.port);
  EXPECT_EQ(blocked.reports,
            Strings{kPrefix + "Failed to set data for 'Port': " +
                    (dir / "plain" / "RiriredOZ" / "HKEY_LOCAL_MACHINE.reg").string() +
                    ": Not a directory"});
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

  EXPECT_EQ(h.reports, Strings{kPrefix + "Failed to set data for 'Port': " + File().string() +
                               ": File too large"});
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
    EXPECT_TRUE(Same(f.settings, MonitorSettings{3, -1, 13, true, false, true, true, true, ""}));
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
  EXPECT_EQ(h.reports, Strings{kPrefix + "Failed to set data for 'Port': " + File().string() +
                               ": Is a directory"});
  EXPECT_TRUE(fs::is_directory(File()));
}

// Runs `run` in a child process as the user `uid` (group `uid`, no other
// groups) and returns what it returned. Needs root.
std::string AsUser(uid_t uid, const std::function<std::string()>& run) {
  int out[2];
  if (::pipe(out) != 0) return "(no pipe)";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    std::string result = "(cannot become the user)";
    if (::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0) result = run();
    for (std::string_view left = result; !left.empty();) {
      const ssize_t n = ::write(out[1], left.data(), left.size());
      if (n <= 0) break;
      left.remove_prefix(static_cast<std::size_t>(n));
    }
    ::_exit(0);
  }
  ::close(out[1]);
  std::string result;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) result.append(buffer, n);
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return result;
}

// The operator's settings file after a run as root with the operator's
// configuration home: owned by root, readable by all. The operator's next run
// gets the settings all the same, and the close says which file it cannot
// write and why. A file the operator may write but does not own (another
// user's, group-writable) is not given away to the operator by a save: it is
// left as it was, and the save says so.
TEST_F(RegistrySettingsStoreTest, AFileTheOperatorMayNotWriteStillLoadsAndTheSaveSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  constexpr uid_t kOperator = 12345;
  WriteBytes(File(), kHead + "\"Port\"=\"COM4\"\r\n\"Formato\"=dword:00000002\r\n");
  fs::permissions(dir.path(),
                  fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  ASSERT_EQ(::chown(File().parent_path().c_str(), kOperator, kOperator), 0);

  auto loadAndSave = [this] {
    Fixture f;
    h.store.Load(f.settings, f.port);
    std::string seen = f.port.Port() + " " + std::to_string(f.settings.Formato) + "|";
    f.settings.Formato = 3;
    h.store.Save(f.settings, f.port);
    for (const std::string& report : h.reports) seen += report;
    return seen;
  };
  const std::string before = ReadBytes(File());
  EXPECT_EQ(AsUser(kOperator, loadAndSave),
            "COM4 2|" + kPrefix + "Failed to set data for 'Port': " + File().string() +
                ": Permission denied");

  ASSERT_EQ(::chown(File().c_str(), 0, kOperator), 0);
  ASSERT_EQ(::chmod(File().c_str(), 0664), 0);
  EXPECT_EQ(AsUser(kOperator, loadAndSave),
            "COM4 2|" + kPrefix + "Failed to set data for 'Port': " + File().string() +
                ": Operation not permitted");
  EXPECT_EQ(ReadBytes(File()), before);
  EXPECT_EQ(fs::status(File()).permissions(), static_cast<fs::perms>(0664));
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(File().parent_path())) {
    left.push_back(entry.path());
  }
  EXPECT_EQ(left, std::vector<fs::path>{File()}) << "no temporary file is left behind";
}

}  // namespace
}  // namespace monitor
