#pragma once
// Finding a text in the receive log, in steps: the whole log is searched,
// the lines kept on disk included, a bounded number of lines per Step(), so
// that the user-interface thread that owns the log can search a log of any
// length and go on serving its events between steps.
//
// A search goes from a position (the end of the selection forward, its
// start backward) round the log once: to the end, then from the start back
// to where it began (backward: to the start, then from the end). The lines
// it goes round are those the log had when it started; lines appended
// meanwhile are not searched. A log that is cleared or drops lines between
// steps (ClearCount() or DropCount() changes) ends the search as not found:
// the positions it held are gone.
//
// Texts are Windows-1252, as the log's. Without matching case, letters are
// compared as their lower-case forms in that code page (A and a, Ç and ç,
// Š and š). An empty text is never found.
//
// Not thread-safe: the thread that owns the log.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/log/LogStore.h"

namespace monitor {

struct LogMatch {
  std::size_t line = 0;
  std::size_t column = 0;  // byte offset in the line
  std::size_t length = 0;
};

class LogSearch {
 public:
  enum class State : std::uint8_t { Searching, Found, NotFound };

  // Starts at `column` of `line` of `log` (clipped to the log).
  LogSearch(const LogStore& log, std::string_view cp1252Text, bool match_case, bool forward,
            std::size_t line, std::size_t column);

  // Looks at up to `lines` more lines; Searching while there are more.
  State Step(std::size_t lines);
  State Current() const { return state_; }
  // With Found.
  const LogMatch& Match() const { return match_; }
  // The part of the log gone round, 0 to 1.
  double Progress() const;

 private:
  bool Search(std::string_view text, std::size_t line, std::size_t from, std::size_t to);

  const LogStore& log_;
  std::string needle_;
  bool match_case_;
  bool forward_;
  std::size_t start_line_ = 0;
  std::size_t start_column_ = 0;
  std::size_t count_ = 0;      // lines when the search started
  std::size_t visited_ = 0;    // of the count_ + 1 visits (the start line twice)
  std::uint64_t clear_count_ = 0;
  std::uint64_t drop_count_ = 0;
  State state_ = State::Searching;
  LogMatch match_;
};

}  // namespace monitor
