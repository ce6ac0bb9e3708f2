// The four setting objects: composite flow control, even queue sizes,
// Assign between objects, and which field changes reach the owner port.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../RecordingPort.h"
#include "cport/port/ComPort.h"
#include "cport/port/ComTexts.h"

namespace cport {
namespace {

using testing::RecordingPort;
using enum TFlowControl;
using Strings = std::vector<std::string>;

TEST(ComFlowControl, CompositeReadsFourFieldsOnly) {
  struct Case {
    TRTSFlowControl rts;
    bool cts, xonIn, xonOut;
    TFlowControl expected;
  };
  using enum TRTSFlowControl;
  const Case cases[] = {
      {rtsHandshake, true, false, false, fcHardware}, {rtsHandshake, true, true, false, fcCustom},
      {rtsHandshake, false, false, false, fcCustom},  {rtsDisable, false, true, true, fcSoftware},
      {rtsDisable, false, true, false, fcCustom},     {rtsDisable, true, true, true, fcCustom},
      {rtsEnable, false, true, true, fcCustom},       {rtsDisable, false, false, false, fcNone},
      {rtsDisable, true, false, false, fcCustom},     {rtsEnable, false, false, false, fcCustom},
      {rtsToggle, true, false, false, fcCustom},
  };
  for (const auto& c : cases) {
    TComFlowControl flow;
    flow.SetControlRTS(c.rts);
    flow.SetOutCTSFlow(c.cts);
    flow.SetXonXoffIn(c.xonIn);
    flow.SetXonXoffOut(c.xonOut);
    // The fields that never count.
    flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
    flow.SetOutDSRFlow(true);
    flow.SetDSRSensitivity(true);
    flow.SetTxContinueOnXoff(true);
    flow.SetXonChar('A');
    EXPECT_EQ(flow.FlowControl(), c.expected)
        << RTSText(c.rts) << " cts=" << c.cts << " in=" << c.xonIn << " out=" << c.xonOut;
  }
}

TEST(ComFlowControl, WritingTheCompositeSetsTheSchemeAndAlwaysApplies) {
  RecordingPort port;
  auto& flow = port.FlowControl();
  EXPECT_EQ(flow.FlowControl(), fcNone);

  flow.SetFlowControl(fcHardware);
  EXPECT_EQ(flow.FlowControl(), fcHardware);
  EXPECT_EQ(flow.ControlRTS(), TRTSFlowControl::rtsHandshake);
  EXPECT_TRUE(flow.OutCTSFlow());
  flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
  EXPECT_EQ(flow.FlowControl(), fcHardware) << "hardware flow control leaves DTR alone";

  flow.SetFlowControl(fcSoftware);
  EXPECT_EQ(flow.ControlRTS(), TRTSFlowControl::rtsDisable);
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
  EXPECT_EQ(flow.ControlDTR(), TDTRFlowControl::dtrHandshake);

  flow.SetOutDSRFlow(true);
  flow.SetXonXoffIn(false);
  ASSERT_EQ(flow.FlowControl(), fcCustom);
  port.log.clear();
  flow.SetFlowControl(fcCustom);
  EXPECT_FALSE(flow.XonXoffIn());
  EXPECT_TRUE(flow.XonXoffOut()) << "fcCustom keeps every field";
  EXPECT_TRUE(flow.OutDSRFlow());
  flow.SetFlowControl(fcNone);
  flow.SetFlowControl(fcNone);
  EXPECT_EQ(port.log, (Strings{"line(held)", "line(held)", "line(held)"}))
      << "no equality test on the composite";
  EXPECT_EQ(flow.FlowControl(), fcNone);
  EXPECT_TRUE(flow.OutDSRFlow());
}

TEST(ComFlowControl, XonXoffInAloneOnANewPortIsCustom) {
  TComFlowControl flow;
  flow.SetXonXoffIn(true);
  EXPECT_EQ(flow.FlowControl(), fcCustom);
}

TEST(ComBuffer, PositiveSizesAreEvenAndEqualValuesDoNothing) {
  RecordingPort port;
  auto& buffer = port.Buffer();
  buffer.SetInputSize(1024);
  buffer.SetOutputSize(1024);
  EXPECT_TRUE(port.log.empty());

  buffer.SetInputSize(1025);
  EXPECT_EQ(buffer.InputSize(), 1024);
  EXPECT_EQ(port.log, Strings{"buffer(held)"}) << "1025 differs from 1024, so it applies";
  buffer.SetOutputSize(7);
  EXPECT_EQ(buffer.OutputSize(), 6);
  buffer.SetOutputSize(1);
  EXPECT_EQ(buffer.OutputSize(), 0);
  buffer.SetOutputSize(-3);
  EXPECT_EQ(buffer.OutputSize(), -3) << "only positive sizes are rounded";
  EXPECT_EQ(port.log.size(), 4u);
}

// Every scalar setter of the setting objects: a new value applies its group
// once, the same value again applies nothing.
TEST(ComSettingObjects, ScalarSettersApplyTheirGroupOnlyOnChange) {
  struct Case {
    const char* name;
    std::function<void(TCustomComPort&)> set;
    const char* group;
  };
  const Case cases[] = {
      {"Parity.Bits", [](auto& p) { p.Parity().SetBits(TParityBits::prOdd); }, "line"},
      {"Parity.Check", [](auto& p) { p.Parity().SetCheck(true); }, "line"},
      {"Parity.Replace", [](auto& p) { p.Parity().SetReplace(true); }, "line"},
      {"Parity.ReplaceChar", [](auto& p) { p.Parity().SetReplaceChar('?'); }, "line"},
      {"OutCTSFlow", [](auto& p) { p.FlowControl().SetOutCTSFlow(true); }, "line"},
      {"OutDSRFlow", [](auto& p) { p.FlowControl().SetOutDSRFlow(true); }, "line"},
      {"ControlDTR", [](auto& p) { p.FlowControl().SetControlDTR(TDTRFlowControl::dtrEnable); },
       "line"},
      {"ControlRTS", [](auto& p) { p.FlowControl().SetControlRTS(TRTSFlowControl::rtsToggle); },
       "line"},
      {"XonXoffOut", [](auto& p) { p.FlowControl().SetXonXoffOut(true); }, "line"},
      {"XonXoffIn", [](auto& p) { p.FlowControl().SetXonXoffIn(true); }, "line"},
      {"DSRSensitivity", [](auto& p) { p.FlowControl().SetDSRSensitivity(true); }, "line"},
      {"TxContinueOnXoff", [](auto& p) { p.FlowControl().SetTxContinueOnXoff(true); }, "line"},
      {"XonChar", [](auto& p) { p.FlowControl().SetXonChar('\x01'); }, "line"},
      {"XoffChar", [](auto& p) { p.FlowControl().SetXoffChar('\x02'); }, "line"},
      {"ReadInterval", [](auto& p) { p.Timeouts().SetReadInterval(10); }, "timeouts"},
      {"ReadTotalMultiplier", [](auto& p) { p.Timeouts().SetReadTotalMultiplier(1); }, "timeouts"},
      {"ReadTotalConstant", [](auto& p) { p.Timeouts().SetReadTotalConstant(1); }, "timeouts"},
      {"WriteTotalMultiplier", [](auto& p) { p.Timeouts().SetWriteTotalMultiplier(1); },
       "timeouts"},
      {"WriteTotalConstant", [](auto& p) { p.Timeouts().SetWriteTotalConstant(1); }, "timeouts"},
      {"InputSize", [](auto& p) { p.Buffer().SetInputSize(2048); }, "buffer"},
      {"OutputSize", [](auto& p) { p.Buffer().SetOutputSize(2048); }, "buffer"},
      {"BaudRate", [](auto& p) { p.SetBaudRate(TBaudRate::br19200); }, "line"},
      {"CustomBaudRate", [](auto& p) { p.SetCustomBaudRate(31250); }, "line"},
      {"StopBits", [](auto& p) { p.SetStopBits(TStopBits::sbTwoStopBits); }, "line"},
      {"DataBits", [](auto& p) { p.SetDataBits(TDataBits::dbSeven); }, "line"},
      {"DiscardNull", [](auto& p) { p.SetDiscardNull(true); }, "line"},
      {"EventChar", [](auto& p) { p.SetEventChar('\r'); }, "line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingPort port;
    port.OpenPort();
    port.log.clear();
    c.set(port);
    EXPECT_EQ(port.log, Strings{c.group});
    c.set(port);
    EXPECT_EQ(port.log, Strings{c.group}) << "the same value again applies nothing";
  }
}

TEST(ComSettingObjects, AssignCopiesFieldsWithoutApplyingOrChangingOwner) {
  RecordingPort port;
  port.OpenPort();
  port.log.clear();

  TComParity parity;
  parity.SetBits(TParityBits::prMark);
  parity.SetCheck(true);
  parity.SetReplace(true);
  parity.SetReplaceChar('?');
  port.Parity().Assign(parity);
  EXPECT_EQ(port.Parity().Bits(), TParityBits::prMark);
  EXPECT_TRUE(port.Parity().Check() && port.Parity().Replace());
  EXPECT_EQ(port.Parity().ReplaceChar(), '?');
  EXPECT_EQ(port.Parity().Owner(), &port);

  TComFlowControl flow;
  flow.SetFlowControl(fcHardware);
  flow.SetXoffChar('x');
  flow.SetControlDTR(TDTRFlowControl::dtrEnable);
  port.FlowControl().Assign(flow);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
  EXPECT_EQ(port.FlowControl().XoffChar(), 'x');
  EXPECT_EQ(port.FlowControl().ControlDTR(), TDTRFlowControl::dtrEnable);

  TComTimeouts timeouts;
  timeouts.SetReadInterval(5);
  timeouts.SetWriteTotalConstant(7);
  port.Timeouts().Assign(timeouts);
  EXPECT_EQ(port.Timeouts().ReadInterval(), 5);
  EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 7);
  EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);

