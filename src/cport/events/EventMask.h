#pragma once
// The port's line events as the device's event mask and back: pure functions
// over the EV_ bits of cport/device/LineFlags.h, one bit per TComEvent (the
// numbers of kComEventTable).
#include <cstdint>

#include "cport/port/ComEnums.h"

namespace cport {

// The mask bits of the events in the set; elements beyond evRx80Full (a word
// read from storage) have no bit and are left out.
std::uint32_t EventsToMask(TComEvents Events) noexcept;

// The events whose bits are in the mask; bits that stand for no event are
// dropped.
TComEvents MaskToEvents(std::uint32_t Mask) noexcept;

}  // namespace cport
