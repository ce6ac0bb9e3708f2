#pragma once
// The enumerations of the port object, each one byte holding its ordinal, and
// the sets built on them. Each enumeration has one table of value, number and
// text in ordinal order:
//   - number: what the value stands for outside the component (bits per
//     second, the device code of the DCB, the device's EV_/CE_/MS_ bit); the
//     ordinal where nothing else applies;
//   - text: the text form shared by the settings storage and the setup dialog
//     where the component defines one (see ComTexts.h), else the value's name.
#include <array>
#include <cstdint>

#include "cport/port/EnumTable.h"
#include "cport/port/Flags.h"

namespace cport {

enum class TBaudRate : std::uint8_t {
  brCustom,  // the speed is CustomBaudRate
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
};
enum class TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum class TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum class TComEvent : std::uint8_t {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full,
};
enum class TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
enum class TComError : std::uint8_t {
  ceFrame,
  ceRxParity,
  ceOverrun,
  ceBreak,
  ceIO,
  ceMode,
  ceRxOver,
  ceTxFull,
};
enum class TComProperty : std::uint8_t {
  cpNone,
  cpPort,
  cpBaudRate,
  cpDataBits,
  cpStopBits,
  cpParity,
  cpFlowControl,
};
// Which groups of settings the storage operations write and read.
enum class SettingGroup : std::uint8_t {
  sgBasic,
  sgFlowDetails,
  sgBuffer,
  sgTimeouts,
  sgParityDetails,
  sgOther,
};
// The modem input lines.
enum class LineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };
// What a transfer request last started.
enum class TransferKind : std::uint8_t { tkWrite, tkRead };

using TComEvents = Flags<TComEvent, std::uint16_t>;
using TComErrors = Flags<TComError, std::uint8_t>;
using SettingGroupSet = Flags<SettingGroup, std::uint8_t>;
using LineSignals = Flags<LineSignal, std::uint8_t>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x03FF);

inline constexpr std::array<EnumEntry<TBaudRate>, 16> kBaudRateTable = {{
    {TBaudRate::brCustom, 0, "Custom"},
    {TBaudRate::br110, 110, "110"},
    {TBaudRate::br300, 300, "300"},
    {TBaudRate::br600, 600, "600"},
    {TBaudRate::br1200, 1200, "1200"},
    {TBaudRate::br2400, 2400, "2400"},
    {TBaudRate::br4800, 4800, "4800"},
    {TBaudRate::br9600, 9600, "9600"},
    {TBaudRate::br14400, 14400, "14400"},
    {TBaudRate::br19200, 19200, "19200"},
    {TBaudRate::br38400, 38400, "38400"},
    {TBaudRate::br56000, 56000, "56000"},
    {TBaudRate::br57600, 57600, "57600"},
    {TBaudRate::br115200, 115200, "115200"},
    {TBaudRate::br128000, 128000, "128000"},
    {TBaudRate::br256000, 256000, "256000"},
}};
static_assert(CoversEnum(kBaudRateTable, TBaudRate::br256000));

// number: the DCB StopBits code.
inline constexpr std::array<EnumEntry<TStopBits>, 3> kStopBitsTable = {{
    {TStopBits::sbOneStopBit, 0, "1"},
    {TStopBits::sbOne5StopBits, 1, "1.5"},
    {TStopBits::sbTwoStopBits, 2, "2"},
}};
static_assert(CoversEnum(kStopBitsTable, TStopBits::sbTwoStopBits));

// number: data bits per character, also the DCB ByteSize.
inline constexpr std::array<EnumEntry<TDataBits>, 4> kDataBitsTable = {{
    {TDataBits::dbFive, 5, "5"},
    {TDataBits::dbSix, 6, "6"},
    {TDataBits::dbSeven, 7, "7"},
    {TDataBits::dbEight, 8, "8"},
}};
static_assert(CoversEnum(kDataBitsTable, TDataBits::dbEight));

// number: the DCB Parity code.
inline constexpr std::array<EnumEntry<TParityBits>, 5> kParityTable = {{
    {TParityBits::prNone, 0, "None"},
    {TParityBits::prOdd, 1, "Odd"},
    {TParityBits::prEven, 2, "Even"},
    {TParityBits::prMark, 3, "Mark"},
    {TParityBits::prSpace, 4, "Space"},
}};
static_assert(CoversEnum(kParityTable, TParityBits::prSpace));

// number: the two-bit fDtrControl field of the DCB flag word.
inline constexpr std::array<EnumEntry<TDTRFlowControl>, 3> kDTRTable = {{
    {TDTRFlowControl::dtrDisable, 0, "Disable"},
    {TDTRFlowControl::dtrEnable, 1, "Enable"},
    {TDTRFlowControl::dtrHandshake, 2, "Handshake"},
}};
static_assert(CoversEnum(kDTRTable, TDTRFlowControl::dtrHandshake));

