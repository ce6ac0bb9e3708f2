#include "harness/RecordingLine.h"

namespace bench {

fixture_sim::WriteOutcome RecordingLine::Write(std::span<const std::uint8_t> bytes) {
  const auto at = std::chrono::steady_clock::now();
  fixture_sim::WriteOutcome outcome = inner_.Write(bytes);
  if (outcome.taken > 0 && !outcome.dropped) {
    written_ += outcome.taken;
    if (record_) writes_.push_back({written_, at});
  }
  return outcome;
}

}  // namespace bench
