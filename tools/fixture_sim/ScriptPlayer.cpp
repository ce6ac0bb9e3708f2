#include "fixture_sim/ScriptPlayer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "fixture_sim/PaceSchedule.h"
#include "fixture_sim/StreamSource.h"

namespace fixture_sim {
namespace {

void Add(PlayOutcome& total, const PlayOutcome& part) {
  total.end = part.end;
  total.error = part.error;
  total.written += part.written;
  total.dropped += part.dropped;
}

void Count(PlayOutcome& outcome, const WriteOutcome& write) {
  (write.dropped ? outcome.dropped : outcome.written) += write.taken;
}

}  // namespace

ScriptPlayer::ScriptPlayer(Line& line, const StopSignal& stop) : line_(line), stop_(stop) {}

bool ScriptPlayer::WaitOn(bool forWrite, PaceTime deadline, PlayOutcome& outcome) {
  if (const auto error = line_.Wait(forWrite, deadline, stop_)) {
    outcome.end = PlayEnd::peFailed;
    outcome.error = error;
    return false;
  }
  return true;
}

bool ScriptPlayer::WriteAll(std::span<const std::uint8_t> bytes, PlayOutcome& outcome) {
  while (!bytes.empty()) {
    if (stop_.Raised()) {
      outcome.end = PlayEnd::peStopped;
      return false;
    }
    const WriteOutcome write = line_.Write(bytes);
    if (write.error) {
      outcome.end = PlayEnd::peFailed;
      outcome.error = write.error;
      return false;
    }
    Count(outcome, write);
    bytes = bytes.subspan(write.taken);
    if (!bytes.empty() && write.taken == 0 && !WaitOn(true, PaceTime::max(), outcome)) {
      return false;
    }
  }
  return true;
}

PlayOutcome ScriptPlayer::WriteBytes(std::span<const std::uint8_t> bytes) {
  PlayOutcome outcome;
  WriteAll(bytes, outcome);
  return outcome;
}

PlayOutcome ScriptPlayer::Pause(std::chrono::milliseconds duration) {
  PlayOutcome outcome;
  const PaceTime deadline = line_.Now() + duration;
  for (;;) {
    if (stop_.Raised()) {
      outcome.end = PlayEnd::peStopped;
      break;
    }
    if (line_.Now() >= deadline || !WaitOn(false, deadline, outcome)) break;
  }
  return outcome;
}

PlayOutcome ScriptPlayer::Stream(const StreamCommand& stream) {
  PlayOutcome outcome;
  PaceSchedule schedule(stream.count, stream.rate, line_.Now());
  StreamSource source(stream.pattern, stream.seed);
  std::vector<std::uint8_t> buffer(schedule.Chunk());
  while (!schedule.Done()) {
    if (stop_.Raised()) {
      outcome.end = PlayEnd::peStopped;
      break;
    }
    const std::uint64_t allowed = schedule.Allowed(line_.Now());
    if (allowed == 0) {
      if (!WaitOn(false, schedule.NextDue(), outcome)) break;
      continue;
    }
    const std::span<std::uint8_t> chunk(buffer.data(), static_cast<std::size_t>(allowed));
    source.Fill(chunk);
    // The whole chunk goes out before the schedule is asked again, so that
    // every byte the source made is written exactly once.
    const std::uint64_t before = outcome.written + outcome.dropped;
    const bool goOn = WriteAll(chunk, outcome);
    schedule.Sent(outcome.written + outcome.dropped - before);
    if (!goOn) break;
  }
  return outcome;
}

PlayOutcome ScriptPlayer::Play(const Script& script) {
  PlayOutcome total;
  for (const ScriptCommand& command : script) {
    if (observer_) observer_(command);
    PlayOutcome part;
    if (const auto* bytes = std::get_if<BytesCommand>(&command.action)) {
      part = WriteBytes(bytes->bytes);
    } else if (const auto* pause = std::get_if<PauseCommand>(&command.action)) {
      part = Pause(pause->duration);
    } else {
      part = Stream(std::get<StreamCommand>(command.action));
    }
    Add(total, part);
    if (total.end != PlayEnd::peFinished) break;
  }
  return total;
}

namespace {

PlayOutcome WithFdLine(int fd, const StopSignal* stop,
                       const std::function<PlayOutcome(ScriptPlayer&)>& play) {
  FdLine line(fd);
  std::optional<StopSignal> ownStop;
  if (stop == nullptr) stop = &ownStop.emplace();
  ScriptPlayer player(line, *stop);
  return play(player);
}

}  // namespace

PlayOutcome WriteScript(int fd, const Script& script, const StopSignal* stop) {
  return WithFdLine(fd, stop, [&](ScriptPlayer& player) { return player.Play(script); });
}

PlayOutcome WritePacedStream(int fd, const StreamCommand& stream, const StopSignal* stop) {
  return WithFdLine(fd, stop, [&](ScriptPlayer& player) { return player.Stream(stream); });
}

}  // namespace fixture_sim
