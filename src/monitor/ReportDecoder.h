#pragma once
// The test report decoder of the "Ririred OZ" display format.
//
// The fixture reports a test run as frames:
//
//   FA <length> AA <result> <test> <detail number> <error | verdict> <detail value> ...
//
// where <length> counts the whole frame, 3 to 101 bytes. The decoder collects
// frames from the received bytes, one byte at a time, and turns each
// complete frame with the 0xAA marker into exactly one coloured log line
// (and, for a test start or a final result, a change of the result label).
// It knows no window: what a frame does is told to a ReportSink, and the
// code descriptions come from a DescriptionSource (the description file).
//
// Collector rules (there is no time-out, checksum or escaping):
//  - while idle, bytes other than 0xFA are dropped and not shown;
//  - while collecting, every byte is stored, 0xFA included;
//  - a length byte below 3 or above 101 drops the frame at once (so the
//    101-byte buffer is never overrun) and the collector goes idle;
//  - a complete frame is decoded if its third byte is 0xAA, else dropped.
// The frame buffer is never cleared: a short frame (length 3 to 7) is decoded
// with the fields that the frames before it left in positions 3 to 7 (zero
// before the first frame). After a lost byte the collector completes the
// frame with the first bytes of the next one and then drops bytes until a
// 0xFA arrives while idle.
//
// Thread: one thread only (the user-interface thread); nothing is locked.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "monitor/log/LogStore.h"
#include "monitor/MonitorSettings.h"

namespace monitor {

inline constexpr std::uint8_t kFrameStart = 0xFA;
inline constexpr std::uint8_t kFrameMarker = 0xAA;
inline constexpr std::size_t kFrameBufferSize = 101;
inline constexpr std::uint8_t kShortestFrame = 3;

// The description of a code that the description file does not describe.
inline constexpr std::string_view kNotDescribed = "***";

// The three sections of the description file.
inline constexpr std::string_view kResultSection = "RESULTADOS";
inline constexpr std::string_view kTestSection = "TESTES";
inline constexpr std::string_view kErrorSection = "ERROS";

// The texts of the result label.
inline constexpr std::string_view kLabelTesting = "TESTANDO";
inline constexpr std::string_view kLabelApproved = "APROVADA";
inline constexpr std::string_view kLabelRejected = "REPROVADA";

// What decoded frames do to the window. Calls come in the order of the
// decoding steps; a frame always ends with exactly one AppendLine, whose
// colour is the one set last.
class ReportSink {
 public:
  // At a test start with AutoLimparLog set: the log's contents only.
  virtual void ClearLog() = 0;
  // Colour of the text appended next.
  virtual void SetInsertionColour(Rgb colour) = 0;
  virtual void AppendLine(std::string_view cp1252Text) = 0;
  // The result label's text and font colour.
  virtual void SetResultLabel(std::string_view text, Rgb colour) = 0;
  // A test run began, and its test-start line is the last line appended.
  virtual void RunStarted() {}
  // The run's verdict came, and its line is the last line appended.
  virtual void RunEnded(bool /*approved*/) {}

 protected:
  ~ReportSink() = default;
};

// Descriptions of result, test and error codes by section.
class DescriptionSource {
 public:
  // The description (Windows-1252 text) of `code` in `section`, as the
  // source holds it now, or kNotDescribed. Never throws for a missing or bad
  // source.
  virtual std::string Lookup(std::string_view section, std::uint8_t code) = 0;

  // The decoder brackets the lookups of one frame with these (never nested),
  // so that a source may look at what backs it once per frame instead of
  // once per lookup. The defaults do nothing.
  virtual void BeginFrame() {}
  virtual void EndFrame() {}

 protected:
  ~DescriptionSource() = default;
};

class ReportDecoder {
 public:
  // `timeOfDay` gives the local time of day as a fraction of a day
  // (LocalTimeOfDay in production). It is read at most once per frame.
  explicit ReportDecoder(std::function<double()> timeOfDay);

  // Takes one received byte. The options are read when a frame completes,
  // so a change takes effect with the next frame. `descriptions` may be null:
  // every description is then kNotDescribed. With MostrarTempo set, a line
  // gets the time elapsed since the last test start as its prefix
  // (ElapsedPrefix); until a test start has been decoded there is none, and
  // lines have no prefix, as with MostrarTempo off. Nothing but a test-start
  // frame changes the start (clearing the window's log does not).
  void AnalisaRecebimento(std::uint8_t byte, const MonitorSettings& options,
                          DescriptionSource* descriptions, ReportSink& sink);

  // Bytes of the current frame stored so far; 0 while idle. Never above 101.
  std::uint8_t ReceivedCount() const { return count_; }
  // The frame buffer, holding the last frame's bytes after it completes.
  std::span<const std::uint8_t, kFrameBufferSize> FrameBuffer() const { return buffer_; }
  // Time of day of the last test start; 0 (midnight) until the first.
  double TestStartTime() const { return testStart_; }

 private:
  void Decode(const MonitorSettings& options, DescriptionSource* descriptions, ReportSink& sink);

  std::function<double()> timeOfDay_;
  std::array<std::uint8_t, kFrameBufferSize> buffer_{};
  std::uint8_t count_ = 0;
  double testStart_ = 0.0;
  bool testStarted_ = false;
};

// The "MM:SS - " prefix for the time elapsed from `start` to `now`, both
// fractions of a day: the difference rounded to milliseconds, its magnitude,
// whole days dropped; minutes and seconds only (1 h 2 min 5 s gives "02:05").
std::string ElapsedPrefix(double start, double now);

}  // namespace monitor
