#include "monitor/log/LogPages.h"

#include <algorithm>

namespace monitor {

std::size_t LogPages::PageOf(std::size_t line) const {
  const auto after = std::upper_bound(
      pages_.begin(), pages_.end(), line,
      [](std::size_t l, const Page& page) { return l < page.first_line; });
  return static_cast<std::size_t>(after - pages_.begin()) - 1;
}

PageView LogPages::View(std::size_t p, std::shared_ptr<const char[]>* keep) const {
  const Page& page = pages_[p];
  if (page.memory) {
    if (keep) *keep = page.memory;
    return PageView(page.memory.get(), page.shape);
  }
  CacheSlot* slot = nullptr;
  for (CacheSlot& s : cache_)
    if (s.data && s.offset == page.spill_offset) slot = &s;
  if (!slot) {
    // The least recently used slot gets the page.
    slot = &*std::min_element(cache_.begin(), cache_.end(),
                              [](const CacheSlot& a, const CacheSlot& b) { return a.used < b.used; });
    slot->data.reset();
    auto data = std::make_shared_for_overwrite<char[]>(std::max<std::size_t>(1, page.shape.Bytes()));
    spill_->Read(page.spill_offset, {data.get(), page.shape.Bytes()});
    slot->data = std::move(data);
    slot->offset = page.spill_offset;
  }
  slot->used = ++use_clock_;
  if (keep) *keep = slot->data;
  return PageView(slot->data.get(), page.shape);
}

std::string_view LogPages::Line(std::size_t line) const {
  const std::size_t p = PageOf(line);
  return View(p).Line(line - pages_[p].first_line);
}

Rgb LogPages::Colour(std::size_t line) const {
  const std::size_t p = PageOf(line);
  return View(p).Colour(line - pages_[p].first_line);
}

std::uint64_t LogPages::CharCount(std::size_t first, std::size_t last) const {
  last = std::min(last, LineCount());
  std::uint64_t chars = 0;
  for (std::size_t p = first < last ? PageOf(first) : pages_.size(); p < pages_.size() && first < last;
       ++p) {
    const Page& page = pages_[p];
    const std::size_t end = std::min<std::size_t>(last, page.first_line + page.shape.lines);
    if (first == page.first_line && end == page.first_line + page.shape.lines) {
      chars += page.chars;  // a whole page: no need to read it
    } else {
      chars += View(p).CharCount(first - page.first_line, end - page.first_line);
    }
    first = end;
  }
  return chars;
}

}  // namespace monitor
