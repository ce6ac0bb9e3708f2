#pragma once
// When a transfer of a given size ends, according to the device's timeouts
// (the meaning is spelt out in CommTimeouts.h). Pure; every device
// implementation that carries out timeouts itself uses it.
#include <chrono>
#include <cstdint>
#include <optional>

#include "cport/device/CommTimeouts.h"

namespace cport::device {

// Longer totals (up to 0xFFFFFFFF ms per byte times 0xFFFFFFFF bytes plus
// 0xFFFFFFFF ms) are taken as this, which makes no practical difference.
inline constexpr std::chrono::milliseconds kLongestTimeout{std::int64_t{1} << 40};  // 34 years

struct ReadLimits {
  bool immediate = false;                          // complete at once with whatever has arrived
  bool return_on_any = false;                      // complete as soon as at least one byte is there
  std::optional<std::chrono::milliseconds> total;  // from the start; none = no limit
  std::optional<std::chrono::milliseconds> interval;  // between bytes, after the first
};

ReadLimits ReadLimitsFor(const CommTimeouts& timeouts, std::uint32_t count) noexcept;

// The time a write of `count` bytes may take; none = no limit.
std::optional<std::chrono::milliseconds> WriteLimitFor(const CommTimeouts& timeouts,
                                                       std::uint32_t count) noexcept;

// How long a close waits for `queued` bytes of accepted output to leave: the
// write limit for that many bytes when the timeouts set one, else the time
// they take on the line (`bits_per_char` bits each at `rate` bits per second,
// rounded up) plus kDrainAllowance for the driver and the hardware.
inline constexpr std::chrono::milliseconds kDrainAllowance{100};
std::chrono::milliseconds DrainLimitFor(const CommTimeouts& timeouts, std::uint32_t rate,
                                        std::uint32_t bits_per_char, std::uint32_t queued) noexcept;

}  // namespace cport::device
