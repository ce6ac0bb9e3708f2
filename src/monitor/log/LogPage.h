#pragma once
// A page of the receive log: a run of consecutive lines kept as one block,
// the unit the log moves to its spill file and back.
//
// A page holds, per line, one 16-bit entry: below kEmpty a received byte
// (bits 0-7) and its ByteForm (bits 8-9), so a byte line costs 2 bytes;
// kEmpty an empty line; kText a text line, whose text is found through the
// page's text index. Colours are kept as runs, since they change once per
// report at most. Everything a line needs is in its page, so a page read
// back from disk is complete.
//
// A packed page is one buffer: the colour runs, the text index, the entries,
// the text bytes, in that order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "monitor/log/LogLine.h"

namespace monitor {

// The sizes of a page's parts.
struct PageShape {
  std::uint32_t lines = 0;
  std::uint32_t texts = 0;
  std::uint32_t runs = 0;
  std::uint32_t text_bytes = 0;
  // The size of the packed page.
  std::size_t Bytes() const {
    return 8 * (std::size_t{runs} + texts) + 2 * std::size_t{lines} + text_bytes;
  }
};

// The lines of one page, packed or still being built. A view; the page must
// outlive it.
class PageView {
 public:
  struct Run {
    std::uint32_t line;  // in the page
    Rgb colour;
  };
  struct TextRef {
    std::uint32_t line;  // in the page
    std::uint32_t end;   // offset just past the text; it starts where the previous one ends
  };
  using Entry = std::uint16_t;
  static constexpr Entry kByteMask = 0x3FF;
  static constexpr Entry kEmpty = 0x400;
  static constexpr Entry kText = 0x800;

  PageView() = default;
  PageView(const char* packed, const PageShape& shape);
  PageView(std::span<const Run> runs, std::span<const TextRef> texts,
           std::span<const Entry> entries, const char* text)
      : runs_(runs), texts_(texts), entries_(entries), text_(text) {}

  std::size_t LineCount() const { return entries_.size(); }
  // Line i of the page, i < LineCount().
  std::string_view Line(std::size_t i) const;
  Rgb Colour(std::size_t i) const;
  // The number of characters of the lines first to last - 1.
  std::uint64_t CharCount(std::size_t first, std::size_t last) const;

  // Calls fn(std::string_view text, Rgb colour) for the lines first to
  // last - 1 of the page, last <= LineCount().
  template <typename Fn>
  void ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const;

 private:
  std::size_t RunOf(std::size_t line) const;
  std::size_t FirstTextFrom(std::size_t line) const;
  std::string_view Text(std::size_t k) const {
    const std::uint32_t begin = k == 0 ? 0 : texts_[k - 1].end;
    return {text_ + begin, texts_[k].end - begin};
  }

  std::span<const Run> runs_;
  std::span<const TextRef> texts_;
  std::span<const Entry> entries_;
  const char* text_ = nullptr;
};

// A page packed into its one buffer, shared by the log and its snapshots.
struct PackedPage {
  std::shared_ptr<const char[]> data;
  PageShape shape;
  std::uint64_t chars = 0;  // characters of all its lines
};

// The page being filled: the last lines of the log.
class PageBuilder {
 public:
  // A page is full when its packed size reaches page_bytes (at least 64) or
  // it holds 2^20 lines.
  explicit PageBuilder(std::size_t page_bytes);

  void AppendByte(std::uint8_t byte, ByteForm form, Rgb colour) {
    NoteColour(colour);
    const auto entry = static_cast<PageView::Entry>(
        (static_cast<unsigned>(form) << 8 | byte) & PageView::kByteMask);
    entries_.push_back(entry);
    chars_ += ByteTextView(byte, form).size();
    bytes_ += 2;
  }
  // A text line; an empty text makes an empty line.
  void AppendText(std::string_view text, Rgb colour);

  bool Full() const { return bytes_ >= page_bytes_ || entries_.size() >= kMaxLines; }
  bool Empty() const { return entries_.empty(); }
  std::size_t LineCount() const { return entries_.size(); }
  std::size_t Bytes() const { return bytes_; }
  std::uint64_t Chars() const { return chars_; }
  PageView View() const { return PageView(runs_, texts_, entries_, text_.data()); }

  // The page packed; the builder keeps its lines.
  PackedPage Pack() const;
  // Empties the builder for the next page, keeping its buffers.
  void Reset();

 private:
  static constexpr std::size_t kMaxLines = std::size_t{1} << 20;
  void NoteColour(Rgb colour) {
    if (runs_.empty() || runs_.back().colour != colour)
      NewRun(colour);
  }
  void NewRun(Rgb colour);

  std::size_t page_bytes_;
  std::vector<PageView::Run> runs_;
  std::vector<PageView::TextRef> texts_;
  std::vector<PageView::Entry> entries_;
  std::vector<char> text_;
  std::size_t bytes_ = 0;
  std::uint64_t chars_ = 0;
};

template <typename Fn>
void PageView::ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const {
  if (first >= last) return;
  std::size_t run = RunOf(first);
  std::size_t next_run_line = run + 1 < runs_.size() ? runs_[run + 1].line : SIZE_MAX;
  Rgb colour = runs_[run].colour;
  std::size_t text = FirstTextFrom(first);
  const Entry* entry = entries_.data() + first;
  for (std::size_t i = first; i < last; ++i, ++entry) {
    if (i == next_run_line) {
      colour = runs_[++run].colour;
      next_run_line = run + 1 < runs_.size() ? runs_[run + 1].line : SIZE_MAX;
    }
    const Entry e = *entry;
    if (e < kEmpty) {
      fn(ByteTextView(static_cast<std::uint8_t>(e), static_cast<ByteForm>(e >> 8)), colour);
    } else if (e == kText) {
      fn(Text(text++), colour);
    } else {
      fn(std::string_view(), colour);
    }
  }
}

}  // namespace monitor