// number: the two-bit fRtsControl field of the DCB flag word.
inline constexpr std::array<EnumEntry<TRTSFlowControl>, 4> kRTSTable = {{
    {TRTSFlowControl::rtsDisable, 0, "Disable"},
    {TRTSFlowControl::rtsEnable, 1, "Enable"},
    {TRTSFlowControl::rtsHandshake, 2, "Handshake"},
    {TRTSFlowControl::rtsToggle, 3, "Toggle"},
}};
static_assert(CoversEnum(kRTSTable, TRTSFlowControl::rtsToggle));

inline constexpr std::array<EnumEntry<TFlowControl>, 4> kFlowControlTable = {{
    {TFlowControl::fcHardware, 0, "Hardware"},
    {TFlowControl::fcSoftware, 1, "Software"},
    {TFlowControl::fcNone, 2, "None"},
    {TFlowControl::fcCustom, 3, "Custom"},
}};
static_assert(CoversEnum(kFlowControlTable, TFlowControl::fcCustom));

// number: the device's event mask bit (EV_RXCHAR and the others).
inline constexpr std::array<EnumEntry<TComEvent>, 10> kComEventTable = {{
    {TComEvent::evRxChar, 0x0001, "evRxChar"},
    {TComEvent::evTxEmpty, 0x0004, "evTxEmpty"},
    {TComEvent::evRxFlag, 0x0002, "evRxFlag"},
    {TComEvent::evRing, 0x0100, "evRing"},
    {TComEvent::evBreak, 0x0040, "evBreak"},
    {TComEvent::evCTS, 0x0008, "evCTS"},
    {TComEvent::evDSR, 0x0010, "evDSR"},
    {TComEvent::evError, 0x0080, "evError"},
    {TComEvent::evRLSD, 0x0020, "evRLSD"},
    {TComEvent::evRx80Full, 0x0400, "evRx80Full"},
}};
static_assert(CoversEnum(kComEventTable, TComEvent::evRx80Full));

inline constexpr std::array<EnumEntry<TSyncMethod>, 3> kSyncMethodTable = {{
    {TSyncMethod::smThreadSync, 0, "smThreadSync"},
    {TSyncMethod::smWindowSync, 1, "smWindowSync"},
    {TSyncMethod::smNone, 2, "smNone"},
}};
static_assert(CoversEnum(kSyncMethodTable, TSyncMethod::smNone));

// number: the device's line error flag (CE_FRAME and the others).
inline constexpr std::array<EnumEntry<TComError>, 8> kComErrorTable = {{
    {TComError::ceFrame, 0x0008, "ceFrame"},
    {TComError::ceRxParity, 0x0004, "ceRxParity"},
    {TComError::ceOverrun, 0x0002, "ceOverrun"},
    {TComError::ceBreak, 0x0010, "ceBreak"},
    {TComError::ceIO, 0x0400, "ceIO"},
    {TComError::ceMode, 0x8000, "ceMode"},
    {TComError::ceRxOver, 0x0001, "ceRxOver"},
    {TComError::ceTxFull, 0x0100, "ceTxFull"},
}};
static_assert(CoversEnum(kComErrorTable, TComError::ceTxFull));

inline constexpr std::array<EnumEntry<TComProperty>, 7> kComPropertyTable = {{
    {TComProperty::cpNone, 0, "cpNone"},
    {TComProperty::cpPort, 1, "cpPort"},
    {TComProperty::cpBaudRate, 2, "cpBaudRate"},
    {TComProperty::cpDataBits, 3, "cpDataBits"},
    {TComProperty::cpStopBits, 4, "cpStopBits"},
    {TComProperty::cpParity, 5, "cpParity"},
    {TComProperty::cpFlowControl, 6, "cpFlowControl"},
}};
static_assert(CoversEnum(kComPropertyTable, TComProperty::cpFlowControl));

inline constexpr std::array<EnumEntry<SettingGroup>, 6> kSettingGroupTable = {{
    {SettingGroup::sgBasic, 0, "sgBasic"},
    {SettingGroup::sgFlowDetails, 1, "sgFlowDetails"},
    {SettingGroup::sgBuffer, 2, "sgBuffer"},
    {SettingGroup::sgTimeouts, 3, "sgTimeouts"},
    {SettingGroup::sgParityDetails, 4, "sgParityDetails"},
    {SettingGroup::sgOther, 5, "sgOther"},
}};
static_assert(CoversEnum(kSettingGroupTable, SettingGroup::sgOther));

// number: the device's modem status bit (MS_CTS_ON and the others).
inline constexpr std::array<EnumEntry<LineSignal>, 4> kLineSignalTable = {{
    {LineSignal::lsCTS, 0x10, "lsCTS"},
    {LineSignal::lsDSR, 0x20, "lsDSR"},
    {LineSignal::lsRing, 0x40, "lsRing"},
    {LineSignal::lsRLSD, 0x80, "lsRLSD"},
}};
static_assert(CoversEnum(kLineSignalTable, LineSignal::lsRLSD));

inline constexpr std::array<EnumEntry<TransferKind>, 2> kTransferKindTable = {{
    {TransferKind::tkWrite, 0, "tkWrite"},
    {TransferKind::tkRead, 1, "tkRead"},
}};
static_assert(CoversEnum(kTransferKindTable, TransferKind::tkRead));

}  // namespace cport
