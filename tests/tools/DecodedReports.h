#pragma once
// Runs bytes through the monitor's own report decoder, so that the tests
// check the simulator's frames against what the monitor makes of them.
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "monitor/MonitorSettings.h"
#include "monitor/ReportDecoder.h"

namespace fixture_sim::testing {

struct ReportLine {
  std::string text;
  monitor::Rgb colour;
  bool operator==(const ReportLine&) const = default;
};

// Describes every code as the section's initial and the code in hex: "T07".
class EchoDescriptions final : public monitor::DescriptionSource {
 public:
  std::string Lookup(std::string_view section, std::uint8_t code) override {
    char text[8];
    std::snprintf(text, sizeof text, "%c%02X", section[0], static_cast<unsigned>(code));
    return text;
  }
};

class DecodedReports final : public monitor::ReportSink {
 public:
  explicit DecodedReports(monitor::DescriptionSource* descriptions = nullptr)
      : descriptions_(descriptions ? descriptions : &echo_) {}

  void Feed(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) decoder_.AnalisaRecebimento(b, options_, descriptions_, *this);
  }

  void ClearLog() override {}
  void SetInsertionColour(monitor::Rgb colour) override { colour_ = colour; }
  void AppendLine(std::string_view text) override { lines.push_back({std::string(text), colour_}); }
  void SetResultLabel(std::string_view text, monitor::Rgb) override { labels.emplace_back(text); }

  // Bytes of a frame begun and not completed.
  std::uint8_t Pending() const { return decoder_.ReceivedCount(); }

  std::vector<ReportLine> lines;
  std::vector<std::string> labels;  // every change of the result label, in order

 private:
  EchoDescriptions echo_;
  monitor::DescriptionSource* descriptions_;
  monitor::MonitorSettings options_{};
  monitor::ReportDecoder decoder_{[] { return 0.0; }};
  monitor::Rgb colour_ = 0;
};

}  // namespace fixture_sim::testing
