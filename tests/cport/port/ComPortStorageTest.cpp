// The port's settings storage over an ini file and over the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../RecordingPort.h"
#include "../TempDir.h"

#include "cport/port/ComPort.h"
#include "cport/storage/IniFile.h"
#include "cport/storage/Registry.h"

#if defined(_WIN32)
// After the component's headers: the registry roots' names are macros here.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace cport {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::RecordingPort;
using testing::TempDir;
using testing::WriteBytes;
using Strings = std::vector<std::string>;
using enum SettingGroup;

constexpr SettingGroupSet kAllGroups = {sgBasic,    sgFlowDetails,   sgBuffer,
                                        sgTimeouts, sgParityDetails, sgOther};
constexpr const char* kKey = "\\SOFTWARE\\Bench\\Port";

// Every stored setting of a port, for comparing two ports.
Strings Settings(const TCustomComPort& p) {
  const TComFlowControl& f = p.FlowControl();
  const TComTimeouts& t = p.Timeouts();
  return {
      p.Port(),
      std::to_string(static_cast<int>(p.BaudRate())),
      std::to_string(p.CustomBaudRate()),
      std::to_string(static_cast<int>(p.StopBits())),
      std::to_string(static_cast<int>(p.DataBits())),
      std::to_string(static_cast<int>(p.Parity().Bits())),
      std::to_string(p.Parity().Check()) + std::to_string(p.Parity().Replace()) +
          std::to_string(static_cast<int>(static_cast<unsigned char>(p.Parity().ReplaceChar()))),
      std::to_string(static_cast<int>(static_cast<unsigned char>(p.EventChar()))),
      std::to_string(p.DiscardNull()),
      std::to_string(p.Buffer().InputSize()) + "/" + std::to_string(p.Buffer().OutputSize()),
      std::to_string(t.ReadInterval()) + "/" + std::to_string(t.ReadTotalConstant()) + "/" +
          std::to_string(t.ReadTotalMultiplier()) + "/" + std::to_string(t.WriteTotalConstant()) +
          "/" + std::to_string(t.WriteTotalMultiplier()),
      std::to_string(static_cast<int>(f.ControlRTS())) +
          std::to_string(static_cast<int>(f.ControlDTR())) + std::to_string(f.DSRSensitivity()) +
          std::to_string(f.OutCTSFlow()) + std::to_string(f.OutDSRFlow()) +
          std::to_string(f.TxContinueOnXoff()) + std::to_string(f.XonXoffIn()) +
          std::to_string(f.XonXoffOut()),
      std::to_string(static_cast<int>(f.XonChar())) + "/" +
          std::to_string(static_cast<int>(f.XoffChar()))};
}

// A port with no setting at its default.
void ChangeEverything(TCustomComPort& p) {
  p.SetPort("/dev/ttyUSB3");
  p.SetBaudRate(TBaudRate::brCustom);
  p.SetCustomBaudRate(31250);
  p.SetStopBits(TStopBits::sbTwoStopBits);
  p.SetDataBits(TDataBits::dbSeven);
  p.Parity().SetBits(TParityBits::prMark);
  p.Parity().SetCheck(true);
  p.Parity().SetReplace(true);
  p.Parity().SetReplaceChar('\xFE');
  p.SetEventChar('\n');
  p.SetDiscardNull(true);
  p.Buffer().SetInputSize(4096);
  p.Buffer().SetOutputSize(2048);
  p.Timeouts().SetReadInterval(5);
  p.Timeouts().SetReadTotalConstant(6);
  p.Timeouts().SetReadTotalMultiplier(7);
  p.Timeouts().SetWriteTotalConstant(8);
  p.Timeouts().SetWriteTotalMultiplier(9);
  TComFlowControl& f = p.FlowControl();
  f.SetControlRTS(TRTSFlowControl::rtsToggle);
  f.SetControlDTR(TDTRFlowControl::dtrHandshake);
  f.SetDSRSensitivity(true);
  f.SetOutCTSFlow(true);
  f.SetOutDSRFlow(true);
  f.SetTxContinueOnXoff(true);
  f.SetXonXoffIn(true);
  f.SetXonXoffOut(true);
  f.SetXonChar('A');
  f.SetXoffChar('\x01');
}

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

// One store of either kind, over files in a temporary directory.
class Store {
 public:
  virtual ~Store() = default;
  virtual void Save(TCustomComPort& port) = 0;
  virtual void Load(TCustomComPort& port) = 0;
  // The value names in the store, in file order.
  virtual Strings Names() = 0;
  // `written`, in the order Names() gives values written in that order.
  virtual Strings InStoreOrder(Strings written) { return written; }
  virtual std::string Value(const std::string& name) = 0;
  virtual void Remove(const std::string& name) = 0;
  virtual const char* Kind() const = 0;

