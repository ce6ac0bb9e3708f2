#pragma once
// Where a test run lies in the receive log, from its test-start line to its
// verdict line, and the name its evidence file gets.
//
// The main window tells the tracker when a run starts and ends (the report
// decoder's RunStarted / RunEnded) and when the log is cut under an open run
// ("Limpar", a test start that clears the log, a closed or lost port, a new
// test start before a verdict): each returns the finished run, if any, for
// the window to save.
//
// Lines dropped by the log for want of disk move the lines after them: a run
// during which that happened starts, for the tracker, at the first line
// still in the log at or after its start (see Cut and Ended).
//
// User-interface thread only.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace monitor {

// A local date and time to the second.
struct DateTimeStamp {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
// The local clock now; any thread.
DateTimeStamp LocalStamp();

enum class RunOutcome : std::uint8_t { Approved, Rejected, Interrupted };

struct FinishedRun {
  std::size_t first_line = 0;
  std::size_t last_line = 0;  // included
  RunOutcome outcome = RunOutcome::Interrupted;
  DateTimeStamp started;
};

class RunTracker {
 public:
  // The test-start line is line `line`; a run still open is cut there (its
  // lines end before it) and returned as interrupted.
  std::optional<FinishedRun> Started(std::size_t line, DateTimeStamp when,
                                     std::uint64_t drop_count);
  // The verdict line is line `line`; nothing when no run is open.
  std::optional<FinishedRun> Ended(std::size_t line, bool approved, std::uint64_t drop_count);
  // The log is about to lose its lines, or the port is gone: the open run,
  // whose last line is line_count - 1, as interrupted; nothing when no run
  // is open or it has no line left.
  std::optional<FinishedRun> Cut(std::size_t line_count, std::uint64_t drop_count);
  bool Open() const { return open_; }

 private:
  std::optional<FinishedRun> Close(std::size_t last_line, RunOutcome outcome,
                                   std::uint64_t drop_count);

  bool open_ = false;
  std::size_t first_ = 0;
  std::uint64_t drop_count_ = 0;
  DateTimeStamp started_;
};

// "2026-12-09_14-03-07_APROVADA" (REPROVADA, INTERROMPIDA): the evidence
// file's name without its ".rtf".
std::string EvidenceBaseName(const DateTimeStamp& when, RunOutcome outcome);

}  // namespace monitor
