#include "monitor/log/LogSnapshot.h"

namespace monitor {

std::uint64_t LogSnapshot::CharCount(const LogRange& range) const {
  const std::size_t count = LineCount();
  if (count == 0 || range.first_line >= count) return 0;
  const std::size_t last = std::min(range.last_line, count - 1);
  if (last < range.first_line) return 0;
  // Whole lines through the page counts, then the columns cut off at both
  // ends.
  std::uint64_t chars = pages_.CharCount(range.first_line, last + 1);
  const std::size_t last_size = pages_.Line(last).size();
  const std::size_t to = std::min(range.last_column, last_size);
  chars -= last_size - to;
  const std::size_t first_size = range.first_line == last ? to : pages_.Line(range.first_line).size();
  chars -= std::min(range.first_column, first_size);
  return chars;
}

void LogSnapshot::ReleaseBefore(std::size_t line) {
  for (LogPages::Page& page : pages_.Pages()) {
    if (page.first_line + page.shape.lines > line) break;
    // A page both in memory and on disk (none now) would stay readable;
    // one only in memory is gone for this snapshot.
    page.memory.reset();
  }
}

}  // namespace monitor