 protected:
  TempDir dir;
};

class IniStore final : public Store {
 public:
  void Save(TCustomComPort& port) override {
    IniFile ini(File());
    port.StoreToIniFile(ini);
  }
  void Load(TCustomComPort& port) override {
    IniFile ini(File());
    port.LoadFromIniFile(ini);
  }
  Strings Names() override {
    Strings names;
    const ProfileFile file = ProfileFile::Parse(ReadBytes(File()));
    for (const auto& line : file.Lines()) {
      if (line.kind == ProfileFile::LineKind::Entry) names.emplace_back(line.Name());
    }
    return names;
  }
  std::string Value(const std::string& name) override {
    return IniFile(File()).ReadString("Serial", name, "(missing)");
  }
  void Remove(const std::string& name) override {
    std::string text = ReadBytes(File());
    const std::size_t at = text.find(name + "=");
    text.erase(at, text.find('\n', at) + 1 - at);
    WriteBytes(File(), text);
  }
  const char* Kind() const override { return "ini"; }
  fs::path File() const { return dir / "port.ini"; }
};

#if defined(_WIN32)
// On Windows the registry object is the system's registry: the key is one of
// this test's own under HKEY_CURRENT_USER, read back with the system's calls.
class RegistryStore final : public Store {
 public:
  RegistryStore() {
    static int count = 0;
    key_ = "SOFTWARE\\RiriredOZ-test\\" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++count);
  }
  ~RegistryStore() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }
  void Save(TCustomComPort& port) override {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("\\" + key_, true));
    port.StoreToRegistry(reg);
    reg.CloseKey();
  }
  void Load(TCustomComPort& port) override {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("\\" + key_, false));
    port.LoadFromRegistry(reg);
  }
  // As the registry enumerates them; the order is the system's (Wine's is
  // sorted by name, Windows documents none), so written names are compared
  // in that order too.
  Strings InStoreOrder(Strings written) override {
    std::sort(written.begin(), written.end(), [](const std::string& a, const std::string& b) {
      return ::lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    return written;
  }
  Strings Names() override {
    Strings names;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return names;
    }
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (::RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, size);
    }
    ::RegCloseKey(key);
    return names;
  }
  std::string Value(const std::string& name) override {
    Registry reg;
    if (!reg.OpenKeyReadOnly("\\" + key_) || !reg.ValueExists(name)) return "(missing)";
    const RegistryValue v = *reg.ReadValue(name);
    return v.type == kRegDword ? std::to_string(reg.ReadInteger(name)) : reg.ReadString(name);
  }
  void Remove(const std::string& name) override {
    ::RegDeleteKeyValueA(HKEY_CURRENT_USER, key_.c_str(), name.c_str());
  }
  const char* Kind() const override { return "registry"; }

 private:
  std::string key_;
};
#else
class RegistryStore final : public Store {
 public:
  void Save(TCustomComPort& port) override {
    Registry reg(dir.path());
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    port.StoreToRegistry(reg);
    reg.CloseKey();
  }
  void Load(TCustomComPort& port) override {
    Registry reg(dir.path());
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    port.LoadFromRegistry(reg);
  }
  Strings Names() override {
    Strings names;
    const std::string text = ReadBytes(dir / "HKEY_CURRENT_USER.reg");
    for (std::size_t at = text.find("\r\n\""); at != std::string::npos;
         at = text.find("\r\n\"", at + 1)) {
      names.push_back(text.substr(at + 3, text.find('"', at + 3) - at - 3));
    }
    return names;
  }
  std::string Value(const std::string& name) override {
    Registry reg(dir.path());
    if (!reg.OpenKeyReadOnly(kKey) || !reg.ValueExists(name)) return "(missing)";
    const RegistryValue v = *reg.ReadValue(name);
    return v.type == kRegDword ? std::to_string(reg.ReadInteger(name)) : reg.ReadString(name);
  }
  void Remove(const std::string& name) override {
    const fs::path file = dir / "HKEY_CURRENT_USER.reg";
    std::string text = ReadBytes(file);
    const std::size_t at = text.find("\"" + name + "\"=");
    text.erase(at, text.find('\n', at) + 1 - at);
    WriteBytes(file, text);
  }
  const char* Kind() const override { return "registry"; }
};
#endif

