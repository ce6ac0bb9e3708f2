#include "cport/port/DeviceSettings.h"

#include <cstdint>

#include "cport/port/ComPort.h"

namespace cport {
namespace {

std::uint32_t FlagIf(bool on, std::uint32_t flag) { return on ? flag : 0u; }

}  // namespace

device::Dcb BuildDcb(const TCustomComPort& Port) {
  const TComParity& parity = Port.Parity();
  const TComFlowControl& flow = Port.FlowControl();
  const bool replaceErrors = parity.Check() && parity.Replace();

  device::Dcb dcb;
  dcb.DCBlength = 28;
  dcb.BaudRate = Port.BaudRate() == TBaudRate::brCustom
                     ? static_cast<std::uint32_t>(Port.CustomBaudRate())
                     : static_cast<std::uint32_t>(EnumNumber(kBaudRateTable, Port.BaudRate()));
  dcb.Flags =
      device::kDcbBinary | FlagIf(parity.Check(), device::kDcbParity) |
      FlagIf(flow.OutCTSFlow(), device::kDcbOutxCtsFlow) |
      FlagIf(flow.OutDSRFlow(), device::kDcbOutxDsrFlow) |
      (static_cast<std::uint32_t>(EnumNumber(kDTRTable, flow.ControlDTR()))
       << device::kDcbDtrControlShift) |
      FlagIf(flow.DSRSensitivity(), device::kDcbDsrSensitivity) |
      FlagIf(flow.TxContinueOnXoff(), device::kDcbTxContinueOnXoff) |
      FlagIf(flow.XonXoffOut(), device::kDcbOutX) | FlagIf(flow.XonXoffIn(), device::kDcbInX) |
      FlagIf(replaceErrors, device::kDcbErrorChar) | FlagIf(Port.DiscardNull(), device::kDcbNull) |
      (static_cast<std::uint32_t>(EnumNumber(kRTSTable, flow.ControlRTS()))
       << device::kDcbRtsControlShift);
  // The quotient truncates toward zero and keeps its low 16 bits, so a
  // 300000-byte queue gives 75000 & 0xFFFF = 9464.
  const auto limit = static_cast<std::uint16_t>(Port.Buffer().InputSize() / 4);
  dcb.XonLim = limit;
  dcb.XoffLim = limit;
  dcb.ByteSize = static_cast<std::uint8_t>(EnumNumber(kDataBitsTable, Port.DataBits()));
  dcb.Parity = static_cast<std::uint8_t>(EnumNumber(kParityTable, parity.Bits()));
  dcb.StopBits = static_cast<std::uint8_t>(EnumNumber(kStopBitsTable, Port.StopBits()));
  dcb.XonChar = static_cast<std::uint8_t>(flow.XonChar());
  dcb.XoffChar = static_cast<std::uint8_t>(flow.XoffChar());
  dcb.ErrorChar = replaceErrors ? static_cast<std::uint8_t>(parity.ReplaceChar()) : 0;
  dcb.EofChar = 0;
  dcb.EvtChar = static_cast<std::uint8_t>(Port.EventChar());
  return dcb;
}

device::CommTimeouts BuildCommTimeouts(const TComTimeouts& Timeouts) {
  device::CommTimeouts t;
  t.ReadIntervalTimeout = static_cast<std::uint32_t>(Timeouts.ReadInterval());
  t.ReadTotalTimeoutMultiplier = static_cast<std::uint32_t>(Timeouts.ReadTotalMultiplier());
  t.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(Timeouts.ReadTotalConstant());
  t.WriteTotalTimeoutMultiplier = static_cast<std::uint32_t>(Timeouts.WriteTotalMultiplier());
  t.WriteTotalTimeoutConstant = static_cast<std::uint32_t>(Timeouts.WriteTotalConstant());
  return t;
}

}  // namespace cport
