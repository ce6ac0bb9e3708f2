#pragma once
// The device-control record: the line settings the port sends to its device,
// laid out after the Windows DCB so that the port builds it the same way on
// every platform. Each device implementation maps it to its own native form.
#include <cstdint>

namespace cport::device {

// Bits of Dcb::Flags (the DCB flag word).
inline constexpr std::uint32_t kDcbBinary = 0x0001;
inline constexpr std::uint32_t kDcbParity = 0x0002;          // check input parity
inline constexpr std::uint32_t kDcbOutxCtsFlow = 0x0004;     // output waits for CTS
inline constexpr std::uint32_t kDcbOutxDsrFlow = 0x0008;     // output waits for DSR
inline constexpr std::uint32_t kDcbDtrControlMask = 0x0030;  // two bits, see kDtrControl*
inline constexpr int kDcbDtrControlShift = 4;
inline constexpr std::uint32_t kDcbDsrSensitivity = 0x0040;  // ignore input while DSR off
inline constexpr std::uint32_t kDcbTxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t kDcbOutX = 0x0100;            // XON/XOFF on output
inline constexpr std::uint32_t kDcbInX = 0x0200;             // XON/XOFF on input
inline constexpr std::uint32_t kDcbErrorChar = 0x0400;       // replace bytes with parity errors
inline constexpr std::uint32_t kDcbNull = 0x0800;            // discard received NUL bytes
inline constexpr std::uint32_t kDcbRtsControlMask = 0x3000;  // two bits, see kRtsControl*
inline constexpr int kDcbRtsControlShift = 12;
inline constexpr std::uint32_t kDcbAbortOnError = 0x4000;

// Values of the two-bit DTR and RTS control fields.
inline constexpr std::uint32_t kDtrControlDisable = 0;
inline constexpr std::uint32_t kDtrControlEnable = 1;
inline constexpr std::uint32_t kDtrControlHandshake = 2;
inline constexpr std::uint32_t kRtsControlDisable = 0;
inline constexpr std::uint32_t kRtsControlEnable = 1;
inline constexpr std::uint32_t kRtsControlHandshake = 2;
inline constexpr std::uint32_t kRtsControlToggle = 3;

// Values of Dcb::Parity and Dcb::StopBits.
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kMarkParity = 3;
inline constexpr std::uint8_t kSpaceParity = 4;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kOne5StopBits = 1;
inline constexpr std::uint8_t kTwoStopBits = 2;

struct Dcb {
  std::uint32_t DCBlength = 28;
  std::uint32_t BaudRate = 0;  // bits per second, any value (not an index)
  std::uint32_t Flags = 0;     // the flag word, kDcb* bits
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;  // 5..8
  std::uint8_t Parity = 0;    // kNoParity .. kSpaceParity
  std::uint8_t StopBits = 0;  // kOneStopBit, kOne5StopBits, kTwoStopBits
  std::uint8_t XonChar = 0;
  std::uint8_t XoffChar = 0;
  std::uint8_t ErrorChar = 0;
  std::uint8_t EofChar = 0;
  std::uint8_t EvtChar = 0;

  constexpr std::uint32_t DtrControl() const {
    return (Flags & kDcbDtrControlMask) >> kDcbDtrControlShift;
  }
  constexpr std::uint32_t RtsControl() const {
    return (Flags & kDcbRtsControlMask) >> kDcbRtsControlShift;
  }
  friend constexpr bool operator==(const Dcb&, const Dcb&) = default;
};

}  // namespace cport::device
