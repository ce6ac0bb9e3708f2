#pragma once
// The bytes of a stream command, made on demand in order, so that a stream of
// any length needs only the buffer it is written from.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fixture_sim/Script.h"

namespace fixture_sim {

class StreamSource {
 public:
  StreamSource(StreamPattern pattern, std::uint64_t seed);

  // Fills `out` with the next bytes of the pattern.
  void Fill(std::span<std::uint8_t> out);

 private:
  std::uint8_t NextRandom();
  std::uint8_t NextFrameByte();

  StreamPattern pattern_;
  std::uint64_t position_ = 0;  // bytes made so far
  std::uint64_t random_;        // splitmix64 state
  std::uint64_t randomBits_ = 0;
  int randomLeft_ = 0;  // bytes of randomBits_ not yet used
  std::uint64_t frameIndex_ = 0;
  std::vector<std::uint8_t> frame_;
  std::size_t frameOffset_ = 0;
};

}  // namespace fixture_sim
