#pragma once
// Plays a script, or a single stream or byte run, onto a Line: bytes in
// order, pauses timed from the line's clock, streams paced by PaceSchedule.
// Every wait also watches the stop signal; a raised stop ends the play at the
// next write or wait (bytes already handed to the line stay sent).
//
// For tests and benchmarks that need the same pacing on a descriptor of their
// own, WriteScript and WritePacedStream wrap an FdLine.
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <system_error>

#include "fixture_sim/FdLine.h"
#include "fixture_sim/Line.h"
#include "fixture_sim/Script.h"
#include "fixture_sim/StopSignal.h"

namespace fixture_sim {

enum class PlayEnd : std::uint8_t { peFinished, peStopped, peFailed };

struct PlayOutcome {
  PlayEnd end = PlayEnd::peFinished;
  std::error_code error;      // why, with peFailed
  std::uint64_t written = 0;  // bytes the line took
  std::uint64_t dropped = 0;  // bytes lost because nobody listened
};

class ScriptPlayer {
 public:
  // Both must outlive the player.
  ScriptPlayer(Line& line, const StopSignal& stop);

  // Called before each command of Play (a trace, for instance).
  void OnCommand(std::function<void(const ScriptCommand&)> observer) {
    observer_ = std::move(observer);
  }

  // Each returns the outcome of this call alone.
  PlayOutcome Play(const Script& script);
  PlayOutcome WriteBytes(std::span<const std::uint8_t> bytes);
  PlayOutcome Pause(std::chrono::milliseconds duration);
  PlayOutcome Stream(const StreamCommand& stream);

 private:
  // Writes all of `bytes` into `outcome`'s counts; false when the play ends.
  bool WriteAll(std::span<const std::uint8_t> bytes, PlayOutcome& outcome);
  bool WaitOn(bool forWrite, PaceTime deadline, PlayOutcome& outcome);

  Line& line_;
  const StopSignal& stop_;
  std::function<void(const ScriptCommand&)> observer_;
};

// The script's bytes onto `fd` (see FdLine for the descriptor's rules),
// pauses and pacing included. With `stop` null the play cannot be stopped.
PlayOutcome WriteScript(int fd, const Script& script, const StopSignal* stop = nullptr);

// One paced stream onto `fd`.
PlayOutcome WritePacedStream(int fd, const StreamCommand& stream, const StopSignal* stop = nullptr);

}  // namespace fixture_sim
