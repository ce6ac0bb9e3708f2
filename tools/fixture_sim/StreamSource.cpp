#include "fixture_sim/StreamSource.h"

#include <array>

#include "fixture_sim/ReportFrame.h"

namespace fixture_sim {
namespace {

constexpr std::uint64_t kTestCodes = 10;  // tests 0x01 to 0x0A
constexpr std::uint64_t kErrorEvery = 7;  // every seventh frame reports an error

// The n-th frame of the frames pattern: progress (result 1) and pass
// (result 3) reports in turn over the test codes, with an error report
// (result 2, with detail number, error code and detail value) in between.
std::vector<std::uint8_t> PatternFrame(std::uint64_t n) {
  const auto test = static_cast<std::uint8_t>(n / 2 % kTestCodes + 1);
  if (n % kErrorEvery == kErrorEvery - 1) {
    const std::array<std::uint8_t, 5> fields{2, test, static_cast<std::uint8_t>(n % 100),
                                             static_cast<std::uint8_t>(n % 8 + 1),
                                             static_cast<std::uint8_t>(n)};
    return EncodeReportFrame(fields);
  }
  const std::array<std::uint8_t, 2> fields{static_cast<std::uint8_t>(n % 2 == 0 ? 1 : 3), test};
  return EncodeReportFrame(fields);
}

}  // namespace

StreamSource::StreamSource(StreamPattern pattern, std::uint64_t seed)
    : pattern_(pattern), random_(seed) {}

void StreamSource::Fill(std::span<std::uint8_t> out) {
  using enum StreamPattern;
  for (auto& byte : out) {
    switch (pattern_) {
      case spCounter:
        byte = static_cast<std::uint8_t>(position_);
        break;
      case spRandom:
        byte = NextRandom();
        break;
      case spFrames:
        byte = NextFrameByte();
        break;
    }
    ++position_;
  }
}

// splitmix64: a fixed, well-mixed sequence that needs no library whose
// output could differ between machines.
std::uint8_t StreamSource::NextRandom() {
  if (randomLeft_ == 0) {
    std::uint64_t z = (random_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    randomBits_ = z ^ (z >> 31);
    randomLeft_ = 8;
  }
  const auto byte = static_cast<std::uint8_t>(randomBits_);
  randomBits_ >>= 8;
  --randomLeft_;
  return byte;
}

std::uint8_t StreamSource::NextFrameByte() {
  if (frameOffset_ == frame_.size()) {
    frame_ = PatternFrame(frameIndex_++);
    frameOffset_ = 0;
  }
  return frame_[frameOffset_++];
}

}  // namespace fixture_sim
