#include "monitor/log/LogStore.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace monitor {
namespace {

// Closing a spill file of gigabytes makes the file system free all its
// blocks, which can take a noticeable time; a file that large is let go on
// a thread of its own so that "Limpar" stays instant.
constexpr std::uint64_t kCloseAsideBytes = std::uint64_t{64} << 20;

void LetGo(std::shared_ptr<SpillFile> file) {
  if (!file || file.use_count() > 1 || file->Size() < kCloseAsideBytes) return;
  try {
    std::thread([f = std::move(file)]() mutable { f.reset(); }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the file closes here instead.
  }
}

LogPages::Page InMemory(PackedPage packed, std::uint64_t first_line) {
  LogPages::Page page;
  page.first_line = first_line;
  page.shape = packed.shape;
  page.chars = packed.chars;
  page.memory = std::move(packed.data);
  return page;
}

std::string DroppedText(std::uint64_t lines) {
  // Windows-1252, as every line of the log: 0x97 is the em dash.
  return "\x97 " + std::to_string(lines) +
         " linhas descartadas: n\xE3o foi poss\xEDvel guard\xE1-las em disco \x97";
}

}  // namespace

LogStore::LogStore(LogStoreOptions options)
    : options_(std::move(options)), tail_(options_.page_bytes) {}

LogStore::~LogStore() {
  writer_.Stop();
  LetGo(std::move(sealed_.Spill()));
}

void LogStore::NoteColourUsed() {
  if (std::find(colours_.begin(), colours_.end(), insertion_colour_) == colours_.end())
    colours_.push_back(insertion_colour_);
  colour_used_ = true;
}

void LogStore::SetInsertionColour(Rgb colour) {
  colour &= 0xFFFFFF;
  if (colour == insertion_colour_) return;
  insertion_colour_ = colour;
  colour_used_ = std::find(colours_.begin(), colours_.end(), colour) != colours_.end();
}

void LogStore::AppendLine(std::string_view text) {
  tail_.AppendText(text, insertion_colour_);
  if (!colour_used_) NoteColourUsed();
  if (tail_.Full()) SealTail();
  ++revision_;
}

void LogStore::SealTail() {
  sealed_.Pages().push_back(InMemory(tail_.Pack(), sealed_.LineCount()));
  memory_bytes_ += sealed_.Pages().back().shape.Bytes();
  tail_.Reset();
  SpillOldPages();
}

std::filesystem::path LogStore::SpillDirectory() const {
  return options_.spill_directory.empty() ? SpillFile::DefaultDirectory()
                                          : options_.spill_directory;
}

void LogStore::OpenSpillFile() { sealed_.Spill() = SpillFile::Create(SpillDirectory()); }

std::string LogStore::SpillFailureReason(const std::error_code& error) const {
  return SpillDirectory().string() + ": " + error.message();
}

void LogStore::SpillOldPages() {
  TakeInSpilled();
  auto& pages = sealed_.Pages();
  while (memory_bytes_ - spilling_bytes_ > options_.memory_bound && next_to_spill_ < pages.size()) {
    if (writer_.Pending() >= kSpillPagesInFlight) {
      // The disk is slower than the line: wait for it rather than grow.
      writer_.AwaitOldest();
      TakeInSpilled();
      continue;
    }
    if (!sealed_.Spill()) {
      try {
        OpenSpillFile();
      } catch (const std::system_error& error) {
        // No file, so nothing is with the writer: the page is the oldest in memory.
        memory_bytes_ -= pages[first_in_memory_].shape.Bytes();
        DropPage(first_in_memory_, SpillFailureReason(error.code()));
        next_to_spill_ = first_in_memory_;
        continue;
      }
    }
    LogPages::Page& page = pages[next_to_spill_++];
    spilling_bytes_ += page.shape.Bytes();
    writer_.Submit(sealed_.Spill(), page.memory, page.shape.Bytes());
  }
}

void LogStore::TakeInSpilled() {
  auto& pages = sealed_.Pages();
  for (const SpillWriter::Outcome& done : writer_.TakeFinished()) {
    // Written in the order handed over: the outcome is the oldest page's.
    LogPages::Page& page = pages[first_in_memory_];
    const std::size_t bytes = page.shape.Bytes();
    spilling_bytes_ -= bytes;
    memory_bytes_ -= bytes;
    if (!done.error) {
      page.spill_offset = done.offset;
      page.spilled = true;
      page.memory.reset();
      ++first_in_memory_;
      spill_failing_ = false;
    } else if (DropPage(first_in_memory_, SpillFailureReason(done.error))) {
      --next_to_spill_;  // the pages after it moved down by one
    }
  }
}

void LogStore::SettleSpill() {
  writer_.AwaitAll();
  TakeInSpilled();
}

bool LogStore::DropPage(std::size_t p, const std::string& reason) {
  auto& pages = sealed_.Pages();
  const std::uint64_t lines = pages[p].shape.lines;
  // Consecutive dropped pages become one line that counts them all.
  const bool merge = p > 0 && pages[p - 1].dropped != 0;
  const std::size_t marker = merge ? p - 1 : p;
  const std::uint64_t dropped = lines + (merge ? pages[marker].dropped : 0);
  PageBuilder builder(64);
  builder.AppendText(DroppedText(dropped), kRed);
  LogPages::Page& m = pages[marker];
  m = InMemory(builder.Pack(), m.first_line);
  m.dropped = dropped;
  if (merge) pages.erase(pages.begin() + static_cast<std::ptrdiff_t>(p));
  for (std::size_t i = marker + 1; i < pages.size(); ++i)
    pages[i].first_line = pages[i - 1].first_line + pages[i - 1].shape.lines;
  first_in_memory_ = marker + 1;
  if (std::find(colours_.begin(), colours_.end(), kRed) == colours_.end()) colours_.push_back(kRed);
  ++drop_count_;
  if (!spill_failing_) {
    spill_failing_ = true;
    spill_failure_ = reason;
  }
  return merge;
}

std::optional<std::string> LogStore::TakeSpillFailure() {
  TakeInSpilled();
  std::optional<std::string> failure;
  failure.swap(spill_failure_);
  return failure;
}

void LogStore::Clear() {
  // The writer's pages go first: then only the page it is writing, if any,
  // still holds the file, and that closes it on the writer's thread.
  writer_.Abandon();
  std::shared_ptr<SpillFile> spill = std::move(sealed_.Spill());
  sealed_ = LogPages();
  LetGo(std::move(spill));
  tail_.Reset();
  memory_bytes_ = 0;
  first_in_memory_ = 0;
  next_to_spill_ = 0;
  spilling_bytes_ = 0;
  colours_.clear();
  colours_.shrink_to_fit();
  colour_used_ = false;
  spill_failing_ = false;
  spill_failure_.reset();
  ++revision_;
  ++clear_count_;
}

std::string_view LogStore::LineView(std::size_t i) const {
  if (i >= LineCount()) throw std::out_of_range("log line out of range");
  const std::size_t sealed = sealed_.LineCount();
  return i < sealed ? sealed_.Line(i) : tail_.View().Line(i - sealed);
}

Rgb LogStore::LineColour(std::size_t i) const {
  if (i >= LineCount()) throw std::out_of_range("log line out of range");
  const std::size_t sealed = sealed_.LineCount();
  return i < sealed ? sealed_.Colour(i) : tail_.View().Colour(i - sealed);
}

std::uint64_t LogStore::CharCount(std::size_t first, std::size_t last) const {
  last = std::min(last, LineCount());
  if (first >= last) return 0;
  const std::size_t sealed = sealed_.LineCount();
  std::uint64_t chars = first < sealed ? sealed_.CharCount(first, std::min(last, sealed)) : 0;
  if (last > sealed) chars += tail_.View().CharCount(std::max(first, sealed) - sealed, last - sealed);
  return chars;
}

std::string LogStore::WholeText() const {
  std::string text;
  ForEachLine(0, LineCount(), [&text](std::string_view line, Rgb) {
    text += line;
    text += "\r\n";
  });
  return text;
}

std::uint64_t LogStore::SpilledBytes() const {
  const auto& spill = sealed_.Spill();
  return spill ? spill->Size() : 0;
}

LogSnapshot LogStore::Snapshot() const {
  LogPages pages = sealed_;
  if (!tail_.Empty()) pages.Pages().push_back(InMemory(tail_.Pack(), sealed_.LineCount()));
  return LogSnapshot(std::move(pages), colours_, insertion_colour_);
}

}  // namespace monitor
