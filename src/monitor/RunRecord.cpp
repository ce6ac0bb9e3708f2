#include "monitor/RunRecord.h"

#include <cstdio>
#include <ctime>

namespace monitor {

DateTimeStamp LocalStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::optional<FinishedRun> RunTracker::Close(std::size_t last_line, RunOutcome outcome,
                                             std::uint64_t drop_count) {
  if (!open_) return std::nullopt;
  open_ = false;
  // Dropped lines lay before the newest ones, so a run they hit has lost its
  // beginning: what remains of it starts at the log's first line still
  // there. Line 0 is then the drop's own marker line, which says so.
  const std::size_t first = drop_count != drop_count_ ? 0 : first_;
  if (first > last_line) return std::nullopt;
  return FinishedRun{first, last_line, outcome, started_};
}

std::optional<FinishedRun> RunTracker::Started(std::size_t line, DateTimeStamp when,
                                               std::uint64_t drop_count) {
  std::optional<FinishedRun> cut;
  if (open_ && line > 0) cut = Close(line - 1, RunOutcome::Interrupted, drop_count);
  open_ = true;
  first_ = line;
  drop_count_ = drop_count;
  started_ = when;
  return cut;
}

std::optional<FinishedRun> RunTracker::Ended(std::size_t line, bool approved,
                                             std::uint64_t drop_count) {
  return Close(line, approved ? RunOutcome::Approved : RunOutcome::Rejected, drop_count);
}

std::optional<FinishedRun> RunTracker::Cut(std::size_t line_count, std::uint64_t drop_count) {
  if (!open_) return std::nullopt;
  if (line_count == 0) {
    open_ = false;
    return std::nullopt;
  }
  return Close(line_count - 1, RunOutcome::Interrupted, drop_count);
}

std::string EvidenceBaseName(const DateTimeStamp& t, RunOutcome outcome) {
  const char* verdict = outcome == RunOutcome::Approved   ? "APROVADA"
                        : outcome == RunOutcome::Rejected ? "REPROVADA"
                                                          : "INTERROMPIDA";
  char name[64];
  std::snprintf(name, sizeof name, "%04d-%02d-%02d_%02d-%02d-%02d_%s", t.year, t.month, t.day,
                t.hour, t.minute, t.second, verdict);
  return name;
}

}  // namespace monitor
