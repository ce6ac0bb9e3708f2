#include "fixture_sim/ReportFrame.h"

#include <stdexcept>

namespace fixture_sim {

std::vector<std::uint8_t> EncodeReportFrame(std::span<const std::uint8_t> fields) {
  if (fields.size() > kMostFrameFields) {
    throw std::invalid_argument("a test report frame holds at most 98 fields");
  }
  std::vector<std::uint8_t> frame;
  frame.reserve(kFrameHeader + fields.size());
  frame.push_back(kFrameStart);
  frame.push_back(static_cast<std::uint8_t>(kFrameHeader + fields.size()));
  frame.push_back(kFrameMarker);
  frame.insert(frame.end(), fields.begin(), fields.end());
  return frame;
}

}  // namespace fixture_sim
