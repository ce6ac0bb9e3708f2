// The receive log under load: 10,000,000 received bytes presented in
// 1024-byte batches, as the receive handler does, into the store and a shown
// view (offscreen), the event loop pumped between batches; once in "String"
// and once in "HexaDecimal". Then the 10,000,000-line log is saved as RTF.
// For information it also prints a "String" run with a Page Down key press
// after every batch, as the automatic page-down does.
//
// Ends with one line:
//   bytes_per_s=N first_us=F last_us=L bytes_per_line=M rtf_s=S rtf_mb=X
// bytes per second over both formats; microseconds per batch averaged over
// the first and the last 10% of the batches; growth of resident memory per
// log line (the worse format); seconds and added resident megabytes (peak)
// of the RTF save.
#include <QApplication>
#include <QKeyEvent>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/LogView.h"
#include "monitor/log/LogStore.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ReceivePresenter.h"
#include "monitor/log/RtfWriter.h"

namespace {

constexpr std::size_t kBytes = 10'000'000;
constexpr std::size_t kBatch = 1024;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long ResidentBytes() {
  long size = 0;
  long resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

// Samples the resident size every millisecond while it lives: the kernel's
// own peak figure (VmHWM) is updated too lazily to catch a short peak.
class PeakSampler {
 public:
  PeakSampler()
      : thread_([this] {
          while (!stop_) {
            peak_ = std::max(peak_.load(), ResidentBytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  long Stop() {
    stop_ = true;
    thread_.join();
    return std::max(peak_.load(), ResidentBytes());
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> peak_{0};
  std::thread thread_;
};

std::vector<std::uint8_t> RandomBytes(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::uint64_t x = 0x9E3779B97F4A7C15u;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<std::uint8_t>(x >> 32);
  }
  return bytes;
}

struct Result {
  double seconds = 0;
  double first_us = 0;
  double last_us = 0;
  double bytes_per_line = 0;
};

double Mean(std::span<const double> v) {
  return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

void Settle() {
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
}

Result Feed(const std::vector<std::uint8_t>& bytes, std::uint8_t formato, bool page_down,
            monitor::LogStore& log, LogView& view) {
  log.Clear();
  view.contentsChanged();
  Settle();
  monitor::MonitorSettings settings;
  monitor::SetStartDefaults(settings);
  settings.Formato = formato;

  const long rss_before = ResidentBytes();
  std::vector<double> batch_us;
  batch_us.reserve(bytes.size() / kBatch + 1);
  const auto start = Clock::now();
  for (std::size_t at = 0; at < bytes.size(); at += kBatch) {
    const auto t = Clock::now();
    const std::size_t n = std::min(kBatch, bytes.size() - at);
    monitor::PresentBytes(std::span(bytes).subspan(at, n), settings, log, nullptr);
    view.contentsChanged();
    if (page_down) {
      QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
      QCoreApplication::sendEvent(&view, &key);
    }
    QCoreApplication::processEvents();
    batch_us.push_back(Seconds(Clock::now() - t) * 1e6);
  }
  Result r;
  r.seconds = Seconds(Clock::now() - start);
  const long rss_after = ResidentBytes();
  const std::size_t tenth = batch_us.size() / 10;
  r.first_us = Mean(std::span(batch_us).first(tenth));
  r.last_us = Mean(std::span(batch_us).last(tenth));
  r.bytes_per_line = static_cast<double>(rss_after - rss_before) / static_cast<double>(log.LineCount());
  Settle();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  monitor::LogStore log;
  LogView view(log);
  view.setObjectName(QStringLiteral("memSerial"));
  view.resize(900, 700);
  view.show();
  Settle();

  const std::vector<std::uint8_t> bytes = RandomBytes(kBytes);
  struct Format {
    const char* name;
    std::uint8_t formato;
  };
  const Format formats[] = {{"String", monitor::kFormatoString},
                            {"HexaDecimal", monitor::kFormatoHexaDecimal}};
  double seconds = 0;
  double first_us = 0;
  double last_us = 0;
  double bytes_per_line = 0;
  for (const Format& f : formats) {
    const Result r = Feed(bytes, f.formato, false, log, view);
    std::printf("%-12s %zu bytes, %zu lines: %.3f s, %.0f bytes/s, first %.2f us/batch, "
                "last %.2f us/batch (x%.2f), %.3f bytes/line\n",
                f.name, bytes.size(), log.LineCount(), r.seconds,
                static_cast<double>(bytes.size()) / r.seconds, r.first_us, r.last_us,
                r.last_us / r.first_us, r.bytes_per_line);
    seconds += r.seconds;
    first_us += r.first_us / std::size(formats);
    last_us += r.last_us / std::size(formats);
    bytes_per_line = std::max(bytes_per_line, r.bytes_per_line);
  }

  // Not part of the figures above: the same with the automatic page-down,
  // which sends the view a Page Down after every batch.
  const Result paged = Feed(bytes, monitor::kFormatoString, true, log, view);
  std::printf("String, Page Down per batch: %.3f s, %.0f bytes/s, first %.2f us/batch, last %.2f "
              "us/batch, view at line %zu of %zu\n",
              paged.seconds, static_cast<double>(bytes.size()) / paged.seconds, paged.first_us,
              paged.last_us, view.firstVisibleLine(), log.LineCount());

  // Saving the log of the last run: 10,000,000 lines.
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("bench_log-" + std::to_string(::getpid()) + ".rtf");
  const long rss_before = ResidentBytes();
  PeakSampler sampler;
  const auto start = Clock::now();
  monitor::SaveRtf(log, file);
  const double rtf_s = Seconds(Clock::now() - start);
  const long grown = sampler.Stop() - rss_before;
  const double rtf_mb = static_cast<double>(std::max(0L, grown)) / (1024.0 * 1024.0);
  std::printf("RTF save     %zu lines, %.1f MB file: %.3f s, %.2f MB added resident memory (peak)\n",
              log.LineCount(), static_cast<double>(std::filesystem::file_size(file)) / 1e6, rtf_s,
              rtf_mb);
  std::filesystem::remove(file);

  std::printf("bytes_per_s=%.0f first_us=%.2f last_us=%.2f bytes_per_line=%.3f rtf_s=%.3f "
              "rtf_mb=%.2f\n",
              static_cast<double>(kBytes * std::size(formats)) / seconds, first_us, last_us,
              bytes_per_line, rtf_s, rtf_mb);
  return 0;
}
