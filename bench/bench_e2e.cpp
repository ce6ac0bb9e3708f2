// The program's live path end to end over a pseudo-terminal: a fixture
// writer thread (the simulator's stream player) on the master side, the main
// window with its default options (automatic page-down on, format "String")
// on the slave side, its port's event worker and the Qt event loop running
// as in the program, the window shown (offscreen unless QT_QPA_PLATFORM says
// otherwise).
//
//  1. Full speed: 10,000,000 random bytes as fast as the window takes them,
//     three times (the median run counts); the log is then compared byte for
//     byte with what was written. The rate
//     over the first and the last 10% of the lines shows whether the cost of
//     a byte grows with the log. Resident memory growth per MB received is
//     measured in "String" and again in "HexaDecimal".
//  2. Paced at 25,600 bytes/s for 60 s (BENCH_E2E_PACED_S=<seconds> to
//     shorten): the process's CPU time without the writer thread's, as a
//     share of one core; for every byte, the time from its write to the end
//     of the receive handler that put its line in the store, at the 99th
//     percentile; the context switches of the program (the writer thread's
//     excluded) per receive event, a figure a busy machine changes little.
//     BENCH_E2E_PACED_ONLY set: this part alone, after the window's start.
//  3. Unless BENCH_E2E_NO_XVFB is set, the full-speed run again on an X
//     server: on $DISPLAY if set, else under xvfb-run if installed (the
//     benchmark starts itself with --full-speed-only).
//
// Ends with one line:
//   bytes_per_s=N lost=L p99_ms=F cpu_pct_paced=F mb_per_mb=F first_bps=N
//   last_bps=N last_vs_first=F xvfb_bytes_per_s=N paced_s=S load1=F
//   switches_per_event=F
// L counts bytes written that are not in the log in order (0 expected, over
// both runs); xvfb_bytes_per_s is -1 when no X server could be used; the
// full-speed figures are 0 when only the paced part ran.
// The exit status is 0 only when nothing was lost and no dialog appeared.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/RiriredApplication.h"
#include "app/LogView.h"
#include "app/UiServices.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "fixture_sim/FdLine.h"
#include "fixture_sim/ScriptPlayer.h"
#include "fixture_sim/StreamSource.h"
#include "harness/BenchPty.h"
#include "harness/ProcessStats.h"
#include "harness/QuietUi.h"
#include "harness/RecordingLine.h"
#include "harness/Stats.h"
#include "monitor/log/LogStore.h"
#include "monitor/MonitorSettings.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kFullBytes = 10'000'000;
constexpr std::uint64_t kPacedRate = 25'600;
constexpr std::uint64_t kSeed = 7;

// Counts the paint events of a widget (the log view's viewport).
class PaintCounter final : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  std::uint64_t paints = 0;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Context switches, voluntary and forced, of the process (RUSAGE_SELF) or of
// the calling thread (RUSAGE_THREAD): each is a wake-up, which on a virtual
// machine costs more than most of the work it wakes for.
long ContextSwitches(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  return usage.ru_nvcsw + usage.ru_nivcsw;
}

// When the receive handler returned, and how many lines the log had then.
struct Arrival {
  std::uint64_t lines;
  Clock::time_point at;
};

struct Run {
  double seconds = 0;
  std::uint64_t lines = 0;
  std::uint64_t lost = 0;
  double writerCpu = 0;
  double processCpu = 0;
  long writerSwitches = 0;
  long processSwitches = 0;
  long rssGrowth = 0;
  bool complete = false;
  std::vector<bench::RecordingLine::Sent> writes;
};

