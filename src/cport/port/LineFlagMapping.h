#pragma once
// The device's status words as the port's sets: pure functions over the
// device's MS_ and CE_ bits (cport/device/LineFlags.h).
#include <cstdint>

#include "cport/port/ComEnums.h"

namespace cport {

// MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON -> lsCTS, lsDSR, lsRing,
// lsRLSD; other bits are ignored.
LineSignals ModemStatusToSignals(std::uint32_t status) noexcept;

// CE_ flags -> TComErrors; CE_RXPARITY counts only when `parityCheck` (the
// port's Parity.Check) is set; other flags are ignored.
TComErrors LineErrorsToComErrors(std::uint32_t flags, bool parityCheck) noexcept;

}  // namespace cport
