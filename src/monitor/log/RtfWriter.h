#pragma once
// The saved log: a Rich Text Format document holding every line of the log
// (or of a stretch of it) as a paragraph in the log's font and the line's
// colour. Texts are written in the document's code page, Windows-1252, so
// word processors show accented letters as the log does.
//
// The document is streamed, never held in memory, and it is written from a
// snapshot of the log, so a save may run on a thread of its own while the
// log goes on.
#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

#include "monitor/log/LogSnapshot.h"
#include "monitor/log/LogStore.h"

namespace monitor {

struct RtfFont {
  std::string face = "Arial";
  int pixel_height = 13;  // character height at 96 dots per inch
  bool bold = true;
};

// How a long save is followed and stopped from another thread.
struct SaveControl {
  // When it becomes true the save stops soon after with SaveCancelled.
  const std::atomic<bool>* cancel = nullptr;
  // Called on the saving thread now and then with the lines written so far
  // and the lines to write.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// Thrown when a save is cancelled; no file is left at the chosen name.
class SaveCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "save cancelled"; }
};

// Writes the document to out. Throws std::ios_base::failure when out fails;
// what was written by then is incomplete.
void WriteRtf(const LogStore& log, std::ostream& out, const RtfFont& font = {});
void WriteRtf(const LogSnapshot& log, std::ostream& out, const RtfFont& font = {},
              const LogRange& range = {});

// Saves the document as `file`, replacing an existing file: it is written
// to a new file in the same directory, flushed to disk and then renamed over
// the target, so the target is either the old file or the whole new one.
// Throws std::system_error naming the file when the file cannot be created,
// written or replaced (a read-only target, a missing directory, a full
// disk), or SaveCancelled; the old file and the log are then unchanged and
// no temporary file remains. The snapshot's pages are released as they are
// written (LogSnapshot::ReleaseBefore).
void SaveRtf(LogSnapshot& log, const std::filesystem::path& file, const RtfFont& font = {},
             const LogRange& range = {}, const SaveControl& control = {});
void SaveRtf(const LogStore& log, const std::filesystem::path& file, const RtfFont& font = {});

}  // namespace monitor
