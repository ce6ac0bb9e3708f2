// The "Ririred OZ" report decoder on a stream of valid frames (the fixture
// simulator's frame pattern: test progress, passes and every eighth frame an
// error), its lines going into a log store as in the window:
//  1. with no description file: bytes per second, the best of three passes
//     over 20,000,000 bytes;
//  2. with a realistic description file (data/RiriredOz.ini, copied to a
//     temporary directory; another one may be given as the argument): frames
//     per second through MonitorIni, the best of three passes, and how often
//     the file was read (once expected: it does not change during the run).
//
// Ends with one line:
//   bytes_per_s=N frames_per_s_ini=N frames=N ini_reads=R load1=F
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <thread>
#include <vector>

#include "fixture_sim/StreamSource.h"
#include "harness/ProcessStats.h"
#include "monitor/DescriptionFile.h"
#include "monitor/log/LogStore.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ReportDecoder.h"
#include "monitor/TimeOfDay.h"

#ifndef RIRIRED_DATA_DIR
#define RIRIRED_DATA_DIR "data"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kBytes = 20'000'000;
constexpr int kPasses = 3;

// The window's side of the decoder, without a window: lines into the store.
class StoreSink final : public monitor::ReportSink {
 public:
  explicit StoreSink(monitor::LogStore& log) : log_(log) {}
  void ClearLog() override { log_.Clear(); }
  void SetInsertionColour(monitor::Rgb colour) override { log_.SetInsertionColour(colour); }
  void AppendLine(std::string_view text) override {
    log_.AppendLine(text);
    ++lines;
  }
  void SetResultLabel(std::string_view text, monitor::Rgb) override { label.assign(text); }
  std::uint64_t lines = 0;
  std::string label;

 private:
  monitor::LogStore& log_;
};

struct Pass {
  double seconds = 0;
  std::uint64_t frames = 0;
};

Pass Decode(const std::vector<std::uint8_t>& bytes, monitor::DescriptionSource* descriptions) {
  monitor::MonitorSettings settings;
  monitor::SetStartDefaults(settings);
  settings.Formato = monitor::kFormatoRiriredOz;
  monitor::LogStore log;
  StoreSink sink(log);
  monitor::ReportDecoder decoder(monitor::LocalTimeOfDay);
  const auto start = Clock::now();
  for (const std::uint8_t byte : bytes) decoder.AnalisaRecebimento(byte, settings, descriptions, sink);
  Pass pass;
  pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  pass.frames = sink.lines;
  return pass;
}

Pass Best(const std::vector<std::uint8_t>& bytes, monitor::DescriptionSource* descriptions) {
  Pass best;
  for (int i = 0; i < kPasses; ++i) {
    const Pass p = Decode(bytes, descriptions);
    if (i == 0 || p.seconds < best.seconds) best = p;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path source =
      argc > 1 ? std::filesystem::path(argv[1])
               : std::filesystem::path(RIRIRED_DATA_DIR) / monitor::kDescriptionFileName;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("bench_decoder-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::error_code copied;
  std::filesystem::copy_file(source, monitor::DescriptionFilePath(dir), copied);
  if (copied) {
    std::fprintf(stderr, "cannot copy %s: %s\n", source.c_str(), copied.message().c_str());
    return 1;
  }
  // A file changed less than kSettleTime ago is read again at every lookup
  // (see MonitorIni): the copy must age that long before it is measured, as
  // the bench's own file has.
  const auto copiedAt = Clock::now();
  std::vector<std::uint8_t> bytes(kBytes);
  fixture_sim::StreamSource(fixture_sim::StreamPattern::spFrames, 1).Fill(bytes);

  const Pass bare = Best(bytes, nullptr);
  const double bytesPerSecond = static_cast<double>(bytes.size()) / bare.seconds;
  std::printf("no description file: %zu bytes, %llu frames in %.3f s: %.0f bytes/s, %.0f "
              "frames/s\n",
              bytes.size(), static_cast<unsigned long long>(bare.frames), bare.seconds,
              bytesPerSecond, static_cast<double>(bare.frames) / bare.seconds);

  monitor::MonitorIni ini(monitor::DescriptionFilePath(dir));
  std::this_thread::sleep_until(copiedAt + std::chrono::seconds(monitor::MonitorIni::kSettleTime + 1));
  const Pass described = Best(bytes, &ini);
  const double framesPerSecond = static_cast<double>(described.frames) / described.seconds;
  std::printf("description file %s: %llu frames in %.3f s: %.0f frames/s, %.0f bytes/s, file "
              "read %zu times\n",
              source.c_str(), static_cast<unsigned long long>(described.frames),
              described.seconds, framesPerSecond,
              static_cast<double>(bytes.size()) / described.seconds, ini.ReadCount());
  std::filesystem::remove_all(dir);

  std::printf("bytes_per_s=%.0f frames_per_s_ini=%.0f frames=%llu ini_reads=%zu load1=%.2f\n",
              bytesPerSecond, framesPerSecond, static_cast<unsigned long long>(described.frames),
              ini.ReadCount(), bench::LoadAverage1());
  return bare.frames > 0 && described.frames == bare.frames ? 0 : 1;
}
