// The DCB and timeout records built from the port's settings.
#include <gtest/gtest.h>

#include <functional>

#include "../SharedFakeDevice.h"
#include "cport/port/ComPort.h"
#include "cport/port/DeviceSettings.h"

namespace cport {
namespace {

using namespace cport::device;

TEST(BuildDcb, DefaultsGiveTheBasicRecord) {
  const TComPort port(testing::MakeSharedFake().second);
  const Dcb dcb = BuildDcb(port);
  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.Flags, kDcbBinary);
  EXPECT_EQ(dcb.XonLim, 256);
  EXPECT_EQ(dcb.XoffLim, 256);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, 0);
  EXPECT_EQ(dcb.StopBits, 0);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  EXPECT_EQ(dcb.ErrorChar, 0);
  EXPECT_EQ(dcb.EofChar, 0);
  EXPECT_EQ(dcb.EvtChar, 0);
}

// Each case changes a new port and names the record it expects: flag bits on
// top of fBinary and the other fields as a check.
TEST(BuildDcb, EachSettingLandsInItsField) {
  struct Case {
    const char* name;
    std::function<void(TCustomComPort&)> set;
    std::uint32_t flags;
    std::function<bool(const Dcb&)> check;
  };
  auto none = [](const Dcb&) { return true; };
  const Case cases[] = {
      {"Check+Replace+ReplaceChar",
       [](auto& p) {
         p.Parity().SetCheck(true);
         p.Parity().SetReplace(true);
         p.Parity().SetReplaceChar('\x3F');
       },
       kDcbParity | kDcbErrorChar, [](const Dcb& d) { return d.ErrorChar == 0x3F; }},
      {"Replace alone changes nothing",
       [](auto& p) {
         p.Parity().SetReplace(true);
         p.Parity().SetReplaceChar('\x3F');
       },
       0, [](const Dcb& d) { return d.ErrorChar == 0; }},
      {"Check alone", [](auto& p) { p.Parity().SetCheck(true); }, kDcbParity,
       [](const Dcb& d) { return d.ErrorChar == 0; }},
      {"DTR handshake + RTS toggle",
       [](auto& p) {
         p.FlowControl().SetControlDTR(TDTRFlowControl::dtrHandshake);
         p.FlowControl().SetControlRTS(TRTSFlowControl::rtsToggle);
       },
       0x0020 | 0x3000, none},
      {"DTR enable + RTS enable",
       [](auto& p) {
         p.FlowControl().SetControlDTR(TDTRFlowControl::dtrEnable);
         p.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
       },
       0x0010 | 0x1000, none},
      {"hardware flow", [](auto& p) { p.FlowControl().SetFlowControl(TFlowControl::fcHardware); },
       kDcbOutxCtsFlow | 0x2000, none},
      {"software flow", [](auto& p) { p.FlowControl().SetFlowControl(TFlowControl::fcSoftware); },
       kDcbOutX | kDcbInX, none},
      {"DSR flow, sensitivity, continue on XOFF",
       [](auto& p) {
         p.FlowControl().SetOutDSRFlow(true);
         p.FlowControl().SetDSRSensitivity(true);
         p.FlowControl().SetTxContinueOnXoff(true);
       },
       kDcbOutxDsrFlow | kDcbDsrSensitivity | kDcbTxContinueOnXoff, none},
      {"DiscardNull and EventChar",
       [](auto& p) {
         p.SetDiscardNull(true);
         p.SetEventChar('\r');
       },
       kDcbNull, [](const Dcb& d) { return d.EvtChar == 13; }},
      {"characters above 127",
       [](auto& p) {
         p.FlowControl().SetXonChar('\xF1');
         p.FlowControl().SetXoffChar('\xF3');
       },
       0, [](const Dcb& d) { return d.XonChar == 0xF1 && d.XoffChar == 0xF3; }},
      {"InputSize 2", [](auto& p) { p.Buffer().SetInputSize(2); }, 0,
       [](const Dcb& d) { return d.XonLim == 0 && d.XoffLim == 0; }},
      {"InputSize 300000 keeps 16 bits", [](auto& p) { p.Buffer().SetInputSize(300000); }, 0,
       [](const Dcb& d) { return d.XonLim == 9464 && d.XoffLim == 9464; }},
      {"InputSize -8 truncates toward zero", [](auto& p) { p.Buffer().SetInputSize(-8); }, 0,
       [](const Dcb& d) { return d.XonLim == 0xFFFE; }},
      {"custom speed passes unchanged",
       [](auto& p) {
         p.SetCustomBaudRate(31250);
         p.SetBaudRate(TBaudRate::brCustom);
       },
       0, [](const Dcb& d) { return d.BaudRate == 31250; }},
      {"CustomBaudRate ignored for a table speed", [](auto& p) { p.SetCustomBaudRate(31250); }, 0,
       [](const Dcb& d) { return d.BaudRate == 9600; }},
      {"7E2",
       [](auto& p) {
         p.SetDataBits(TDataBits::dbSeven);
         p.Parity().SetBits(TParityBits::prEven);
         p.SetStopBits(TStopBits::sbTwoStopBits);
       },
       0, [](const Dcb& d) { return d.ByteSize == 7 && d.Parity == 2 && d.StopBits == 2; }},
      {"5 data, space, 1.5 stop",
       [](auto& p) {
         p.SetDataBits(TDataBits::dbFive);
         p.Parity().SetBits(TParityBits::prSpace);
         p.SetStopBits(TStopBits::sbOne5StopBits);
       },
       0, [](const Dcb& d) { return d.ByteSize == 5 && d.Parity == 4 && d.StopBits == 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TComPort port(testing::MakeSharedFake().second);
    c.set(port);
    const Dcb dcb = BuildDcb(port);
    EXPECT_EQ(dcb.Flags, kDcbBinary | c.flags) << std::hex << dcb.Flags;
    EXPECT_TRUE(c.check(dcb));
  }
}

TEST(BuildDcb, EverySpeedOfTheTable) {
  TComPort port(testing::MakeSharedFake().second);
  for (const auto& row : kBaudRateTable) {
    if (row.value == TBaudRate::brCustom) continue;
    port.SetBaudRate(row.value);
    EXPECT_EQ(BuildDcb(port).BaudRate, static_cast<std::uint32_t>(row.number));
    EXPECT_EQ(std::to_string(BuildDcb(port).BaudRate), row.text);
  }
}

TEST(BuildCommTimeouts, SignedValuesKeepTheirBits) {
  TComTimeouts timeouts;
  EXPECT_EQ(BuildCommTimeouts(timeouts), (CommTimeouts{0xFFFFFFFFu, 0, 0, 100, 1000}));
  timeouts.SetReadInterval(-2);
  timeouts.SetReadTotalMultiplier(3);
  timeouts.SetReadTotalConstant(4);
  timeouts.SetWriteTotalMultiplier(-1);
  timeouts.SetWriteTotalConstant(6);
  EXPECT_EQ(BuildCommTimeouts(timeouts), (CommTimeouts{0xFFFFFFFEu, 3, 4, 0xFFFFFFFFu, 6}));
}

}  // namespace
}  // namespace cport
