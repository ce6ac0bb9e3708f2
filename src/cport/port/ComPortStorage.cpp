// The port's settings storage: one list of the stored values, walked by the
// four operations over either store.
#include <cstdint>
#include <string>
#include <string_view>

#include "cport/port/ComPort.h"
#include "cport/port/ComTexts.h"
#include "cport/storage/IniFile.h"
#include "cport/storage/Registry.h"

namespace cport {
namespace {

class SettingWriter {
 public:
  virtual ~SettingWriter() = default;
  virtual void Text(std::string_view name, std::string_view value) = 0;
  virtual void Integer(std::string_view name, std::int32_t value) = 0;
};

class SettingReader {
 public:
  virtual ~SettingReader() = default;
  // The stored text; `current` is the setting's own text, the default where
  // the store has one.
  virtual std::string Text(std::string_view name, std::string_view current) = 0;
  virtual std::int32_t Integer(std::string_view name, std::int32_t fallback) = 0;
};

class IniWriter final : public SettingWriter {
 public:
  IniWriter(IniFile& ini, std::string_view section) : ini_(ini), section_(section) {}
  void Text(std::string_view name, std::string_view value) override {
    ini_.WriteString(section_, name, value);
  }
  void Integer(std::string_view name, std::int32_t value) override {
    ini_.WriteInteger(section_, name, value);
  }

 private:
  IniFile& ini_;
  std::string_view section_;
};

class IniReader final : public SettingReader {
 public:
  IniReader(IniFile& ini, std::string_view section) : ini_(ini), section_(section) {}
  std::string Text(std::string_view name, std::string_view current) override {
    return ini_.ReadString(section_, name, current);
  }
  std::int32_t Integer(std::string_view name, std::int32_t fallback) override {
    return ini_.ReadInteger(section_, name, fallback);
  }

 private:
  IniFile& ini_;
  std::string_view section_;
};

class RegistryWriter final : public SettingWriter {
 public:
  explicit RegistryWriter(Registry& reg) : reg_(reg) {}
  void Text(std::string_view name, std::string_view value) override {
    reg_.WriteString(name, value);
  }
  void Integer(std::string_view name, std::int32_t value) override {
    reg_.WriteInteger(name, value);
  }

 private:
  Registry& reg_;
};

// The registry has no defaults: a missing text is "", a missing integer an
// error.
class RegistryReader final : public SettingReader {
 public:
  explicit RegistryReader(Registry& reg) : reg_(reg) {}
  std::string Text(std::string_view name, std::string_view) override {
    return reg_.ReadString(name);
  }
  std::int32_t Integer(std::string_view name, std::int32_t) override {
    return reg_.ReadInteger(name);
  }

