// The line events as the device's event mask and back.
#include <gtest/gtest.h>

#include <cstdint>

#include "cport/events/EventMask.h"
#include "cport/device/LineFlags.h"

namespace cport {
namespace {

using enum TComEvent;

TEST(EventMask, EachEventHasItsDeviceBit) {
  const struct {
    TComEvents events;
    std::uint32_t mask;
  } cases[] = {
      {{}, 0},
      {{evRxChar}, 0x0001},
      {{evTxEmpty}, 0x0004},
      {{evRxFlag}, 0x0002},
      {{evRing}, 0x0100},
      {{evBreak}, 0x0040},
      {{evCTS}, 0x0008},
      {{evDSR}, 0x0010},
      {{evError}, 0x0080},
      {{evRLSD}, 0x0020},
      {{evRx80Full}, 0x0400},
      {{evRxChar, evCTS}, 0x0009},
      {kAllComEvents, 0x05FF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EventsToMask(c.events), c.mask) << c.events.Bits();
    EXPECT_EQ(MaskToEvents(c.mask), c.events) << c.mask;
  }
}

TEST(EventMask, EverySetRoundTripsBothWays) {
  for (std::uint32_t bits = 0; bits < 1024; ++bits) {
    const TComEvents events = TComEvents::FromBits(static_cast<std::uint16_t>(bits));
    const std::uint32_t mask = EventsToMask(events);
    EXPECT_EQ(MaskToEvents(mask), events) << bits;
    // One bit per event: the mask has as many bits as the set has events.
    EXPECT_EQ(__builtin_popcount(mask), __builtin_popcount(bits)) << bits;
    EXPECT_EQ(mask & ~0x05FFu, 0u) << bits;
  }
}

TEST(EventMask, BitsOutsideTheTableAreDropped) {
  EXPECT_EQ(MaskToEvents(0x0200), TComEvents{});
  EXPECT_EQ(MaskToEvents(0xFFFFFA00u), TComEvents{});
  EXPECT_EQ(MaskToEvents(0xFFFFFFFFu), kAllComEvents);
  // Set elements beyond evRx80Full (a stored word) have no device bit.
  EXPECT_EQ(EventsToMask(TComEvents::FromBits(0xFC00)), 0u);
  EXPECT_EQ(EventsToMask(TComEvents::FromBits(0xFC01)), device::kEvRxChar);
  for (std::uint32_t mask = 0; mask < 0x10000; ++mask) {
    ASSERT_EQ(EventsToMask(MaskToEvents(mask)), mask & 0x05FFu) << mask;
  }
}

}  // namespace
}  // namespace cport
