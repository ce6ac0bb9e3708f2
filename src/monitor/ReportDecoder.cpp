#include "monitor/ReportDecoder.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace monitor {
namespace {

// Field positions in a frame.
constexpr std::size_t kLengthAt = 1;
constexpr std::size_t kMarkerAt = 2;
constexpr std::size_t kResultAt = 3;
constexpr std::size_t kTestAt = 4;
constexpr std::size_t kDetailNumberAt = 5;
constexpr std::size_t kErrorOrVerdictAt = 6;
constexpr std::size_t kDetailValueAt = 7;

constexpr std::uint8_t kResultTestStart = 0;
constexpr std::uint8_t kResultError = 2;
constexpr std::uint8_t kResultPassed = 3;
constexpr std::uint8_t kResultFailed = 4;
constexpr std::uint8_t kResultVerdict = 5;
constexpr std::uint8_t kVerdictApproved = 1;

constexpr double kMsPerDay = 86'400'000.0;

void AppendDescription(std::string& line, DescriptionSource* descriptions, std::string_view section,
                       std::uint8_t code) {
  if (descriptions == nullptr) {
    line += kNotDescribed;
  } else {
    line += descriptions->Lookup(section, code);
  }
}

// The lookups of one frame, bracketed for the source (also when a lookup's
// caller throws).
class FrameLookups {
 public:
  explicit FrameLookups(DescriptionSource* source) : source_(source) {
    if (source_) source_->BeginFrame();
  }
  ~FrameLookups() {
    if (source_) source_->EndFrame();
  }
  FrameLookups(const FrameLookups&) = delete;
  FrameLookups& operator=(const FrameLookups&) = delete;

 private:
  DescriptionSource* source_;
};

}  // namespace

ReportDecoder::ReportDecoder(std::function<double()> timeOfDay)
    : timeOfDay_(std::move(timeOfDay)) {}

void ReportDecoder::AnalisaRecebimento(std::uint8_t byte, const MonitorSettings& options,
                                       DescriptionSource* descriptions, ReportSink& sink) {
  if (count_ == 0 && byte != kFrameStart) return;
  buffer_[count_] = byte;
  ++count_;
  if (count_ < 2) return;
  const std::uint8_t length = buffer_[kLengthAt];
  if (count_ == 2) {
    // A length that no frame in the buffer can have would never match the
    // count before the buffer ends: drop the frame now.
    if (length < kShortestFrame || length > kFrameBufferSize) count_ = 0;
    return;
  }
  if (count_ != length) return;
  count_ = 0;
  if (buffer_[kMarkerAt] == kFrameMarker) Decode(options, descriptions, sink);
}

void ReportDecoder::Decode(const MonitorSettings& options, DescriptionSource* descriptions,
                           ReportSink& sink) {
  const std::uint8_t result = buffer_[kResultAt];
  // One reading of the clock serves the test start and the elapsed time of
  // the same frame, so a test-start line always shows 00:00.
  bool haveNow = false;
  double now = 0.0;
  auto timeNow = [&] {
    if (!haveNow) {
      now = timeOfDay_ ? timeOfDay_() : 0.0;
      haveNow = true;
    }
    return now;
  };

  sink.SetInsertionColour(kBlue);
  if (result == kResultTestStart) {
    if (options.AutoLimparLog) sink.ClearLog();
    testStart_ = timeNow();
    testStarted_ = true;
    sink.SetInsertionColour(kBlue);
    sink.SetResultLabel(kLabelTesting, kBlue);
  }

  std::string line;
  line.reserve(64);
  FrameLookups lookups(descriptions);
  AppendDescription(line, descriptions, kResultSection, result);
  line += " - ";
  AppendDescription(line, descriptions, kTestSection, buffer_[kTestAt]);

  if (result == kResultError) {
    line += " - ";
    AppendDescription(line, descriptions, kErrorSection, buffer_[kErrorOrVerdictAt]);
    char detail[16];
    std::snprintf(detail, sizeof detail, " %2.2d (%02X) ",
                  static_cast<int>(buffer_[kDetailNumberAt]),
                  static_cast<unsigned>(buffer_[kDetailValueAt]));
    line += detail;
    sink.SetInsertionColour(kRed);
  }
  if (result == kResultPassed) sink.SetInsertionColour(kGreen);
  if (result == kResultFailed) sink.SetInsertionColour(kRed);
  if (result == kResultVerdict) {
    if (buffer_[kErrorOrVerdictAt] == kVerdictApproved) {
      sink.SetInsertionColour(kGreen);
      sink.SetResultLabel(kLabelApproved, kGreen);
    } else {
      sink.SetInsertionColour(kRed);
      sink.SetResultLabel(kLabelRejected, kRed);
    }
  }
  // Before the first test start there is no start to count from: the time of
  // day itself would read as an elapsed time.
  if (options.MostrarTempo && testStarted_) line.insert(0, ElapsedPrefix(testStart_, timeNow()));
  sink.AppendLine(line);
  if (result == kResultTestStart) sink.RunStarted();
  if (result == kResultVerdict) sink.RunEnded(buffer_[kErrorOrVerdictAt] == kVerdictApproved);
}

std::string ElapsedPrefix(double start, double now) {
  double ms = std::fabs(std::round((now - start) * kMsPerDay));
  ms = std::fmod(ms, kMsPerDay);
  // A clock that gives no number (never the real one) counts as no time.
  if (!std::isfinite(ms)) ms = 0.0;
  const auto whole = static_cast<long long>(ms);
  const int minutes = static_cast<int>((whole / 60000) % 60);
  const int seconds = static_cast<int>((whole / 1000) % 60);
  char text[16];
  std::snprintf(text, sizeof text, "%2.2d:%2.2d - ", minutes, seconds);
  return text;
}

}  // namespace monitor
