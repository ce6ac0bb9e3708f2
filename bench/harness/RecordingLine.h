#pragma once
// A fixture line that notes when each byte went out: it forwards to another
// line and, for every write the line took, records the stream offset after
// it and the time just before the write (a byte cannot be read before it is
// written, so a latency measured from this time is never too short).
//
// The writer thread alone uses it while the play runs; read the records
// after the play has ended.
#include <chrono>
#include <cstdint>
#include <vector>

#include "fixture_sim/Line.h"

namespace bench {

class RecordingLine final : public fixture_sim::Line {
 public:
  struct Sent {
    std::uint64_t end;  // stream offset after the write
    std::chrono::steady_clock::time_point at;
  };

  // `record`: false keeps only the byte count (no memory grows during a run).
  RecordingLine(fixture_sim::Line& inner, bool record) : inner_(inner), record_(record) {}

  fixture_sim::WriteOutcome Write(std::span<const std::uint8_t> bytes) override;
  std::error_code Wait(bool forWrite, fixture_sim::PaceTime deadline,
                       const fixture_sim::StopSignal& stop) override {
    return inner_.Wait(forWrite, deadline, stop);
  }
  fixture_sim::PaceTime Now() const override { return inner_.Now(); }

  std::uint64_t Written() const { return written_; }
  const std::vector<Sent>& Writes() const { return writes_; }
  void Reserve(std::size_t writes) { writes_.reserve(writes); }

 private:
  fixture_sim::Line& inner_;
  bool record_;
  std::uint64_t written_ = 0;
  std::vector<Sent> writes_;
};

}  // namespace bench
