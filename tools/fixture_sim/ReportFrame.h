#pragma once
// Test report frames as the fixture puts them on the line:
//
//   FA <length> AA <result> <test> [<detail number> <error | verdict> <detail value> ...]
//
// <length> counts the whole frame, from the start byte through the last
// byte, so a frame holds at most 101 bytes: 98 fields after the marker.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fixture_sim {

inline constexpr std::uint8_t kFrameStart = 0xFA;
inline constexpr std::uint8_t kFrameMarker = 0xAA;
inline constexpr std::size_t kLongestFrame = 101;
inline constexpr std::size_t kFrameHeader = 3;  // start, length, marker
inline constexpr std::size_t kMostFrameFields = kLongestFrame - kFrameHeader;

// The frame carrying `fields` (result code first). Throws
// std::invalid_argument for more than kMostFrameFields fields.
std::vector<std::uint8_t> EncodeReportFrame(std::span<const std::uint8_t> fields);

}  // namespace fixture_sim
