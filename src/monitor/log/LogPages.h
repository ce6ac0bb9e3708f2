#pragma once
// The sealed pages of a receive log, in memory or in its spill file, read as
// one run of lines. Shared by the log (LogStore) and its snapshots
// (LogSnapshot): copying the list copies references to the pages, never
// the pages.
//
// Reading a page that lives in the spill file loads it into a small cache
// of the most recently read pages, so painting or saving reads each page
// from disk once. Not thread-safe: each copy belongs to one thread; copies
// on different threads may read the same pages and spill file at once.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/log/LogPage.h"
#include "monitor/log/SpillFile.h"

namespace monitor {

class LogPages {
 public:
  struct Page {
    std::uint64_t first_line = 0;
    PageShape shape;
    std::uint64_t chars = 0;
    std::shared_ptr<const char[]> memory;  // null when the page is only on disk
    std::uint64_t spill_offset = 0;
    bool spilled = false;
    // A page standing for lines that could not be kept: how many.
    std::uint64_t dropped = 0;
  };

  LogPages() = default;
  LogPages(LogPages&&) = default;
  LogPages& operator=(LogPages&&) = default;
  LogPages(const LogPages& other) : pages_(other.pages_), spill_(other.spill_) {}
  LogPages& operator=(const LogPages& other) {
    pages_ = other.pages_;
    spill_ = other.spill_;
    cache_ = {};
    return *this;
  }

  std::size_t LineCount() const {
    return pages_.empty() ? 0 : pages_.back().first_line + pages_.back().shape.lines;
  }
  std::vector<Page>& Pages() { return pages_; }
  const std::vector<Page>& Pages() const { return pages_; }
  std::shared_ptr<SpillFile>& Spill() { return spill_; }
  const std::shared_ptr<SpillFile>& Spill() const { return spill_; }

  // The page holding line (< LineCount()).
  std::size_t PageOf(std::size_t line) const;
  // The lines of page p, loaded from the spill file when needed (throws
  // std::system_error when that read fails). Valid until the next call, or
  // for as long as *keep holds the page when keep is given.
  PageView View(std::size_t p, std::shared_ptr<const char[]>* keep = nullptr) const;
  std::string_view Line(std::size_t line) const;
  Rgb Colour(std::size_t line) const;
  // The characters of the lines first to last - 1 (clipped).
  std::uint64_t CharCount(std::size_t first, std::size_t last) const;

  // Calls fn(std::string_view text, Rgb colour) for the lines first to
  // last - 1 (clipped to LineCount()), in order.
  template <typename Fn>
  void ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const;

  // Forgets the cached copies of spilled pages.
  void DropCache() const { cache_ = {}; }

 private:
  struct CacheSlot {
    std::uint64_t offset = 0;
    std::shared_ptr<const char[]> data;
    std::uint64_t used = 0;
  };

  std::vector<Page> pages_;
  std::shared_ptr<SpillFile> spill_;
  mutable std::array<CacheSlot, 4> cache_{};
  mutable std::uint64_t use_clock_ = 0;
};

template <typename Fn>
void LogPages::ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const {
  last = std::min(last, LineCount());
  if (first >= last) return;
  for (std::size_t p = PageOf(first); p < pages_.size() && first < last; ++p) {
    const Page& page = pages_[p];
    const std::size_t end = std::min<std::size_t>(last, page.first_line + page.shape.lines);
    std::shared_ptr<const char[]> keep;  // fn may read other lines meanwhile
    View(p, &keep).ForEachLine(first - page.first_line, end - page.first_line, fn);
    first = end;
  }
}

}  // namespace monitor
