#include "cport/events/EventMask.h"

#include "cport/device/LineFlags.h"

namespace cport {

// The numbers of the event table are the device's own bits.
static_assert(EnumNumber(kComEventTable, TComEvent::evRxChar) == device::kEvRxChar);
static_assert(EnumNumber(kComEventTable, TComEvent::evTxEmpty) == device::kEvTxEmpty);
static_assert(EnumNumber(kComEventTable, TComEvent::evRxFlag) == device::kEvRxFlag);
static_assert(EnumNumber(kComEventTable, TComEvent::evRing) == device::kEvRing);
static_assert(EnumNumber(kComEventTable, TComEvent::evBreak) == device::kEvBreak);
static_assert(EnumNumber(kComEventTable, TComEvent::evCTS) == device::kEvCts);
static_assert(EnumNumber(kComEventTable, TComEvent::evDSR) == device::kEvDsr);
static_assert(EnumNumber(kComEventTable, TComEvent::evError) == device::kEvErr);
static_assert(EnumNumber(kComEventTable, TComEvent::evRLSD) == device::kEvRlsd);
static_assert(EnumNumber(kComEventTable, TComEvent::evRx80Full) == device::kEvRx80Full);

std::uint32_t EventsToMask(TComEvents Events) noexcept {
  std::uint32_t mask = 0;
  for (const auto& row : kComEventTable) {
    if (Events.Contains(row.value)) mask |= static_cast<std::uint32_t>(row.number);
  }
  return mask;
}

TComEvents MaskToEvents(std::uint32_t Mask) noexcept {
  TComEvents events;
  for (const auto& row : kComEventTable) {
    if (Mask & static_cast<std::uint32_t>(row.number)) events.Include(row.value);
  }
  return events;
}

}  // namespace cport