  TComBuffer buffer;
  buffer.SetInputSize(4096);
  port.Buffer().Assign(buffer);
  EXPECT_EQ(port.Buffer().InputSize(), 4096);
  EXPECT_EQ(port.Buffer().Owner(), &port);

  EXPECT_TRUE(port.log.empty()) << "Assign runs no setter";
  EXPECT_EQ(parity.Owner(), nullptr);
}

TEST(ComSettingObjects, AssignFromAnotherClassIsAConversionError) {
  TComParity parity;
  TComTimeouts timeouts;
  TComBuffer buffer;
  TComFlowControl flow;
  try {
    parity.Assign(timeouts);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TComTimeouts to a TComParity");
  }
  EXPECT_THROW(buffer.Assign(flow), EConvertError);
  EXPECT_THROW(flow.Assign(buffer), EConvertError);
  EXPECT_THROW(timeouts.Assign(parity), EConvertError);
}

TEST(ComSettingObjects, PortSettersCopyAndAlwaysApply) {
  RecordingPort port;
  port.OpenPort();
  port.log.clear();
  TComParity sameParity;
  port.SetParity(sameParity);
  port.SetFlowControl(port.FlowControl());
  port.SetTimeouts(port.Timeouts());
  port.SetBuffer(port.Buffer());
  EXPECT_EQ(port.log, (Strings{"line", "line", "timeouts", "buffer"}))
      << "object-valued settings apply even when nothing differs";

  TComParity even;
  even.SetBits(TParityBits::prEven);
  port.SetParity(even);
  EXPECT_EQ(port.Parity().Bits(), TParityBits::prEven);
  EXPECT_EQ(port.Parity().Owner(), &port);
  EXPECT_EQ(even.Owner(), nullptr);
}

}  // namespace
}  // namespace cport
