#pragma once
// The receive log's contents: every line received since the last Clear(),
// each with a colour, in a memory that stays flat however long the log.
//
// Lines are kept in pages (LogPage.h): a byte line costs 2 bytes, a text
// line its text and an index entry. When the pages in memory pass the
// memory bound, the oldest are written to an anonymous spill file
// (SpillFile.h) and read back when someone reads their lines, so the
// operator sees one log of any length. Texts are 8-bit Windows-1252
// strings, as every text of the monitor is.
//
// Pages are written by a thread of their own (SpillWriter.h) and stay in
// memory until written, at most kSpillPagesInFlight of them beyond the
// bound: a disk slower than the line holds the log's owner only once they
// are all waiting.
//
// When a page cannot be written to the spill file (a full disk), it is
// dropped instead: its lines become one red line saying how many were
// dropped, the newest lines stay in memory, and TakeSpillFailure() tells the
// owner once. Lines after the dropped ones then have lower numbers:
// DropCount() changes.
//
// Not thread-safe: the user-interface thread owns it. Snapshot() gives
// another thread a consistent copy to read.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/log/LogLine.h"
#include "monitor/log/LogPage.h"
#include "monitor/log/LogPages.h"
#include "monitor/log/LogSnapshot.h"
#include "monitor/log/SpillWriter.h"

namespace monitor {

// How much of the log stays in memory before its older pages spill to disk.
inline constexpr std::size_t kLogMemoryBound = std::size_t{32} << 20;
// The size of a page of the log.
inline constexpr std::size_t kLogPageBytes = std::size_t{512} << 10;
// How many pages may wait for the spill file's writer at once.
inline constexpr std::size_t kSpillPagesInFlight = 8;

struct LogStoreOptions {
  std::size_t memory_bound = kLogMemoryBound;
  std::size_t page_bytes = kLogPageBytes;
  // Where the spill file is created; empty: SpillFile::DefaultDirectory().
  std::filesystem::path spill_directory;
};

class LogStore {
 public:
  LogStore() : LogStore(LogStoreOptions{}) {}
  explicit LogStore(LogStoreOptions options);
  LogStore(const LogStore&) = delete;
  LogStore& operator=(const LogStore&) = delete;
  ~LogStore();

  // A new last line showing ByteText(byte, form), in the insertion colour.
  void AppendByte(std::uint8_t byte, ByteForm form) {
    tail_.AppendByte(byte, form, insertion_colour_);
    if (!colour_used_) NoteColourUsed();
    if (tail_.Full()) SealTail();
    ++revision_;
  }

  // A new last line holding a Windows-1252 text (none: an empty line), in
  // the insertion colour. The text is kept as given, control bytes included.
  void AppendLine(std::string_view text = {});

  // The colour of the lines appended from now on; kBlue, the log's font
  // colour, at start. Lines already in the log keep theirs.
  void SetInsertionColour(Rgb colour);
  Rgb InsertionColour() const { return insertion_colour_; }

  // Removes every line, frees their memory and lets their spill file go;
  // the insertion colour stays. Takes the same short time at any size.
  void Clear();

  std::size_t LineCount() const { return sealed_.LineCount() + tail_.LineCount(); }
  // Line i, 0 <= i < LineCount(), as Windows-1252 text. Throws
  // std::out_of_range beyond the end.
  std::string LineText(std::size_t i) const { return std::string(LineView(i)); }
  // The same without a copy; valid until the next call on the store.
  std::string_view LineView(std::size_t i) const;
  Rgb LineColour(std::size_t i) const;
  // The characters of the lines first to last - 1, clipped to the log, in
  // a time that does not grow with the number of lines.
  std::uint64_t CharCount(std::size_t first, std::size_t last) const;

  // Every line followed by CR LF, the last one included.
  std::string WholeText() const;

  // Changes with every line appended and every Clear(); a view compares it
  // to know whether it has to repaint.
  std::uint64_t Revision() const { return revision_; }
  // Counts the Clear() calls: a view that sees it change drops its
  // selection and scroll position, which referred to lines now gone.
  std::uint64_t ClearCount() const { return clear_count_; }
  // Counts the times lines were dropped for want of disk space.
  std::uint64_t DropCount() const { return drop_count_; }

  // Every colour of the log, each once, in the order of first use; empty
  // while the log is empty.
  const std::vector<Rgb>& Colours() const { return colours_; }

  // The first failure to keep lines on disk since the log was cleared or
  // last succeeded, once: the reason ("No space left on device") with the
  // spill directory. Empty when there is nothing new to tell. Takes in the
  // pages written meanwhile first, so a failure is known as soon as the
  // writer met it (and lines may be dropped: DropCount() changes).
  std::optional<std::string> TakeSpillFailure();
  // Waits until every page handed to the spill file's writer is written or
  // dropped, and takes them in.
  void SettleSpill();

  // The bytes of lines held in memory now (pages, those waiting to be
  // spilled among them, and the page being filled), which stays near the
  // memory bound however long the log.
  std::size_t MemoryBytes() const { return memory_bytes_ + tail_.Bytes(); }
  // The bytes written to the spill file so far (SettleSpill() first counts
  // every page handed over).
  std::uint64_t SpilledBytes() const;

  // The log as it is now, for another thread to read.
  LogSnapshot Snapshot() const;

  // Calls fn(std::string_view text, Rgb colour) for the lines first to
  // last - 1 (clipped to LineCount()) in order. The fast way to read many
  // lines.
  template <typename Fn>
  void ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const;

 private:
  void NoteColourUsed();
  void SealTail();
  void SpillOldPages();
  void TakeInSpilled();
  // Drops page p; true when it merged into the dropped page before it.
  bool DropPage(std::size_t p, const std::string& reason);
  std::filesystem::path SpillDirectory() const;
  std::string SpillFailureReason(const std::error_code& error) const;
  void OpenSpillFile();

  LogStoreOptions options_;
  LogPages sealed_;
  PageBuilder tail_;
  std::size_t memory_bytes_ = 0;   // the sealed pages still in memory
  std::size_t first_in_memory_ = 0;  // pages before it are spilled or dropped
  // Pages from first_in_memory_ to it are with the writer.
  std::size_t next_to_spill_ = 0;
  std::size_t spilling_bytes_ = 0;  // their bytes
  SpillWriter writer_;
  std::vector<Rgb> colours_;
  bool colour_used_ = false;  // the insertion colour is in colours_
  Rgb insertion_colour_ = kBlue;
  std::uint64_t revision_ = 0;
  std::uint64_t clear_count_ = 0;
  std::uint64_t drop_count_ = 0;
  bool spill_failing_ = false;
  std::optional<std::string> spill_failure_;
};

template <typename Fn>
void LogStore::ForEachLine(std::size_t first, std::size_t last, Fn&& fn) const {
  last = std::min(last, LineCount());
  const std::size_t sealed = sealed_.LineCount();
  if (first < sealed) sealed_.ForEachLine(first, std::min(last, sealed), fn);
  if (last > sealed) tail_.View().ForEachLine(std::max(first, sealed) - sealed, last - sealed, fn);
}

}  // namespace monitor
