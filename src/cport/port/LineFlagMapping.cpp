#include "cport/port/LineFlagMapping.h"

#include "cport/device/LineFlags.h"

namespace cport {

// The numbers of the enumeration tables are the device's own bits.
static_assert(EnumNumber(kLineSignalTable, LineSignal::lsCTS) == device::kMsCtsOn);
static_assert(EnumNumber(kLineSignalTable, LineSignal::lsDSR) == device::kMsDsrOn);
static_assert(EnumNumber(kLineSignalTable, LineSignal::lsRing) == device::kMsRingOn);
static_assert(EnumNumber(kLineSignalTable, LineSignal::lsRLSD) == device::kMsRlsdOn);
static_assert(EnumNumber(kComErrorTable, TComError::ceFrame) == device::kCeFrame);
static_assert(EnumNumber(kComErrorTable, TComError::ceRxParity) == device::kCeRxParity);
static_assert(EnumNumber(kComErrorTable, TComError::ceOverrun) == device::kCeOverrun);
static_assert(EnumNumber(kComErrorTable, TComError::ceBreak) == device::kCeBreak);
static_assert(EnumNumber(kComErrorTable, TComError::ceIO) == device::kCeIoe);
static_assert(EnumNumber(kComErrorTable, TComError::ceMode) == device::kCeMode);
static_assert(EnumNumber(kComErrorTable, TComError::ceRxOver) == device::kCeRxOver);
static_assert(EnumNumber(kComErrorTable, TComError::ceTxFull) == device::kCeTxFull);

LineSignals ModemStatusToSignals(std::uint32_t status) noexcept {
  LineSignals signals;
  for (const auto& row : kLineSignalTable) {
    if (status & static_cast<std::uint32_t>(row.number)) signals.Include(row.value);
  }
  return signals;
}

TComErrors LineErrorsToComErrors(std::uint32_t flags, bool parityCheck) noexcept {
  TComErrors errors;
  for (const auto& row : kComErrorTable) {
    if (!(flags & static_cast<std::uint32_t>(row.number))) continue;
    // Without parity checking the driver's parity flag means nothing to the
    // caller.
    if (row.value == TComError::ceRxParity && !parityCheck) continue;
    errors.Include(row.value);
  }
  return errors;
}

}  // namespace cport
