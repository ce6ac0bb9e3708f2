#include "monitor/LogStore.h"

#include <cstring>
#include <stdexcept>

namespace monitor {
namespace {

// Decoder texts are short; a block holds a few thousand of them, and a text
// longer than a block gets a block of its own.
constexpr std::size_t kTextBlockSize = 64 * 1024;

}  // namespace

void LogStore::AppendLine(std::string_view text) {
  NoteColour();
  if (text.empty()) {
    entries_.push_back(kEmpty);
  } else {
    text_lines_.push_back({entries_.size(), StoreText(text), text.size()});
    entries_.push_back(kText);
  }
  ++revision_;
}

const char* LogStore::StoreText(std::string_view text) {
  if (text.size() > text_free_) {
    const std::size_t size = std::max(kTextBlockSize, text.size());
    text_blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    text_tail_ = text_blocks_.back().get();
    text_free_ = size;
  }
  char* stored = text_tail_;
  std::memcpy(stored, text.data(), text.size());
  text_tail_ += text.size();
  text_free_ -= text.size();
  return stored;
}

void LogStore::Clear() {
  entries_.clear();
  text_lines_.clear();
  text_blocks_.clear();
  text_blocks_.shrink_to_fit();
  text_tail_ = nullptr;
  text_free_ = 0;
  runs_.clear();
  runs_.shrink_to_fit();
  ++revision_;
  ++clear_count_;
}

std::size_t LogStore::RunOf(std::size_t line) const {
  // The last run starting at or before the line; the first run starts at 0.
  const auto after = std::upper_bound(
      runs_.begin(), runs_.end(), line,
      [](std::size_t l, const ColourRun& run) { return l < run.first_line; });
  return static_cast<std::size_t>(after - runs_.begin()) - 1;
}

std::size_t LogStore::FirstTextFrom(std::size_t line) const {
  std::size_t low = 0;
  std::size_t high = text_lines_.size();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (text_lines_[mid].line < line) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

std::string_view LogStore::LineView(std::size_t i) const {
  if (i >= LineCount()) throw std::out_of_range("log line out of range");
  const Entry e = entries_[i];
  if (e < kEmpty) return ByteTextView(static_cast<std::uint8_t>(e), static_cast<ByteForm>(e >> 8));
  if (e == kText) return text_lines_[FirstTextFrom(i)].View();
  return {};
}

Rgb LogStore::LineColour(std::size_t i) const {
  if (i >= LineCount()) throw std::out_of_range("log line out of range");
  return runs_[RunOf(i)].colour;
}

std::string LogStore::WholeText() const {
  std::string text;
  ForEachLine(0, LineCount(), [&text](std::string_view line, Rgb) {
    text += line;
    text += "\r\n";
  });
  return text;
}

}  // namespace monitor
