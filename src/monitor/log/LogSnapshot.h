#pragma once
// The receive log as it was at one moment, for a thread other than the
// log's own: a save or a copy runs on it while the log goes on growing, is
// cleared or spills to disk. Taking one costs a reference per page and a
// copy of the last, unfinished page; the lines themselves are shared.
//
// One thread at a time; moved to the thread that reads it.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "monitor/log/LogPages.h"

namespace monitor {

// A stretch of the log's text: from a column of one line through a column
// of another. Columns are byte offsets in the Windows-1252 text.
struct LogRange {
  std::size_t first_line = 0;
  std::size_t first_column = 0;  // the first line from this byte
  std::size_t last_line = std::numeric_limits<std::size_t>::max();    // clipped to the log
  std::size_t last_column = std::numeric_limits<std::size_t>::max();  // up to, not including
};

class LogSnapshot {
 public:
  LogSnapshot() = default;
  LogSnapshot(LogPages pages, std::vector<Rgb> colours, Rgb insertion_colour)
      : pages_(std::move(pages)),
        colours_(std::move(colours)),
        insertion_colour_(insertion_colour) {}

  std::size_t LineCount() const { return pages_.LineCount(); }
  // Every colour of the log, each once, in the order of first use; empty for
  // an empty log.
  const std::vector<Rgb>& Colours() const { return colours_; }
  // The log's insertion colour when the snapshot was taken.
  Rgb InsertionColour() const { return insertion_colour_; }

  std::string_view LineView(std::size_t i) const { return pages_.Line(i); }
  Rgb LineColour(std::size_t i) const { return pages_.Colour(i); }

  template <typename Fn>
  void ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const {
    pages_.ForEachLine(first, last, fn);
  }

  // Calls fn(std::string_view text, Rgb colour) for each line of the range,
  // clipped to its columns.
  template <typename Fn>
  void ForEachInRange(const LogRange& range, Fn&& fn) const;

  // The characters of the range (its line breaks not counted).
  std::uint64_t CharCount(const LogRange& range) const;

  // Lets go of the pages held in memory that lie wholly before `line`: a
  // reader that went past them frees their memory. Those lines must not be
  // read again.
  void ReleaseBefore(std::size_t line);

 private:
  LogPages pages_;
  std::vector<Rgb> colours_;
  Rgb insertion_colour_ = kBlue;
};

template <typename Fn>
void LogSnapshot::ForEachInRange(const LogRange& range, Fn&& fn) const {
  const std::size_t count = LineCount();
  if (count == 0 || range.first_line >= count) return;
  const std::size_t last = std::min(range.last_line, count - 1);
  std::size_t i = range.first_line;
  pages_.ForEachLine(range.first_line, last + 1, [&](std::string_view text, Rgb colour) {
    const std::size_t to = i == last ? std::min(range.last_column, text.size()) : text.size();
    const std::size_t from = i == range.first_line ? std::min(range.first_column, to) : 0;
    ++i;
    fn(text.substr(from, to - from), colour);
  });
}

}  // namespace monitor
