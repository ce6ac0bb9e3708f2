// The "Ririred OZ" frame collector over any received bytes, with no
// description file: no crash, the collector never beyond its buffer, and
// every frame it decodes ends in exactly one log line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "monitor/MonitorSettings.h"
#include "monitor/ReportDecoder.h"

namespace {

class CountingSink final : public monitor::ReportSink {
 public:
  void ClearLog() override { ++clears; }
  void SetInsertionColour(monitor::Rgb) override {}
  void AppendLine(std::string_view text) override {
    ++lines;
    length += text.size();
  }
  void SetResultLabel(std::string_view, monitor::Rgb) override { ++labels; }
  std::size_t clears = 0, lines = 0, labels = 0, length = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the options, the rest is the line.
  monitor::MonitorSettings options;
  options.Formato = monitor::kFormatoRiriredOz;
  options.AutoLimparLog = (data[0] & 1) != 0;
  options.MostrarTempo = (data[0] & 2) != 0;
  double clock = 0.0;
  monitor::ReportDecoder decoder([&clock] { return clock += 0.00001; });
  CountingSink sink;
  for (std::size_t i = 1; i < size; ++i) {
    const std::size_t before = sink.lines;
    decoder.AnalisaRecebimento(data[i], options, nullptr, sink);
    if (decoder.ReceivedCount() > monitor::kFrameBufferSize) std::abort();
    if (sink.lines > before + 1) std::abort();
  }
  return 0;
}
