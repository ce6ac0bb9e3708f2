#include "monitor/log/RtfWriter.h"

#include <array>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "cport/storage/AtomicFile.h"

namespace monitor {
namespace {

// How each byte of a line is written. The document declares code page 1252,
// so a byte above 127 is the hexadecimal escape \'hh of itself, which every
// reader maps through that code page. Control bytes (only decoder texts
// hold them) are escaped the same way: written raw they would be dropped
// (CR, LF) or could end the document for some readers (NUL).
struct Escapes {
  std::array<std::array<char, 4>, 256> text{};
  std::array<std::uint8_t, 256> size{};
};

constexpr Escapes MakeEscapes() {
  constexpr char kHex[] = "0123456789abcdef";
  Escapes e;
  for (unsigned b = 0; b < 256; ++b) {
    auto& text = e.text[b];
    if (b == '\\' || b == '{' || b == '}') {
      text = {'\\', static_cast<char>(b)};
      e.size[b] = 2;
    } else if (b >= 0x20 && b < 0x7F) {
      text = {static_cast<char>(b)};
      e.size[b] = 1;
    } else {
      text = {'\\', '\'', kHex[b >> 4], kHex[b & 15]};
      e.size[b] = 4;
    }
  }
  return e;
}

constexpr Escapes kEscapes = MakeEscapes();

// Collects the document in a fixed buffer and hands it on in large pieces.
class Output {
 public:
  explicit Output(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}

  void Put(std::string_view s) {
    if (s.size() > buffer_.size() - used_) {
      Flush();
      if (s.size() > buffer_.size()) return sink_(s);
    }
    std::memcpy(buffer_.data() + used_, s.data(), s.size());
    used_ += s.size();
  }

  void PutNumber(unsigned n) {
    char digits[12];
    char* p = digits + sizeof digits;
    do *--p = static_cast<char>('0' + n % 10);
    while ((n /= 10) != 0);
    Put(std::string_view(p, static_cast<std::size_t>(digits + sizeof digits - p)));
  }

  // A line's text. A line break inside it (CR LF, CR or LF) becomes a line
  // break within the paragraph, so the document keeps one paragraph per line.
  // A blank after a blank is escaped: some readers fold a run of blanks
  // into one, and the columns of a line would shift.
  void PutText(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto b = static_cast<std::uint8_t>(text[i]);
      if (b == '\r' || b == '\n') {
        if (b == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        Put("\\line ");
        continue;
      }
      if (b == ' ' && i > 0 && text[i - 1] == ' ') {
        Put("\\'20");
        continue;
      }
      if (buffer_.size() - used_ < 4) Flush();
      std::memcpy(buffer_.data() + used_, kEscapes.text[b].data(), 4);
      used_ += kEscapes.size[b];
    }
  }

  void Flush() {
    if (used_ != 0) sink_(std::string_view(buffer_.data(), used_));
    used_ = 0;
  }

 private:
  std::function<void(std::string_view)> sink_;
  std::array<char, 64 * 1024> buffer_;
  std::size_t used_ = 0;
};

// Lines are written in steps of this many: between steps a save looks at
// its cancel flag, reports progress and lets go of what it has written.
constexpr std::size_t kStepLines = 1 << 16;

// `release` is given when the snapshot's pages may be let go as they are
// written.
void WriteDocument(const LogSnapshot& log, const RtfFont& font, const LogRange& range,
                   const SaveControl& control, LogSnapshot* release, Output& out) {
  // The colour table holds each colour of the log once, in the order of
  // first use; \cfN refers to entry N (entry 0 is the reader's default).
  std::vector<Rgb> colours = log.Colours();
  if (colours.empty()) colours.push_back(log.InsertionColour());
  std::unordered_map<Rgb, unsigned> index;
  for (std::size_t i = 0; i < colours.size(); ++i)
    index.emplace(colours[i], static_cast<unsigned>(i + 1));

  std::string face;
  for (const char c : font.face)
    if (c != ';') face += c;  // a semicolon ends the font table entry
  out.Put("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 ");
  out.PutText(face);
  out.Put(";}}\n{\\colortbl ;");
  for (const Rgb c : colours) {
    out.Put("\\red");
    out.PutNumber(c >> 16 & 0xFF);
    out.Put("\\green");
    out.PutNumber(c >> 8 & 0xFF);
    out.Put("\\blue");
    out.PutNumber(c & 0xFF);
    out.Put(";");
  }
  // The size is in half points: 13 pixels at 96 dots per inch are 9.75
  // points, written as 20.
  const int half_points = std::max(1, (font.pixel_height * 144 + 48) / 96);
  out.Put("}\n\\viewkind4\\uc1\\pard\\f0");
  if (font.bold) out.Put("\\b");
  out.Put("\\fs");
  out.PutNumber(static_cast<unsigned>(half_points));
  out.Put("\n");

  bool first = true;
  Rgb current = 0;
  auto line = [&](std::string_view text, Rgb colour) {
    if (first || colour != current) {
      first = false;
      current = colour;
      out.Put("\\cf");
      out.PutNumber(index.find(colour)->second);
      out.Put(" ");  // ends the control word; a blank after it is text
    }
    out.PutText(text);
    out.Put("\\par\n");
  };
  const std::size_t count = log.LineCount();
  if (count != 0 && range.first_line < count) {
    const std::size_t last = std::min(range.last_line, count - 1);
    const std::size_t total = last >= range.first_line ? last - range.first_line + 1 : 0;
    for (std::size_t from = range.first_line; from <= last && total != 0;) {
      const std::size_t to = std::min(last, from + kStepLines - 1);
      const LogRange step{from, from == range.first_line ? range.first_column : 0, to,
                          to == last ? range.last_column : std::numeric_limits<std::size_t>::max()};
      log.ForEachInRange(step, line);
      from = to + 1;
      if (release) release->ReleaseBefore(from);
      if (control.cancel && control.cancel->load(std::memory_order_relaxed)) throw SaveCancelled();
      if (control.progress) control.progress(from - range.first_line, total);
    }
  }
  out.Put("}\n");
  out.Flush();
}

}  // namespace

void WriteRtf(const LogSnapshot& log, std::ostream& stream, const RtfFont& font,
              const LogRange& range) {
  Output out([&stream](std::string_view data) {
    stream.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!stream) throw std::ios_base::failure("Cannot write the RTF document");
  });
  WriteDocument(log, font, range, {}, nullptr, out);
}

void WriteRtf(const LogStore& log, std::ostream& stream, const RtfFont& font) {
  WriteRtf(log.Snapshot(), stream, font);
}

void SaveRtf(LogSnapshot& log, const std::filesystem::path& file, const RtfFont& font,
             const LogRange& range, const SaveControl& control) {
  cport::AtomicFile target(file);
  Output out([&target](std::string_view data) { target.Write(data); });
  WriteDocument(log, font, range, control, &log, out);
  target.Commit();
}

void SaveRtf(const LogStore& log, const std::filesystem::path& file, const RtfFont& font) {
  LogSnapshot snapshot = log.Snapshot();
  SaveRtf(snapshot, file, font);
}

}  // namespace monitor