// Runs the event loop until `done` or `limit`; false on timeout.
bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  QTimer tick;
  tick.start(1000);  // only a guard: the port's wake-up drives the loop, as in exec()
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// Plays one stream onto the master from a thread of its own while the event
// loop runs here, until every byte is in the log.
Run Play(TfrmRiriredOz& form, int master, const fixture_sim::StreamCommand& stream, bool record) {
  Run run;
  form.btnLimparClick();
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  const std::uint64_t base = form.Log().LineCount();  // 0 after the clear
  fixture_sim::FdLine fd(master);
  bench::RecordingLine line(fd, record);
  if (record) line.Reserve(static_cast<std::size_t>(stream.count / 64 + 1024));
  const fixture_sim::StopSignal stop;
  fixture_sim::PlayOutcome outcome;
  const long rssBefore = bench::ResidentBytes();
  const double cpuBefore = bench::ProcessCpuSeconds();
  const long switchesBefore = ContextSwitches(RUSAGE_SELF);
  const auto start = Clock::now();
  std::thread writer([&] {
    const double before = bench::ThreadCpuSeconds();
    fixture_sim::ScriptPlayer player(line, stop);
    outcome = player.Stream(stream);
    run.writerCpu = bench::ThreadCpuSeconds() - before;
    run.writerSwitches = ContextSwitches(RUSAGE_THREAD);
  });
  run.complete = PumpUntil([&] { return form.Log().LineCount() - base >= stream.count; },
                           std::chrono::seconds(stream.rate ? stream.count / stream.rate + 60 : 600));
  run.seconds = Seconds(Clock::now() - start);
  writer.join();
  run.processCpu = bench::ProcessCpuSeconds() - cpuBefore;
  run.processSwitches = ContextSwitches(RUSAGE_SELF) - switchesBefore;
  run.rssGrowth = bench::ResidentBytes() - rssBefore;
  run.lines = form.Log().LineCount() - base;
  if (outcome.end != fixture_sim::PlayEnd::peFinished) {
    std::fprintf(stderr, "the writer failed: %s\n", outcome.error.message().c_str());
  }

  // The log against the stream, regenerated from its seed.
  fixture_sim::StreamSource source(stream.pattern, stream.seed);
  std::vector<std::uint8_t> expected(64 * 1024);
  std::uint64_t inOrder = 0;
  std::size_t at = expected.size();
  bool same = true;
  const monitor::ByteForm form_ = form.Settings().Formato == monitor::kFormatoHexaDecimal
                                      ? monitor::ByteForm::Hexadecimal
                                      : monitor::ByteForm::Character;
  form.Log().ForEachLine(base, base + stream.count, [&](std::string_view text, auto) {
    if (!same) return;
    if (at == expected.size()) {
      source.Fill(expected);
      at = 0;
    }
    same = text == monitor::ByteTextView(expected[at++], form_);
    if (same) ++inOrder;
  });
  run.lost = stream.count - inOrder;
  run.writes = line.Writes();
  return run;
}

// The per-byte latencies of a paced run: byte k was written at the time of
// the write that took it and reached the log at the first handler return
// that saw more than k lines.
std::vector<double> ByteLatenciesMs(const std::vector<bench::RecordingLine::Sent>& writes,
                                    const std::vector<Arrival>& arrivals) {
  std::vector<double> latencies;
  std::uint64_t byte = 0;
  std::size_t a = 0;
  for (const auto& w : writes) {
    for (; byte < w.end; ++byte) {
      while (a < arrivals.size() && arrivals[a].lines <= byte) ++a;
      if (a == arrivals.size()) return latencies;  // never arrived: counted as lost
      latencies.push_back(std::chrono::duration<double, std::milli>(arrivals[a].at - w.at).count());
    }
  }
  return latencies;
}

// Lines per second over the lines [from, to), from the handler returns.
double RateBetween(const std::vector<Arrival>& arrivals, Clock::time_point start,
                   std::uint64_t from, std::uint64_t to) {
  auto when = [&](std::uint64_t lines) {
    if (lines == 0) return start;
    for (const Arrival& a : arrivals)
      if (a.lines >= lines) return a.at;
    return arrivals.back().at;
  };
  return static_cast<double>(to - from) / Seconds(when(to) - when(from));
}

