#pragma once
// Where the player's bytes go: the fixture's end of a serial line. The player
// never blocks in a write; it writes what the line takes now and otherwise
// sleeps in Wait, which also watches the stop signal, so that a stop is seen
// at once even while the other side reads nothing.
//
// One thread uses a line at a time.
#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

#include "fixture_sim/PaceSchedule.h"
#include "fixture_sim/StopSignal.h"

namespace fixture_sim {

struct WriteOutcome {
  std::size_t taken = 0;  // bytes consumed from the front of the request
  bool dropped = false;   // consumed, but lost: nobody has the other end open
  std::error_code error;  // the line failed; nothing was taken
};

class Line {
 public:
  virtual ~Line() = default;

  // Writes what the line takes now, without blocking; may take nothing.
  virtual WriteOutcome Write(std::span<const std::uint8_t> bytes) = 0;

  // Sleeps until `deadline` (PaceTime::max() for none), until `stop` is
  // raised, or, with `forWrite`, until the line may take bytes again; may
  // also return early, so callers check their condition again. While it
  // sleeps the line serves what the other side sends. Returns an error when
  // the line failed.
  virtual std::error_code Wait(bool forWrite, PaceTime deadline, const StopSignal& stop) = 0;

  // The clock that Wait's deadlines refer to.
  virtual PaceTime Now() const { return PaceClock::now(); }
};

}  // namespace fixture_sim
