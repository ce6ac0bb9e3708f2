#include "cport/device/TransferLimits.h"

#include <algorithm>

namespace cport::device {
namespace {

// Multiplier times count plus constant, in 64 bits so that no product of two
// 32-bit settings can wrap into a short timeout, and capped so that adding it
// to a clock reading cannot overflow either.
std::optional<std::chrono::milliseconds> Total(std::uint32_t multiplier, std::uint32_t constant,
                                               std::uint32_t count) {
  if (multiplier == 0 && constant == 0) return std::nullopt;
  const std::uint64_t ms = std::uint64_t{multiplier} * count + constant;
  return std::chrono::milliseconds(
      static_cast<std::int64_t>(std::min<std::uint64_t>(ms, kLongestTimeout.count())));
}

}  // namespace

ReadLimits ReadLimitsFor(const CommTimeouts& t, std::uint32_t count) noexcept {
  ReadLimits limits;
  if (t.ReadIntervalTimeout == kMaxDword) {
    if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
      limits.immediate = true;
      return limits;
    }
    if (t.ReadTotalTimeoutMultiplier == kMaxDword && t.ReadTotalTimeoutConstant != 0 &&
        t.ReadTotalTimeoutConstant != kMaxDword) {
      limits.return_on_any = true;
      limits.total = std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
      return limits;
    }
  }
  limits.total = Total(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
  if (t.ReadIntervalTimeout != 0)
    limits.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  return limits;
}

std::optional<std::chrono::milliseconds> WriteLimitFor(const CommTimeouts& t,
                                                       std::uint32_t count) noexcept {
  return Total(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count);
}

std::chrono::milliseconds DrainLimitFor(const CommTimeouts& t, std::uint32_t rate,
                                        std::uint32_t bits_per_char,
                                        std::uint32_t queued) noexcept {
  if (auto limit = WriteLimitFor(t, queued)) return *limit;
  if (rate == 0) return kDrainAllowance;
  const std::uint64_t bits = std::uint64_t{queued} * bits_per_char * 1000;
  return std::chrono::milliseconds(static_cast<std::int64_t>((bits + rate - 1) / rate)) +
         kDrainAllowance;
}

}  // namespace cport::device
