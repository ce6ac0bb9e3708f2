#include "monitor/log/LogPage.h"

#include <cstring>

namespace monitor {

PageView::PageView(const char* packed, const PageShape& shape) {
  // Every part is aligned for its elements: the buffer is, runs and text
  // references are 8 bytes each, entries 2.
  const char* p = packed;
  runs_ = {reinterpret_cast<const Run*>(p), shape.runs};
  p += sizeof(Run) * shape.runs;
  texts_ = {reinterpret_cast<const TextRef*>(p), shape.texts};
  p += sizeof(TextRef) * shape.texts;
  entries_ = {reinterpret_cast<const Entry*>(p), shape.lines};
  p += sizeof(Entry) * shape.lines;
  text_ = p;
}

std::size_t PageView::RunOf(std::size_t line) const {
  // The last run starting at or before the line; the first starts at 0.
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), line,
                                       [](std::size_t l, const Run& run) { return l < run.line; });
  return static_cast<std::size_t>(after - runs_.begin()) - 1;
}

std::size_t PageView::FirstTextFrom(std::size_t line) const {
  const auto it = std::lower_bound(texts_.begin(), texts_.end(), line,
                                   [](const TextRef& t, std::size_t l) { return t.line < l; });
  return static_cast<std::size_t>(it - texts_.begin());
}

std::string_view PageView::Line(std::size_t i) const {
  const Entry e = entries_[i];
  if (e < kEmpty) return ByteTextView(static_cast<std::uint8_t>(e), static_cast<ByteForm>(e >> 8));
  if (e == kText) return Text(FirstTextFrom(i));
  return {};
}

Rgb PageView::Colour(std::size_t i) const { return runs_[RunOf(i)].colour; }

std::uint64_t PageView::CharCount(std::size_t first, std::size_t last) const {
  std::uint64_t chars = 0;
  ForEachLine(first, last, [&chars](std::string_view text, Rgb) { chars += text.size(); });
  return chars;
}

PageBuilder::PageBuilder(std::size_t page_bytes) : page_bytes_(std::max<std::size_t>(64, page_bytes)) {
  // The entries never move while a page fills: no copy on the receive path.
  entries_.reserve(std::min(kMaxLines, page_bytes_ / sizeof(PageView::Entry) + 1));
}

void PageBuilder::NewRun(Rgb colour) {
  runs_.push_back({static_cast<std::uint32_t>(entries_.size()), colour});
  bytes_ += sizeof(PageView::Run);
}

void PageBuilder::AppendText(std::string_view text, Rgb colour) {
  NoteColour(colour);
  if (text.empty()) {
    entries_.push_back(PageView::kEmpty);
    bytes_ += sizeof(PageView::Entry);
    return;
  }
  text_.insert(text_.end(), text.begin(), text.end());
  texts_.push_back(
      {static_cast<std::uint32_t>(entries_.size()), static_cast<std::uint32_t>(text_.size())});
  entries_.push_back(PageView::kText);
  bytes_ += sizeof(PageView::Entry) + sizeof(PageView::TextRef) + text.size();
  chars_ += text.size();
}

PackedPage PageBuilder::Pack() const {
  PackedPage page;
  page.shape = {static_cast<std::uint32_t>(entries_.size()), static_cast<std::uint32_t>(texts_.size()),
                static_cast<std::uint32_t>(runs_.size()), static_cast<std::uint32_t>(text_.size())};
  page.chars = chars_;
  auto data = std::make_shared_for_overwrite<char[]>(std::max<std::size_t>(1, page.shape.Bytes()));
  char* p = data.get();
  auto put = [&p](const void* from, std::size_t size) {
    if (size != 0) std::memcpy(p, from, size);
    p += size;
  };
  put(runs_.data(), sizeof(PageView::Run) * runs_.size());
  put(texts_.data(), sizeof(PageView::TextRef) * texts_.size());
  put(entries_.data(), sizeof(PageView::Entry) * entries_.size());
  put(text_.data(), text_.size());
  page.data = std::move(data);
  return page;
}

void PageBuilder::Reset() {
  runs_.clear();
  texts_.clear();
  entries_.clear();
  text_.clear();
  // A page with one long text would keep its buffer; the next page need not.
  if (text_.capacity() > page_bytes_) text_.shrink_to_fit();
  bytes_ = 0;
  chars_ = 0;
}

}  // namespace monitor