std::vector<std::unique_ptr<Store>> BothStores() {
  std::vector<std::unique_ptr<Store>> stores;
  stores.push_back(std::make_unique<IniStore>());
  stores.push_back(std::make_unique<RegistryStore>());
  return stores;
}

TEST(ComPortStorage, ANewPortStoresTheBasicGroupOnly) {
  for (auto& store : BothStores()) {
    SCOPED_TRACE(store->Kind());
    TComPort port;
    port.SetName("Serial");
    store->Save(port);
    const Strings names = {"Port", "BaudRate", "StopBits", "DataBits", "Parity", "FlowControl"};
    EXPECT_EQ(store->Names(), store->InStoreOrder(names));
    const Strings values = {"COM1", "9600", "1", "8", "None", "None"};
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(store->Value(names[i]), values[i]);
    }
  }
  IniStore ini;
  TComPort port;
  port.SetName("Serial");
  ini.Save(port);
  EXPECT_EQ(ReadBytes(ini.File()),
            "[Serial]\r\nPort=COM1\r\nBaudRate=9600\r\nStopBits=1\r\nDataBits=8\r\nParity=None\r\n"
            "FlowControl=None\r\n");
}

TEST(ComPortStorage, AllGroupsGoInTheirOrderAndComeBack) {
  for (auto& store : BothStores()) {
    SCOPED_TRACE(store->Kind());
    TComPort port;
    port.SetName("Serial");
    port.SetSettingGroups(kAllGroups);
    ChangeEverything(port);
    store->Save(port);
    EXPECT_EQ(store->Names(), store->InStoreOrder({"Port",
                                       "BaudRate",
                                       "CustomBaudRate",
                                       "StopBits",
                                       "DataBits",
                                       "Parity",
                                       "FlowControl",
                                       "EventChar",
                                       "DiscardNull",
                                       "Parity.Check",
                                       "Parity.Replace",
                                       "Parity.ReplaceChar",
                                       "Buffer.OutputSize",
                                       "Buffer.InputSize",
                                       "Timeouts.ReadInterval",
                                       "Timeouts.ReadTotalConstant",
                                       "Timeouts.ReadTotalMultiplier",
                                       "Timeouts.WriteTotalConstant",
                                       "Timeouts.WriteTotalMultiplier",
                                       "FlowControl.ControlRTS",
                                       "FlowControl.ControlDTR",
                                       "FlowControl.DSRSensitivity",
                                       "FlowControl.OutCTSFlow",
                                       "FlowControl.OutDSRFlow",
                                       "FlowControl.TxContinueOnXoff",
                                       "FlowControl.XonXoffIn",
                                       "FlowControl.XonXoffOut",
                                       "FlowControl.XoffChar",
                                       "FlowControl.XonChar"}));
    EXPECT_EQ(store->Value("BaudRate"), "Custom");
    EXPECT_EQ(store->Value("CustomBaudRate"), "31250");
    EXPECT_EQ(store->Value("FlowControl"), "Custom");
    EXPECT_EQ(store->Value("EventChar"), "#10");
    EXPECT_EQ(store->Value("Parity.ReplaceChar"), "#254");
    EXPECT_EQ(store->Value("FlowControl.XoffChar"), "#1");
    EXPECT_EQ(store->Value("FlowControl.XonChar"), "A");
    EXPECT_EQ(store->Value("FlowControl.ControlRTS"), "Toggle");

    TComPort loaded;
    loaded.SetName("Serial");
    loaded.SetSettingGroups(kAllGroups);
    store->Load(loaded);
    EXPECT_EQ(Settings(loaded), Settings(port));
  }
}

TEST(ComPortStorage, StoresDeleteNothing) {
  for (auto& store : BothStores()) {
    SCOPED_TRACE(store->Kind());
    TComPort port;
    port.SetName("Serial");
    port.SetSettingGroups(kAllGroups);
    ChangeEverything(port);
    store->Save(port);
    port.SetBaudRate(TBaudRate::br19200);
    port.SetSettingGroups({sgBasic});
    store->Save(port);
    EXPECT_EQ(store->Value("BaudRate"), "19200");
    EXPECT_EQ(store->Value("CustomBaudRate"), "31250");
    EXPECT_EQ(store->Value("Timeouts.ReadInterval"), "5");
  }
}

