#include "fixture_sim/PaceSchedule.h"

#include <algorithm>
#include <limits>

namespace fixture_sim {
namespace {

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;
constexpr std::uint64_t kUnpacedChunk = 64 * 1024;
constexpr std::uint64_t kLargestChunk = 4096;
constexpr std::uint64_t kChunksPerSecond = 100;
constexpr std::uint64_t kStallChunks = 2;

}  // namespace

// elapsed = s seconds + r ns: s * rate may overflow and is saturated; r * rate
// stays below 10^18 for rates up to 10^9.
std::uint64_t BytesDue(std::uint64_t rate, std::chrono::nanoseconds elapsed) {
  if (elapsed.count() <= 0) return 0;
  const auto ns = static_cast<std::uint64_t>(elapsed.count());
  const std::uint64_t seconds = ns / kNanosPerSecond;
  const std::uint64_t rest = ns % kNanosPerSecond;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  if (rate != 0 && seconds > kMax / rate) return kMax;
  const std::uint64_t whole = seconds * rate;
  const std::uint64_t part = rest * rate / kNanosPerSecond;
  return whole > kMax - part ? kMax : whole + part;
}

// bytes = q * rate + r: q whole seconds plus the r bytes' share of one,
// rounded up.
std::chrono::nanoseconds TimeFor(std::uint64_t rate, std::uint64_t bytes) {
  using Rep = std::chrono::nanoseconds::rep;
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<Rep>::max());
  const std::uint64_t q = bytes / rate;
  const std::uint64_t r = bytes % rate;
  const std::uint64_t part = (r * kNanosPerSecond + rate - 1) / rate;
  if (q > (kMax - part) / kNanosPerSecond) return std::chrono::nanoseconds::max();
  return std::chrono::nanoseconds(static_cast<Rep>(q * kNanosPerSecond + part));
}

std::uint64_t ChunkFor(std::uint64_t rate) {
  if (rate == 0) return kUnpacedChunk;
  return std::clamp<std::uint64_t>(rate / kChunksPerSecond, 1, kLargestChunk);
}

PaceSchedule::PaceSchedule(std::uint64_t total, std::uint64_t rate, PaceTime start)
    : total_(total), rate_(rate), chunk_(ChunkFor(rate)), origin_(start) {}

std::uint64_t PaceSchedule::NextChunkEnd() const {
  return sent_ + std::min(chunk_, total_ - sent_);
}

std::uint64_t PaceSchedule::Allowed(PaceTime now) {
  if (Done()) return 0;
  const std::uint64_t remaining = total_ - sent_;
  if (rate_ == 0) return std::min(chunk_, remaining);
  const std::uint64_t due = originSent_ + BytesDue(rate_, now - origin_);
  if (due < NextChunkEnd()) return 0;
  if (due - sent_ > kStallChunks * chunk_) {
    // Held up: start over so that the next chunk is due now.
    originSent_ = sent_;
    origin_ = now - TimeFor(rate_, std::min(chunk_, remaining));
  }
  return std::min({due - sent_, chunk_, remaining});
}

void PaceSchedule::Sent(std::uint64_t bytes) { sent_ = std::min(total_, sent_ + bytes); }

PaceTime PaceSchedule::NextDue() const {
  if (rate_ == 0) return PaceTime::min();
  const auto wait = TimeFor(rate_, NextChunkEnd() - originSent_);
  const auto headroom = PaceTime::max().time_since_epoch() - origin_.time_since_epoch();
  if (origin_.time_since_epoch().count() >= 0 && wait > headroom) return PaceTime::max();
  return origin_ + wait;
}

}  // namespace fixture_sim