 private:
  Registry& reg_;
};

void StoreSettings(const TCustomComPort& port, SettingWriter& w) {
  const SettingGroupSet groups = port.SettingGroups();
  using enum SettingGroup;
  if (groups.Contains(sgBasic)) {
    w.Text("Port", port.Port());
    w.Text("BaudRate", BaudRateText(port.BaudRate()));
    if (port.BaudRate() == TBaudRate::brCustom) w.Integer("CustomBaudRate", port.CustomBaudRate());
    w.Text("StopBits", StopBitsText(port.StopBits()));
    w.Text("DataBits", DataBitsText(port.DataBits()));
    w.Text("Parity", ParityText(port.Parity().Bits()));
    w.Text("FlowControl", FlowControlText(port.FlowControl().FlowControl()));
  }
  if (groups.Contains(sgOther)) {
    w.Text("EventChar", CharText(port.EventChar()));
    w.Text("DiscardNull", YesNoText(port.DiscardNull()));
  }
  if (groups.Contains(sgParityDetails)) {
    const TComParity& parity = port.Parity();
    w.Text("Parity.Check", YesNoText(parity.Check()));
    w.Text("Parity.Replace", YesNoText(parity.Replace()));
    w.Text("Parity.ReplaceChar", CharText(parity.ReplaceChar()));
  }
  if (groups.Contains(sgBuffer)) {
    w.Integer("Buffer.OutputSize", port.Buffer().OutputSize());
    w.Integer("Buffer.InputSize", port.Buffer().InputSize());
  }
  if (groups.Contains(sgTimeouts)) {
    const TComTimeouts& t = port.Timeouts();
    w.Integer("Timeouts.ReadInterval", t.ReadInterval());
    w.Integer("Timeouts.ReadTotalConstant", t.ReadTotalConstant());
    w.Integer("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier());
    w.Integer("Timeouts.WriteTotalConstant", t.WriteTotalConstant());
    w.Integer("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier());
  }
  if (groups.Contains(sgFlowDetails)) {
    const TComFlowControl& f = port.FlowControl();
    w.Text("FlowControl.ControlRTS", RTSText(f.ControlRTS()));
    w.Text("FlowControl.ControlDTR", DTRText(f.ControlDTR()));
    w.Text("FlowControl.DSRSensitivity", YesNoText(f.DSRSensitivity()));
    w.Text("FlowControl.OutCTSFlow", YesNoText(f.OutCTSFlow()));
    w.Text("FlowControl.OutDSRFlow", YesNoText(f.OutDSRFlow()));
    w.Text("FlowControl.TxContinueOnXoff", YesNoText(f.TxContinueOnXoff()));
    w.Text("FlowControl.XonXoffIn", YesNoText(f.XonXoffIn()));
    w.Text("FlowControl.XonXoffOut", YesNoText(f.XonXoffOut()));
    w.Text("FlowControl.XoffChar", CharText(f.XoffChar()));
    w.Text("FlowControl.XonChar", CharText(f.XonChar()));
  }
}

void LoadSettings(TCustomComPort& port, SettingReader& r) {
  const SettingGroupSet groups = port.SettingGroups();
  using enum SettingGroup;
  auto yesNo = [&r](std::string_view name, bool current) {
    return ParseYesNo(r.Text(name, YesNoText(current)));
  };
  auto character = [&r](std::string_view name, char current) {
    return ParseCharText(r.Text(name, CharText(current)));
  };
  if (groups.Contains(sgBasic)) {
    port.SetPort(r.Text("Port", port.Port()));
    port.SetBaudRate(ParseBaudRate(r.Text("BaudRate", BaudRateText(port.BaudRate()))));
    if (port.BaudRate() == TBaudRate::brCustom) {
      port.SetCustomBaudRate(r.Integer("CustomBaudRate", 9600));
    }
    port.SetStopBits(ParseStopBits(r.Text("StopBits", StopBitsText(port.StopBits()))));
    port.SetDataBits(ParseDataBits(r.Text("DataBits", DataBitsText(port.DataBits()))));
    port.Parity().SetBits(ParseParity(r.Text("Parity", ParityText(port.Parity().Bits()))));
    const TFlowControl flow =
        ParseFlowControl(r.Text("FlowControl", FlowControlText(port.FlowControl().FlowControl())));
    // Custom stands for details stored elsewhere (sgFlowDetails): nothing to
    // set from the composite. An equal composite would change no field either;
    // like the other setters, it then applies nothing.
    if (flow != TFlowControl::fcCustom && flow != port.FlowControl().FlowControl()) {
      port.FlowControl().SetFlowControl(flow);
    }
  }
  if (groups.Contains(sgOther)) {
    port.SetEventChar(character("EventChar", port.EventChar()));
    port.SetDiscardNull(yesNo("DiscardNull", port.DiscardNull()));
  }
  if (groups.Contains(sgParityDetails)) {
    TComParity& parity = port.Parity();
    parity.SetCheck(yesNo("Parity.Check", parity.Check()));
    parity.SetReplace(yesNo("Parity.Replace", parity.Replace()));
    parity.SetReplaceChar(character("Parity.ReplaceChar", parity.ReplaceChar()));
  }
  if (groups.Contains(sgBuffer)) {
    TComBuffer& b = port.Buffer();
    b.SetOutputSize(r.Integer("Buffer.OutputSize", b.OutputSize()));
    b.SetInputSize(r.Integer("Buffer.InputSize", b.InputSize()));
  }
  if (groups.Contains(sgTimeouts)) {
    TComTimeouts& t = port.Timeouts();
    t.SetReadInterval(r.Integer("Timeouts.ReadInterval", t.ReadInterval()));
    t.SetReadTotalConstant(r.Integer("Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
    t.SetReadTotalMultiplier(r.Integer("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
    t.SetWriteTotalConstant(r.Integer("Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
    t.SetWriteTotalMultiplier(r.Integer("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
  }
  if (groups.Contains(sgFlowDetails)) {
    TComFlowControl& f = port.FlowControl();
    f.SetControlRTS(ParseRTS(r.Text("FlowControl.ControlRTS", RTSText(f.ControlRTS()))));
    f.SetControlDTR(ParseDTR(r.Text("FlowControl.ControlDTR", DTRText(f.ControlDTR()))));
    f.SetDSRSensitivity(yesNo("FlowControl.DSRSensitivity", f.DSRSensitivity()));
    f.SetOutCTSFlow(yesNo("FlowControl.OutCTSFlow", f.OutCTSFlow()));
    f.SetOutDSRFlow(yesNo("FlowControl.OutDSRFlow", f.OutDSRFlow()));
    f.SetTxContinueOnXoff(yesNo("FlowControl.TxContinueOnXoff", f.TxContinueOnXoff()));
    f.SetXonXoffIn(yesNo("FlowControl.XonXoffIn", f.XonXoffIn()));
    f.SetXonXoffOut(yesNo("FlowControl.XonXoffOut", f.XonXoffOut()));
    f.SetXoffChar(character("FlowControl.XoffChar", f.XoffChar()));
    f.SetXonChar(character("FlowControl.XonChar", f.XonChar()));
  }
}

}  // namespace

void TCustomComPort::StoreToRegistry(Registry& Reg) {
  RegistryWriter writer(Reg);
  StoreSettings(*this, writer);
}

void TCustomComPort::StoreToIniFile(IniFile& Ini) {
  IniWriter writer(Ini, Name());
  StoreSettings(*this, writer);
}

void TCustomComPort::LoadFromRegistry(Registry& Reg) {
  RegistryReader reader(Reg);
  LoadSettings(*this, reader);
}

void TCustomComPort::LoadFromIniFile(IniFile& Ini) {
  IniReader reader(Ini, Name());
  LoadSettings(*this, reader);
}

}  // namespace cport