TEST(ComPortStorage, CustomBaudRateIsReadOnlyForCustom) {
  IniStore ini;
  TComPort port;
  port.SetName("Serial");
  port.SetBaudRate(TBaudRate::brCustom);
  port.SetCustomBaudRate(31250);
  ini.Save(port);
  ini.Remove("CustomBaudRate");
  port.SetCustomBaudRate(12345);
  ini.Load(port);
  EXPECT_EQ(port.CustomBaudRate(), 9600) << "the ini default is 9600, not the current value";

  RegistryStore reg;
  port.SetCustomBaudRate(31250);
  reg.Save(port);
  reg.Remove("CustomBaudRate");
  TComPort loaded;
  loaded.SetPort("COM9");
  EXPECT_EQ(ErrorOf([&] { reg.Load(loaded); }), "Failed to get data for 'CustomBaudRate'");
  EXPECT_EQ(loaded.Port(), "COM1");  // set before the error, and kept
  EXPECT_EQ(loaded.BaudRate(), TBaudRate::brCustom);

  // Not brCustom: the stored CustomBaudRate is not looked at.
  WriteBytes(ini.File(), "[Serial]\r\nBaudRate=300\r\nCustomBaudRate=x\r\n");
  TComPort other;
  other.SetName("Serial");
  ini.Load(other);
  EXPECT_EQ(other.BaudRate(), TBaudRate::br300);
  EXPECT_EQ(other.CustomBaudRate(), 9600);
}

TEST(ComPortStorage, MissingValues) {
  // An ini section without keys changes nothing (no apply on an open port
  // either); a registry key without values gives the parse fallbacks.
  RecordingPort port;
  port.SetName("Serial");
  port.SetSettingGroups(kAllGroups);
  ChangeEverything(port);
  port.SetBaudRate(TBaudRate::br19200);  // brCustom would read CustomBaudRate's 9600
  port.OpenPort();
  port.log.clear();
  const Strings before = Settings(port);
  TempDir dir;
  WriteBytes(dir / "port.ini", "[Serial]\r\n[Other]\r\nPort=COM7\r\n");
  IniFile ini(dir / "port.ini");
  port.LoadFromIniFile(ini);
  EXPECT_EQ(Settings(port), before);
  EXPECT_EQ(port.Applied(), Strings{});

  TComPort fresh;
  fresh.SetPort("COM5");
  fresh.SetBaudRate(TBaudRate::br300);
  fresh.SetStopBits(TStopBits::sbTwoStopBits);
  fresh.SetDataBits(TDataBits::dbFive);
  fresh.Parity().SetBits(TParityBits::prOdd);
  fresh.FlowControl().SetFlowControl(TFlowControl::fcHardware);
  Registry reg(dir.path());
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  fresh.LoadFromRegistry(reg);
  EXPECT_EQ(fresh.Port(), "");
  EXPECT_EQ(fresh.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(fresh.StopBits(), TStopBits::sbOneStopBit);
  EXPECT_EQ(fresh.DataBits(), TDataBits::dbEight);
  EXPECT_EQ(fresh.Parity().Bits(), TParityBits::prNone);
  EXPECT_EQ(fresh.FlowControl().FlowControl(), TFlowControl::fcHardware)
      << "Custom changes nothing";

  // The other groups: texts give their fallbacks, the first integer raises.
  fresh.SetSettingGroups({sgOther, sgParityDetails, sgBuffer});
  fresh.SetEventChar('x');
  fresh.Parity().SetCheck(true);
  EXPECT_EQ(ErrorOf([&] { fresh.LoadFromRegistry(reg); }),
            "Failed to get data for 'Buffer.OutputSize'");
  EXPECT_EQ(fresh.EventChar(), '\0');
  EXPECT_FALSE(fresh.Parity().Check());
}

TEST(ComPortStorage, IniTextsThatDoNotParse) {
  TempDir dir;
  WriteBytes(
      dir / "p.ini",
      "[Serial]\r\nBaudRate=fast\r\nStopBits=1.5\r\nParity=even\r\nFlowControl=Custom\r\n"
      "EventChar=#x\r\nDiscardNull=True\r\nBuffer.InputSize=1025\r\nBuffer.OutputSize=abc\r\n"
      "Timeouts.ReadInterval=$10\r\nFlowControl.ControlRTS=handshake\r\n"
      "FlowControl.OutCTSFlow=yes\r\n");
  TComPort port;
  port.SetName("Serial");
  port.SetSettingGroups(kAllGroups);
  port.SetBaudRate(TBaudRate::br300);
  port.SetDiscardNull(true);
  port.SetEventChar('z');
  port.FlowControl().SetXonXoffIn(true);
  IniFile ini(dir / "p.ini");
  port.LoadFromIniFile(ini);
  EXPECT_EQ(port.BaudRate(), TBaudRate::br9600);  // the parse fallback
  EXPECT_EQ(port.StopBits(), TStopBits::sbOne5StopBits);
  EXPECT_EQ(port.Parity().Bits(), TParityBits::prEven);
  EXPECT_EQ(port.EventChar(), '\0');
  EXPECT_FALSE(port.DiscardNull());  // only "Yes" is true
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.Buffer().OutputSize(), 1024);  // unconvertible: kept
  EXPECT_EQ(port.Timeouts().ReadInterval(), 16);
  // "Custom" left the details alone; they were then read from their own keys
  // (the missing ones keeping their values).
  EXPECT_EQ(port.FlowControl().ControlRTS(), TRTSFlowControl::rtsHandshake);
  EXPECT_TRUE(port.FlowControl().OutCTSFlow());
  EXPECT_TRUE(port.FlowControl().XonXoffIn());
}

