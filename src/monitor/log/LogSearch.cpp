#include "monitor/log/LogSearch.h"

#include <algorithm>
#include <array>
#include <optional>

namespace monitor {
namespace {

// The lower-case form of each Windows-1252 byte: ASCII, the Latin-1 letters
// (C0 to DE but the multiplication sign D7) and the four pairs of the 80 to
// 9F block (Š, Œ, Ž, Ÿ).
constexpr std::array<std::uint8_t, 256> MakeFold() {
  std::array<std::uint8_t, 256> fold{};
  for (unsigned b = 0; b < 256; ++b) fold[b] = static_cast<std::uint8_t>(b);
  for (unsigned b = 'A'; b <= 'Z'; ++b) fold[b] = static_cast<std::uint8_t>(b + 32);
  for (unsigned b = 0xC0; b <= 0xDE; ++b)
    if (b != 0xD7) fold[b] = static_cast<std::uint8_t>(b + 32);
  fold[0x8A] = 0x9A;
  fold[0x8C] = 0x9C;
  fold[0x8E] = 0x9E;
  fold[0x9F] = 0xFF;
  return fold;
}
constexpr std::array<std::uint8_t, 256> kFold = MakeFold();

std::uint8_t Fold(char c) { return kFold[static_cast<std::uint8_t>(c)]; }

// The first match in `text` starting at a column in [from, to), or the last
// one when `last`.
std::optional<std::size_t> FindIn(std::string_view text, std::string_view needle, bool match_case,
                                  std::size_t from, std::size_t to, bool last) {
  if (needle.size() > text.size()) return std::nullopt;
  to = std::min(to, text.size() - needle.size() + 1);
  std::optional<std::size_t> found;
  for (std::size_t at = from; at < to; ++at) {
    if (match_case) {
      at = text.find(needle, at);
      if (at == std::string_view::npos || at >= to) break;
    } else {
      const std::uint8_t first = Fold(needle[0]);
      while (at < to && Fold(text[at]) != first) ++at;
      if (at >= to) break;
      std::size_t i = 1;
      while (i < needle.size() && Fold(text[at + i]) == Fold(needle[i])) ++i;
      if (i != needle.size()) continue;
    }
    found = at;
    if (!last) break;
  }
  return found;
}

}  // namespace

LogSearch::LogSearch(const LogStore& log, std::string_view cp1252Text, bool match_case,
                     bool forward, std::size_t line, std::size_t column)
    : log_(log),
      needle_(cp1252Text),
      match_case_(match_case),
      forward_(forward),
      count_(log.LineCount()),
      clear_count_(log.ClearCount()),
      drop_count_(log.DropCount()) {
  if (needle_.empty() || count_ == 0) {
    state_ = State::NotFound;
    return;
  }
  start_line_ = std::min(line, count_ - 1);
  start_column_ = column;
}

double LogSearch::Progress() const {
  if (state_ != State::Searching) return 1.0;
  return static_cast<double>(visited_) / static_cast<double>(count_ + 1);
}

bool LogSearch::Search(std::string_view text, std::size_t line, std::size_t from, std::size_t to) {
  const auto at = FindIn(text, needle_, match_case_, from, to, !forward_);
  if (!at) return false;
  match_ = {line, *at, needle_.size()};
  return true;
}

LogSearch::State LogSearch::Step(std::size_t lines) {
  if (state_ != State::Searching) return state_;
  if (log_.ClearCount() != clear_count_ || log_.DropCount() != drop_count_) {
    return state_ = State::NotFound;
  }
  const std::size_t total = count_ + 1;  // the start line is visited first and last
  lines = std::max<std::size_t>(1, lines);
  while (lines > 0 && visited_ < total) {
    // The visit k looks at line (start + k) mod count forward, (start - k)
    // backward; a run of visits that does not wrap is one read of the log.
    const std::size_t k = visited_;
    const std::size_t line = forward_ ? (start_line_ + k) % count_
                                      : (start_line_ + count_ - k % count_) % count_;
    const bool first = k == 0;
    const bool closing = k == count_;
    std::size_t run = 1;
    if (!first && !closing) {
      const std::size_t room = forward_ ? count_ - line : line + 1;
      run = std::min({lines, room, count_ - k});
    }
    const std::size_t lo = forward_ ? line : line + 1 - run;
    bool found = false;
    std::size_t i = lo;
    log_.ForEachLine(lo, lo + run, [&](std::string_view text, Rgb) {
      const std::size_t at = i++;
      if (found && forward_) return;
      // The start line: from the start column on the way out, before it on
      // the way back (backward the other way round).
      std::size_t from = 0;
      std::size_t to = std::string_view::npos;
      if (first) (forward_ ? from : to) = start_column_;
      if (closing) (forward_ ? to : from) = start_column_;
      // Backward, a later line of the run is nearer: it replaces a match.
      if (Search(text, at, from, to)) found = true;
    });
    visited_ += run;
    lines -= std::min(lines, run);
    if (found) return state_ = State::Found;
  }
  if (visited_ >= total) state_ = State::NotFound;
  return state_;
}

}  // namespace monitor
