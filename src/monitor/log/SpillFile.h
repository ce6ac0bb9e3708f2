#pragma once
// The file that holds the older part of a long receive log, so that the log
// keeps everything while its memory stays flat.
//
// The file has no name: it is created with O_TMPFILE where the file system
// supports it, or created and unlinked at once, so a crash or a kill leaves
// nothing behind, and closing it (the last owner releasing it) frees its
// space. It only grows: what was appended stays readable at its offset for
// as long as the file lives, which is what lets a snapshot of the log read
// it while the log goes on growing or is cleared.
//
// Append is for one thread at a time (the log's spill writer); Read and Size
// may be called from any thread at the same time, Read for offsets already
// appended.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace monitor {

class SpillFile {
 public:
  // Creates a new empty file in `directory`, creating the directory first
  // when it is missing. Throws std::system_error naming the directory.
  static std::shared_ptr<SpillFile> Create(const std::filesystem::path& directory);

  // Where logs spill by default: $XDG_CACHE_HOME/RiriredOZ, or
  // ~/.cache/RiriredOZ, or the temporary directory when neither is set.
  static std::filesystem::path DefaultDirectory();

  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // Writes `data` at the end and returns its offset. Throws std::system_error
  // (ENOSPC for a full disk, EFBIG, EIO...) and then the file's end stays
  // where it was: a later Append may succeed where this one failed.
  std::uint64_t Append(std::span<const char> data);

  // Reads data.size() bytes from `offset`, all of which were appended.
  // Throws std::system_error when the read fails.
  void Read(std::uint64_t offset, std::span<char> data) const;

  std::uint64_t Size() const { return size_.load(std::memory_order_acquire); }

 private:
  explicit SpillFile(int fd) : fd_(fd) {}
  int fd_;
  std::atomic<std::uint64_t> size_ = 0;
};

}  // namespace monitor