// The full-speed figure on an X server, from a run of this program there.
double XServerBytesPerSecond(const char* self) {
  std::string command;
  if (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) {
    command = "QT_QPA_PLATFORM=xcb '" + std::string(self) + "' --full-speed-only";
  } else if (::access("/usr/bin/xvfb-run", X_OK) == 0) {
    command = "QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 1280x1024x24' '" +
              std::string(self) + "' --full-speed-only";
  } else {
    std::printf("no X server: DISPLAY unset and xvfb-run missing\n");
    return -1;
  }
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char text[512];
  double rate = -1;
  unsigned long long lost = 1;
  while (std::fgets(text, sizeof text, pipe)) {
    double r = 0;
    if (std::sscanf(text, "bytes_per_s=%lf lost=%llu", &r, &lost) == 2 && lost == 0) rate = r;
  }
  ::pclose(pipe);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  const bool fullSpeedOnly = argc > 1 && std::strcmp(argv[1], "--full-speed-only") == 0;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  double pacedSeconds = 60;
  if (const char* s = std::getenv("BENCH_E2E_PACED_S")) pacedSeconds = std::max(1.0, std::atof(s));

  RiriredApplication app(argc, argv);
  bench::QuietUi ui;
  InstallUiServices(&ui);

  bench::BenchPty pty;
  if (!bench::OpenRawPty(pty)) {
    std::perror("openpty");
    return 1;
  }

  // The window as the program makes it: default options, shown.
  TfrmRiriredOz::Options options;
  auto* form = new TfrmRiriredOz(options);
  form->show();
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  std::printf("window: platform %s, AutoPageDown %d, Formato %d\n",
              QGuiApplication::platformName().toUtf8().constData(), form->Settings().AutoPageDown,
              form->Settings().Formato);
  form->Serial().SetPort(pty.path);
  form->Serial().OpenPort();
  if (!form->Serial().Connected()) {
    std::fprintf(stderr, "the port did not open\n");
    return 1;
  }

  std::vector<Arrival> arrivals;
  arrivals.reserve(4'000'000);
  auto show = form->Serial().OnRxChar;
  form->Serial().OnRxChar = [&](cport::TCustomComPort& sender, int count) {
    show(sender, count);
    arrivals.push_back({form->Log().LineCount(), Clock::now()});
  };

  PaintCounter paintCounter;
  if (auto* view = form->findChild<LogView*>(QStringLiteral("memSerial"))) {
    view->viewport()->installEventFilter(&paintCounter);
  }

  // 1. Full speed, "String", three times (a run lasts well under a second on
  // a machine shared with other work): the median run's figures; memory from
  // the first run, which grows the process from its start-up size.
  const fixture_sim::StreamCommand full{kFullBytes, 0, fixture_sim::StreamPattern::spRandom, kSeed};
  struct FullRun {
    double bytesPerSecond, firstRate, lastRate;
  };
  std::vector<FullRun> fullRuns;
  std::uint64_t stringLost = 0;
  double stringMbPerMb = 0;
  const bool pacedOnly = !fullSpeedOnly && std::getenv("BENCH_E2E_PACED_ONLY");
  for (int i = 0; i < (pacedOnly ? 0 : 3); ++i) {
    arrivals.clear();
    const auto fullStart = Clock::now();
    const Run string = Play(*form, pty.master, full, false);
    const FullRun r{static_cast<double>(string.lines) / string.seconds,
                    RateBetween(arrivals, fullStart, 0, kFullBytes / 10),
                    RateBetween(arrivals, fullStart, kFullBytes - kFullBytes / 10, kFullBytes)};
    fullRuns.push_back(r);
    stringLost += string.lost;
    if (i == 0) {
      stringMbPerMb = static_cast<double>(string.rssGrowth) / static_cast<double>(kFullBytes);
    }
    std::printf("full speed, String: %llu lines in %.3f s, %.0f bytes/s, lost %llu%s; first 10%% "
                "%.0f lines/s, last 10%% %.0f lines/s (x%.2f); %.2f MB resident per MB; "
                "process CPU %.2f s of which writer %.2f s\n",
                static_cast<unsigned long long>(string.lines), string.seconds, r.bytesPerSecond,
                static_cast<unsigned long long>(string.lost), string.complete ? "" : " (timed out)",
                r.firstRate, r.lastRate, r.lastRate / r.firstRate,
                static_cast<double>(string.rssGrowth) / static_cast<double>(kFullBytes),
                string.processCpu, string.writerCpu);
  }
  std::sort(fullRuns.begin(), fullRuns.end(),
            [](const FullRun& a, const FullRun& b) { return a.bytesPerSecond < b.bytesPerSecond; });
  const FullRun median = pacedOnly ? FullRun{0, 0, 0} : fullRuns[1];
  const double bytesPerSecond = median.bytesPerSecond;
  const double firstRate = median.firstRate;
  const double lastRate = median.lastRate;
  if (fullSpeedOnly) {
    form->Serial().ClosePort();
    delete form;
    std::printf("bytes_per_s=%.0f lost=%llu\n", bytesPerSecond,
                static_cast<unsigned long long>(stringLost));
    return stringLost == 0 ? 0 : 1;
  }

  // 1b. Full speed, "HexaDecimal": memory per MB in the other byte format.
  Run hex;
  double hexMbPerMb = 0;
  if (!pacedOnly) {
    form->Settings().Formato = monitor::kFormatoHexaDecimal;
    hex = Play(*form, pty.master, full, false);
    hexMbPerMb = static_cast<double>(hex.rssGrowth) / static_cast<double>(kFullBytes);
    std::printf("full speed, HexaDecimal: %.0f bytes/s, lost %llu, %.2f MB resident per MB\n",
                static_cast<double>(hex.lines) / hex.seconds,
                static_cast<unsigned long long>(hex.lost), hexMbPerMb);
    form->Settings().Formato = monitor::kFormatoString;
  }

  // 2. Paced.
  const auto pacedBytes = static_cast<std::uint64_t>(pacedSeconds * kPacedRate);
  const fixture_sim::StreamCommand paced{pacedBytes, kPacedRate,
                                         fixture_sim::StreamPattern::spRandom, kSeed + 1};
  arrivals.clear();
  const std::uint64_t paintsBefore = paintCounter.paints;
  const Run slow = Play(*form, pty.master, paced, true);
  const double paintsPerSecond =
      static_cast<double>(paintCounter.paints - paintsBefore) / slow.seconds;
  const double eventsPerSecond = static_cast<double>(arrivals.size()) / slow.seconds;
  const std::vector<double> latencies = ByteLatenciesMs(slow.writes, arrivals);
  const double p50 = bench::Percentile(latencies, 0.5);
  const double p99 = bench::Percentile(latencies, 0.99);
  const double pmax = bench::Percentile(latencies, 1.0);
  const double cpuPct = 100.0 * (slow.processCpu - slow.writerCpu) / slow.seconds;
  const double switchesPerEvent =
      static_cast<double>(slow.processSwitches - slow.writerSwitches) /
      static_cast<double>(std::max<std::size_t>(arrivals.size(), 1));
  std::printf("paced %llu bytes/s for %.1f s: lost %llu; program CPU %.2f%% of a core (writer "
              "%.2f%% excluded); latency median %.3f ms, p99 %.3f ms, max %.3f ms; %.0f receive "
              "events/s, %.0f repaints/s; %.2f context switches per receive event (writer "
              "excluded)\n",
              static_cast<unsigned long long>(kPacedRate), slow.seconds,
              static_cast<unsigned long long>(slow.lost), cpuPct,
              100.0 * slow.writerCpu / slow.seconds, p50, p99, pmax, eventsPerSecond, paintsPerSecond,
              switchesPerEvent);

  form->Serial().ClosePort();
  delete form;
  bench::ClosePty(pty);

  // 3. On an X server.
  double xRate = -1;
  if (!pacedOnly && !std::getenv("BENCH_E2E_NO_XVFB")) {
    xRate = XServerBytesPerSecond(argv[0]);
    std::printf("full speed on an X server: %.0f bytes/s\n", xRate);
  }

  const std::uint64_t lost = stringLost + hex.lost + slow.lost;
  std::printf("bytes_per_s=%.0f lost=%llu p99_ms=%.3f cpu_pct_paced=%.2f mb_per_mb=%.2f "
              "first_bps=%.0f last_bps=%.0f last_vs_first=%.2f xvfb_bytes_per_s=%.0f "
              "paced_s=%.1f load1=%.2f switches_per_event=%.2f\n",
              bytesPerSecond, static_cast<unsigned long long>(lost), p99, cpuPct,
              std::max(stringMbPerMb, hexMbPerMb), firstRate, lastRate,
              firstRate > 0 ? lastRate / firstRate : 0.0, xRate, pacedSeconds,
              bench::LoadAverage1(), switchesPerEvent);
  return lost == 0 && ui.shown == 0 ? 0 : 1;
}
