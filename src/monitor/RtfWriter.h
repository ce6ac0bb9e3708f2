#pragma once
// The saved log: a Rich Text Format document holding every line of the log
// as a paragraph in the log's font and the line's colour. Texts are written
// in the document's code page, Windows-1252, so word processors show
// accented letters as the log does.
//
// Both functions stream: the document is never held in memory, whatever the
// size of the log. User-interface thread, like the log.
#include <filesystem>
#include <iosfwd>
#include <string>

#include "monitor/LogStore.h"

namespace monitor {

struct RtfFont {
  std::string face = "Arial";
  int pixel_height = 13;  // character height at 96 dots per inch
  bool bold = true;
};

// Writes the document to out. Throws std::ios_base::failure when out fails;
// what was written by then is incomplete.
void WriteRtf(const LogStore& log, std::ostream& out, const RtfFont& font = {});

// Saves the document as `file`, replacing an existing file: it is written
// to a new file in the same directory, flushed to disk and then renamed over
// the target, so the target is either the old file or the whole new one.
// Throws std::system_error naming the file when the file cannot be created,
// written or replaced (a read-only target, a missing directory, a full
// disk); the old file and the log are then unchanged and no temporary file
// remains.
void SaveRtf(const LogStore& log, const std::filesystem::path& file, const RtfFont& font = {});

}  // namespace monitor
