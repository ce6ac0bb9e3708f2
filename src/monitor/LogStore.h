#pragma once
// The receive log's contents: a list of lines, each with a colour.
//
// Built to hold tens of millions of lines. A line that shows one received
// byte is kept as the byte and the format it was received in (2 bytes per
// line); its text is only made when asked for (painting, saving, whole
// text). Decoder lines keep their text in an arena. Colours are kept as runs,
// since they change once per report at most. Storage grows in fixed-size
// chunks, so growing never copies the log. Texts are 8-bit Windows-1252
// strings, as every text of the monitor is.
//
// Not thread-safe: the user-interface thread owns it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/ChunkedArray.h"

namespace monitor {

// 0xRRGGBB
using Rgb = std::uint32_t;
inline constexpr Rgb kBlue = 0x0000FF;
inline constexpr Rgb kGreen = 0x008000;
inline constexpr Rgb kRed = 0xFF0000;

// How a received byte is written as a line of its own.
enum class ByteForm : std::uint8_t {
  Character,    // the byte as a Windows-1252 character, " CHR(n) " below 32
  Decimal,      // "65 "
  Hexadecimal,  // "0D "
  Blank,        // a display format without a name: the empty text and a space
};

// The text of one byte in one form (cp1252 bytes). The one place that knows
// the byte formats, shared by the store, the view and the tests.
std::string ByteText(std::uint8_t byte, ByteForm form);

// The same text without an allocation: a view of a table that lives as long
// as the program.
std::string_view ByteTextView(std::uint8_t byte, ByteForm form);

class LogStore {
 public:
  // The lines from first_line on have this colour, up to the next run.
  struct ColourRun {
    std::uint64_t first_line;
    Rgb colour;
  };

  LogStore() = default;
  LogStore(const LogStore&) = delete;
  LogStore& operator=(const LogStore&) = delete;

  // A new last line showing ByteText(byte, form), in the insertion colour.
  void AppendByte(std::uint8_t byte, ByteForm form) {
    NoteColour();
    entries_.push_back(static_cast<Entry>((static_cast<unsigned>(form) << 8 | byte) & kByteMask));
    ++revision_;
  }

  // A new last line holding a Windows-1252 text (none: an empty line), in
  // the insertion colour. The text is kept as given, control bytes included.
  void AppendLine(std::string_view text = {});

  // The colour of the lines appended from now on; kBlue, the log's font
  // colour, at start. Lines already in the log keep theirs.
  void SetInsertionColour(Rgb colour) { insertion_colour_ = colour & 0xFFFFFF; }
  Rgb InsertionColour() const { return insertion_colour_; }

  // Removes every line and frees their memory; the insertion colour stays.
  void Clear();

  std::size_t LineCount() const { return entries_.size(); }
  // Line i, 0 <= i < LineCount(), as Windows-1252 text.
  std::string LineText(std::size_t i) const { return std::string(LineView(i)); }
  // The same without a copy; valid until Clear().
  std::string_view LineView(std::size_t i) const;
  Rgb LineColour(std::size_t i) const;

  // Every line followed by CR LF, the last one included.
  std::string WholeText() const;

  // Changes with every line appended and every Clear(); a view compares it
  // to know whether it has to repaint.
  std::uint64_t Revision() const { return revision_; }
  // Counts the Clear() calls: a view that sees it change drops its
  // selection and scroll position, which referred to lines now gone.
  std::uint64_t ClearCount() const { return clear_count_; }

  // Every colour change, in line order; empty while the log is empty.
  std::span<const ColourRun> ColourRuns() const { return runs_; }

  // Calls fn(std::string_view text, Rgb colour) for the lines first to
  // last - 1 in order (last is clipped to LineCount()). The fast way to
  // read many lines: no allocation, no search per line.
  template <typename Fn>
  void ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const;

 private:
  // One line: below kEmpty the byte (bits 0-7) and its ByteForm (bits 8-9);
  // otherwise an empty line or a text line, whose text is the next one of
  // texts_ (text lines are found by their line number, in order).
  using Entry = std::uint16_t;
  static constexpr Entry kByteMask = 0x3FF;
  static constexpr Entry kEmpty = 0x400;
  static constexpr Entry kText = 0x800;

  struct TextLine {
    std::uint64_t line;
    const char* data;
    std::size_t size;
    std::string_view View() const { return {data, size}; }
  };

  void NoteColour() {
    if (runs_.empty() || runs_.back().colour != insertion_colour_)
      runs_.push_back({entries_.size(), insertion_colour_});
  }
  const char* StoreText(std::string_view text);
  std::size_t RunOf(std::size_t line) const;
  std::size_t FirstTextFrom(std::size_t line) const;

  ChunkedArray<Entry, 18> entries_;       // 512 KiB chunks
  ChunkedArray<TextLine, 10> text_lines_;
  std::vector<std::unique_ptr<char[]>> text_blocks_;
  char* text_tail_ = nullptr;
  std::size_t text_free_ = 0;
  std::vector<ColourRun> runs_;
  Rgb insertion_colour_ = kBlue;
  std::uint64_t revision_ = 0;
  std::uint64_t clear_count_ = 0;
};

template <typename Fn>
void LogStore::ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const {
  last = std::min(last, LineCount());
  if (first >= last) return;
  std::size_t run = RunOf(first);
  std::size_t next_run_line = std::numeric_limits<std::size_t>::max();
  if (run + 1 < runs_.size()) next_run_line = runs_[run + 1].first_line;
  Rgb colour = runs_[run].colour;
  std::size_t text = FirstTextFrom(first);
  for (std::size_t i = first; i < last;) {
    std::size_t count = 0;
    const Entry* entry = entries_.ChunkFrom(i, count);
    count = std::min(count, last - i);
    for (const Entry* end = entry + count; entry != end; ++entry, ++i) {
      if (i == next_run_line) {
        colour = runs_[++run].colour;
        next_run_line = run + 1 < runs_.size() ? runs_[run + 1].first_line
                                                : std::numeric_limits<std::size_t>::max();
      }
      const Entry e = *entry;
      if (e < kEmpty) {
        fn(ByteTextView(static_cast<std::uint8_t>(e), static_cast<ByteForm>(e >> 8)), colour);
      } else if (e == kText) {
        fn(text_lines_[text++].View(), colour);
      } else {
        fn(std::string_view(), colour);
      }
    }
  }
}

}  // namespace monitor