TEST(ComPortStorage, RegistryValuesOfTheWrongType) {
  TempDir dir;
#if defined(_WIN32)
  // The system's registry: the values made through the registry object.
  struct Cleanup {
    ~Cleanup() { ::RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Bench"); }
  } cleanup;
  {
    Registry made;
    ASSERT_TRUE(made.OpenKey(kKey, true));
    made.WriteString("Port", "COM2");
    made.WriteInteger("BaudRate", 7);
    made.WriteString("Buffer.OutputSize", "512");
  }
#else
  WriteBytes(dir / "HKEY_CURRENT_USER.reg",
             "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Bench\\Port]\r\n\"Port\"=\"COM2\"\r\n"
             "\"BaudRate\"=dword:00000007\r\n\"Buffer.OutputSize\"=\"512\"\r\n");
#endif
  Registry reg(dir.path());
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  TComPort port;
  EXPECT_EQ(ErrorOf([&] { port.LoadFromRegistry(reg); }), "Invalid data type for 'BaudRate'");
  EXPECT_EQ(port.Port(), "COM2");
  port.SetSettingGroups({sgBuffer});
  EXPECT_EQ(ErrorOf([&] { port.LoadFromRegistry(reg); }),
            "Invalid data type for 'Buffer.OutputSize'");
}

TEST(ComPortStorage, WriteFailures) {
  TempDir dir;
  WriteBytes(dir / "file", "");
  TComPort port;
  port.SetName("Serial");
  IniFile nowhere(dir / "file" / "p.ini");
  EXPECT_EQ(ErrorOf([&] { port.StoreToIniFile(nowhere); }),
            "Unable to write to " + (dir / "file" / "p.ini").string());

  // A text no line can hold fails at its own value; the values before it
  // stay written.
  port.SetSettingGroups({sgBasic});
  port.SetPort("bad\nname");
  IniFile ini(dir / "p.ini");
  EXPECT_EQ(ErrorOf([&] { port.StoreToIniFile(ini); }),
            "Unable to write to " + (dir / "p.ini").string());
  EXPECT_FALSE(fs::exists(dir / "p.ini"));
  port.SetName("Serial");
  port.SetPort("COM1");
  port.StoreToIniFile(ini);
  port.SetPort("COM2");
  port.SetSettingGroups({sgBasic, sgOther});
  port.SetName("Serial]");
  EXPECT_EQ(ErrorOf([&] { port.StoreToIniFile(ini); }),
            "Unable to write to " + (dir / "p.ini").string());
  EXPECT_EQ(IniFile(dir / "p.ini").ReadString("Serial", "Port", ""), "COM1");

  Registry reg(dir.path());  // no key open
  EXPECT_EQ(ErrorOf([&] { port.StoreToRegistry(reg); }), "Failed to set data for 'Port'");
}

TEST(ComPortStorage, LoadingIntoAnOpenPortAppliesEachChangeUnlessABatchRuns) {
  TempDir dir;
  WriteBytes(dir / "p.ini", "[Serial]\r\nBaudRate=19200\r\nParity=Even\r\nDataBits=7\r\n");
  IniFile ini(dir / "p.ini");
  RecordingPort port;
  port.SetName("Serial");
  port.OpenPort();
  port.log.clear();
  port.LoadFromIniFile(ini);
  EXPECT_EQ(port.Applied(), (Strings{"line", "line", "line"}));

  RecordingPort batched;
  batched.SetName("Serial");
  batched.OpenPort();
  batched.log.clear();
  batched.BeginSettingsBatch();
  batched.LoadFromIniFile(ini);
  EXPECT_EQ(batched.Applied(), Strings{});
  batched.EndSettingsBatch();
  EXPECT_EQ(batched.Applied(), (Strings{"buffer", "line", "timeouts"}));
}

}  // namespace
}  // namespace cport
