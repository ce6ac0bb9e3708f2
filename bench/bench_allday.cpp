// A day at the bench, compressed: the receive log kept whole while memory
// stays flat and the window never freezes.
//
//  1. Through a pseudo-terminal into the main window (shown, offscreen unless
//     QT_QPA_PLATFORM says otherwise; AutoPageDown on, AutoLimparLog off), a
//     stream of --stream-mb MB (default 1024) at full speed, in "String", in
//     "Decimal" and in "Ririred OZ" (valid report frames from the fixture
//     simulator's frame pattern; --oz-mb MB, default the same), each in a
//     window of its own. For each: the
//     growth of resident memory over the stream, and every line of the log
//     against the stream regenerated from its seed (in "Ririred OZ", against
//     the lines a decoder of its own makes of the same frames): the count,
//     the order, the text and the colour of every line.
//  2. In the "String" window with its whole log: scrolling (Page Up/Down,
//     Home/End, the bar to random places), resizing, a save through Salvar
//     (the save dialog answered by the benchmark), select-all and copy, and
//     Limpar; then a log of --copy-mb MB (default 16) selected and copied.
//     Throughout 1 and 2 a 10 ms timer on the user-interface thread notes its
//     worst lateness per activity: the longest the window could not respond.
//     Every stall of 50 ms or more is printed with the CPU time the thread
//     spent in it (about all of it: the window was working; little: it
//     waited, or other work on the machine had the core).
//  3. Straight into a store (no pty): --big-lines lines (default
//     1,000,000,000), most of them spilled to disk. A view of it jumps to
//     --jumps random places (default 1000) by its scroll bar; each jump and
//     the repaint it causes are timed. Then the whole log is saved as RTF
//     (MB of RTF per second, the file flushed to disk). Then the store grows
//     to --day-lines lines (default 2,200,000,000: a day at 25,600 bytes/s,
//     more lines than an int counts) and End and Home must bring the view to
//     the last and the first line.
//  4. The cost of spilling: --spill-mb MB (default 256) at full speed through
//     the pty into a window whose log spills past its usual bound, and into
//     one whose bound is so large that nothing spills, three times each in
//     turn; the medians.
//
// --only=window|big|spill runs one part. MB are 2^20 bytes for memory and
// streams, 10^6 bytes in rates (MB/s). Ends with one line:
//   rss_growth_mb=F rss_string_mb=F rss_decimal_mb=F rss_oz_mb=F lost=N
//   max_ui_block_ms=F block_stream_ms=F block_scroll_ms=F block_resize_ms=F
//   block_save_ms=F block_copy_ms=F block_limpar_ms=F scroll_p99_ms=F
//   save_mb_per_s=F day_lines=N day_ok=B spill_bytes_per_s=N
//   nospill_bytes_per_s=N stream_mb=N oz_mb=N big_lines=N load1=F
// A figure of a part not run is -1. The exit status is 0 only when nothing
// was lost and End and Home reached both ends of the day's log.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "app/LogView.h"
#include "app/RiriredApplication.h"
#include "app/UiServices.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "fixture_sim/FdLine.h"
#include "fixture_sim/ScriptPlayer.h"
#include "fixture_sim/StreamSource.h"
#include "harness/BenchPty.h"
#include "harness/ProcessStats.h"
#include "harness/RecordingLine.h"
#include "harness/Stats.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ReceivePresenter.h"
#include "monitor/ReportDecoder.h"
#include "monitor/log/LogStore.h"
#include "monitor/log/RtfWriter.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr int kTickMs = 10;
constexpr double kReportedStallMs = 50;  // the goal: every stall this long is printed

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double Mb(long bytes) { return static_cast<double>(bytes) / static_cast<double>(kMiB); }
unsigned long long Ull(std::uint64_t n) { return static_cast<unsigned long long>(n); }

struct Args {
  std::uint64_t stream_mb = 1024;
  std::uint64_t oz_mb = 0;  // 0: stream_mb
  std::uint64_t copy_mb = 16;
  std::uint64_t big_lines = 1'000'000'000;
  std::uint64_t day_lines = 2'200'000'000;
  std::uint64_t jumps = 1000;
  std::uint64_t spill_mb = 256;
  std::string only;
};

bool ParseArgs(int argc, char** argv, Args& args) {
  const std::pair<const char*, std::uint64_t*> numbers[] = {
      {"--stream-mb", &args.stream_mb}, {"--oz-mb", &args.oz_mb},
      {"--copy-mb", &args.copy_mb},     {"--big-lines", &args.big_lines},
      {"--day-lines", &args.day_lines}, {"--jumps", &args.jumps},
      {"--spill-mb", &args.spill_mb}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto eq = arg.find('=');
    const std::string key = arg.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    bool ok = key == "--only" && (value == "window" || value == "big" || value == "spill");
    if (ok) args.only = value;
    for (const auto& [name, out] : numbers) {
      if (key != name || value.empty()) continue;
      *out = std::strtoull(value.c_str(), nullptr, 10);
      ok = true;
    }
    if (!ok) {
      std::fprintf(stderr,
                   "usage: %s [--stream-mb=N] [--oz-mb=N] [--copy-mb=N] [--big-lines=N] "
                   "[--day-lines=N] [--jumps=N] [--spill-mb=N] [--only=window|big|spill]\n",
                   argv[0]);
      return false;
    }
  }
  args.day_lines = std::max(args.day_lines, args.big_lines);
  if (args.oz_mb == 0) args.oz_mb = args.stream_mb;
  return true;
}

// The desktop as the benchmark answers it: the save dialog gives a preset
// name, a yes/no question is answered no, and every message and question is
// printed and counted.
class BenchUi final : public UiServices {
 public:
  void ShowError(QWidget*, const QString& text) override {
    // The description file is not beside a benchmark; its absence is an error.
    if (!text.contains(QStringLiteral("RiriredOz.ini"))) Note("error", text);
  }
  void ShowPlain(QWidget*, const QString& text) override { Note("message", text); }
  bool AskYesNo(QWidget*, const QString& text) override {
    Note("question, answered no", text);
    return false;
  }
  std::optional<QString> AskSaveFileName(QWidget*, const QString&, const QString&) override {
    return save_answer;
  }
  void ReportUncaught(const QString& text) override { Note("uncaught", text); }
  std::optional<QString> save_answer;
  int shown = 0;

 private:
  void Note(const char* kind, const QString& text) {
    ++shown;
    std::printf("  [%s shown: %s]\n", kind, text.toUtf8().constData());
  }
};

// The longest the user-interface thread failed to run its event loop: a
// 10 ms timer's lateness beyond its interval, the worst per activity.
class StallWatch {
 public:
  StallWatch() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Note(); });
    timer_.start(kTickMs);
  }
  void Begin(const std::string& activity) {
    activity_ = activity;
    last_ = begun_ = Clock::now();
    last_cpu_ = bench::ThreadCpuSeconds();
  }
  // A synchronous call just before End counts too: the timer was due during it.
  void End() {
    Note();
    activity_.clear();
  }
  // The worst of the activities named `activity` or `activity:<anything>`.
  double Worst(const std::string& activity) const {
    double w = -1;
    for (const auto& [name, ms] : worst_) {
      if (name == activity || name.starts_with(activity + ":")) w = std::max(w, ms);
    }
    return w;
  }
  double Overall() const {
    double w = -1;
    for (const auto& [name, ms] : worst_) w = std::max(w, ms);
    return w;
  }

 private:
  void Note() {
    const auto now = Clock::now();
    const double cpu = bench::ThreadCpuSeconds();
    if (!activity_.empty()) {
      const double late = Ms(now - last_) - kTickMs;
      double& w = worst_.try_emplace(activity_, 0.0).first->second;
      w = std::max(w, late);
      // The thread's own CPU time over the gap tells work (about the gap)
      // from waiting: for a lock, the disk, or a core taken by other work.
      if (late >= kReportedStallMs) {
        std::printf(
            "  stall of %.1f ms in %s, %.1f s after it began; the thread ran %.1f ms of "
            "it\n",
            late, activity_.c_str(), Seconds(now - begun_), (cpu - last_cpu_) * 1e3);
      }
    }
    last_ = now;
    last_cpu_ = cpu;
  }
  QTimer timer_;
  std::string activity_;
  Clock::time_point last_ = Clock::now();
  Clock::time_point begun_ = last_;
  double last_cpu_ = 0;  // the thread's CPU seconds at last_
  std::map<std::string, double> worst_;
};

// Runs the event loop until `done`, false when `limit` passes first.
bool PumpUntil(const std::function<bool()>& done, Clock::duration limit) {
  QTimer guard;  // wakes the loop when nothing else does
  guard.start(5);
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void PumpFor(std::chrono::milliseconds ms) {
  const auto end = Clock::now() + ms;
  PumpUntil([&] { return Clock::now() >= end; }, ms + std::chrono::seconds(1));
}

void Press(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QCoreApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QCoreApplication::sendEvent(widget, &release);
}

// ---------------------------------------------------------------------------
// 1. Streams through the pty into the window.

struct Format {
  const char* name;
  std::uint8_t formato;
  fixture_sim::StreamPattern pattern;
};
const Format kString{"String", monitor::kFormatoString, fixture_sim::StreamPattern::spRandom};
const Format kDecimal{"Decimal", monitor::kFormatoDecimal, fixture_sim::StreamPattern::spRandom};
const Format kOz{"Ririred OZ", monitor::kFormatoRiriredOz, fixture_sim::StreamPattern::spFrames};

// The frames pattern: a frame of two fields (5 bytes), with every seventh a
// frame of five (8 bytes). The number of whole frames in `bytes`, and their
// bytes.
std::pair<std::uint64_t, std::uint64_t> WholeFrames(std::uint64_t bytes) {
  constexpr std::uint64_t kCycle = 6 * 5 + 8;
  std::uint64_t frames = bytes / kCycle * 7;
  std::uint64_t used = bytes / kCycle * kCycle;
  while (true) {
    const std::uint64_t next = frames % 7 == 6 ? 8 : 5;
    if (used + next > bytes) return {frames, used};
    used += next;
    ++frames;
  }
}

std::unique_ptr<TfrmRiriredOz> OpenWindow(const Format& format, const std::string& port,
                                          const fs::path& program_dir,
                                          std::size_t memory_bound = monitor::kLogMemoryBound) {
  TfrmRiriredOz::Options options;
  options.programDir = program_dir;
  options.logOptions.memory_bound = memory_bound;
  auto form = std::make_unique<TfrmRiriredOz>(options);
  form->resize(1000, 700);
  form->show();
  PumpFor(std::chrono::milliseconds(100));
  form->ckbAutoLimparLog->setChecked(false);
  form->cmbFormato->setCurrentIndex(format.formato);
  emit form->cmbFormato->activated(format.formato);
  form->Serial().SetPort(port);
  form->bbtnConectarClick();
  if (!form->Serial().Connected() || form->Settings().Formato != format.formato) return nullptr;
  return form;
}

struct StreamRun {
  std::uint64_t bytes = 0;
  std::uint64_t expected_lines = 0;
  double seconds = 0;
  long rss_growth = 0;
  bool complete = false;
};

// Plays `bytes` of the format's pattern onto the master from a thread of its
// own, the event loop running here, until the log holds the lines they make.
StreamRun Stream(TfrmRiriredOz& form, int master, const Format& format, std::uint64_t bytes,
                 std::uint64_t seed, StallWatch* watch, const char* label = nullptr) {
  StreamRun run;
  run.bytes = bytes;
  run.expected_lines = bytes;
  if (format.pattern == fixture_sim::StreamPattern::spFrames) {
    std::tie(run.expected_lines, run.bytes) = WholeFrames(bytes);
  }
  const std::uint64_t base = form.Log().LineCount();
  const fixture_sim::StreamCommand command{run.bytes, 0, format.pattern, seed};
  fixture_sim::FdLine fd(master);
  bench::RecordingLine line(fd, false);
  fixture_sim::StopSignal stop;
  fixture_sim::PlayOutcome outcome;
  PumpFor(std::chrono::milliseconds(200));
  const long rss_before = bench::ResidentBytes();
  if (watch) watch->Begin(std::string("stream:") + (label ? label : format.name));
  const auto start = Clock::now();
  std::thread writer([&] {
    fixture_sim::ScriptPlayer player(line, stop);
    outcome = player.Stream(command);
  });
  // At 1 MB/s a stream would take bytes / 1e6 s; anything slower is a failure.
  const auto limit = std::chrono::seconds(120 + run.bytes / 1'000'000);
  run.complete =
      PumpUntil([&] { return form.Log().LineCount() - base >= run.expected_lines; }, limit);
  run.seconds = Seconds(Clock::now() - start);
  if (!run.complete) stop.Raise();
  writer.join();
  PumpFor(std::chrono::milliseconds(200));  // the last frames of the view
  if (watch) watch->End();
  run.rss_growth = bench::ResidentBytes() - rss_before;
  if (outcome.end != fixture_sim::PlayEnd::peFinished) {
    std::printf("  the writer failed: %s\n", outcome.error.message().c_str());
  }
  return run;
}

// The lines a "Ririred OZ" window makes of the frames pattern, one at a time,
// from a decoder of this benchmark's own (no description file, as the window
// here has none).
class ReferenceReport final : private monitor::ReportSink {
 public:
  explicit ReferenceReport(std::uint64_t seed)
      : source_(fixture_sim::StreamPattern::spFrames, seed), decoder_([] { return 0.0; }) {
    monitor::SetStartDefaults(settings_);
    settings_.Formato = monitor::kFormatoRiriredOz;
  }
  // The next line and its colour; false when `bytes_left` ran out first.
  bool Next(std::uint64_t& bytes_left, std::string& text, monitor::Rgb& colour) {
    ready_ = false;
    while (!ready_) {
      if (bytes_left == 0) return false;
      if (at_ == buffer_.size()) {
        source_.Fill(buffer_);
        at_ = 0;
      }
      --bytes_left;
      decoder_.AnalisaRecebimento(buffer_[at_++], settings_, nullptr, *this);
    }
    text = line_;
    colour = colour_;
    return true;
  }

 private:
  void ClearLog() override {}
  void SetInsertionColour(monitor::Rgb colour) override { colour_ = colour; }
  void AppendLine(std::string_view text) override {
    line_.assign(text);
    ready_ = true;
  }
  void SetResultLabel(std::string_view, monitor::Rgb) override {}

  fixture_sim::StreamSource source_;
  monitor::ReportDecoder decoder_;
  monitor::MonitorSettings settings_;
  std::array<std::uint8_t, 64 * 1024> buffer_{};
  std::size_t at_ = buffer_.size();
  std::string line_;
  monitor::Rgb colour_ = monitor::kBlue;
  bool ready_ = false;
};

// The lines of the stream that are not in the log in order (text and
// colour), plus any line the log has beyond them.
std::uint64_t Lost(const monitor::LogStore& log, const Format& format, const StreamRun& run,
                   std::uint64_t seed) {
  std::uint64_t in_order = 0;
  bool same = true;
  if (format.pattern == fixture_sim::StreamPattern::spFrames) {
    ReferenceReport reference(seed);
    std::uint64_t left = run.bytes;
    std::string text;
    monitor::Rgb colour = 0;
    log.ForEachLine(0, run.expected_lines, [&](std::string_view got, monitor::Rgb got_colour) {
      if (!same) return;
      same = reference.Next(left, text, colour) && got == text && got_colour == colour;
      if (same) ++in_order;
    });
  } else {
    const monitor::ByteForm form = monitor::ByteFormOf(format.formato);
    fixture_sim::StreamSource source(format.pattern, seed);
    std::vector<std::uint8_t> expected(64 * 1024);
    std::size_t at = expected.size();
    log.ForEachLine(0, run.expected_lines, [&](std::string_view got, monitor::Rgb colour) {
      if (!same) return;
      if (at == expected.size()) {
        source.Fill(expected);
        at = 0;
      }
      same = got == monitor::ByteTextView(expected[at++], form) && colour == monitor::kBlue;
      if (same) ++in_order;
    });
  }
  const std::uint64_t lines = log.LineCount();
  return run.expected_lines - in_order +
         (lines > run.expected_lines ? lines - run.expected_lines : 0);
}

struct WindowFigures {
  double rss_mb[3] = {-1, -1, -1};
  std::uint64_t lost = 0;
};

// Scrolling as the operator does it: keys, then the bar dragged to random
// places, each followed by the frame it causes.
void Scroll(LogView& view, std::mt19937_64& random, StallWatch& watch) {
  view.setFocus();
  watch.Begin("scroll");
  const auto frame = std::chrono::milliseconds(40);
  Press(&view, Qt::Key_Home);
  PumpFor(frame);
  for (int i = 0; i < 10; ++i) {
    Press(&view, Qt::Key_PageDown);
    PumpFor(frame);
  }
  Press(&view, Qt::Key_End);
  PumpFor(frame);
  for (int i = 0; i < 10; ++i) {
    Press(&view, Qt::Key_PageUp);
    PumpFor(frame);
  }
  QScrollBar* bar = view.verticalScrollBar();
  for (int i = 0; i < 50; ++i) {
    bar->setValue(std::uniform_int_distribution<int>(bar->minimum(), bar->maximum())(random));
    PumpFor(frame);
  }
  Press(&view, Qt::Key_End);
  PumpFor(frame);
  watch.End();
}

void Resize(TfrmRiriredOz& form, StallWatch& watch) {
  watch.Begin("resize");
  const QSize sizes[] = {{640, 400}, {1280, 960}, {800, 600}, {1600, 1000}, {1000, 700}};
  for (int round = 0; round < 4; ++round) {
    for (const QSize& s : sizes) {
      form.resize(s);
      PumpFor(std::chrono::milliseconds(60));
    }
  }
  watch.End();
}

// Select-all and copy with the keys; waits until the clipboard changed or a
// message was shown. The characters put on the clipboard, -1 for none.
long long SelectAllAndCopy(LogView& view, std::size_t lines, BenchUi& ui, StallWatch& watch) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  PumpFor(std::chrono::milliseconds(20));
  const int shown = ui.shown;
  bool changed = false;
  const auto connection =
      QObject::connect(clipboard, &QClipboard::dataChanged, [&] { changed = true; });
  view.setFocus();
  watch.Begin("copy");
  const auto start = Clock::now();
  Press(&view, Qt::Key_A, Qt::ControlModifier);
  Press(&view, Qt::Key_C, Qt::ControlModifier);
  const bool done =
      PumpUntil([&] { return changed || ui.shown != shown; }, std::chrono::minutes(5));
  const double seconds = Seconds(Clock::now() - start);
  PumpFor(std::chrono::milliseconds(100));
  watch.End();
  QObject::disconnect(connection);
  const long long chars = changed ? clipboard->text().size() : -1;
  std::printf("  select-all + copy of %zu lines: %s after %.3f s, %lld characters copied\n", lines,
              done ? (changed ? "clipboard set" : "a message") : "nothing (timed out)", seconds,
              chars);
  return chars;
}

// The characters a copy of the whole log puts on the clipboard: every line,
// joined by line feeds (one UTF-16 unit per Windows-1252 character).
std::uint64_t WholeLogChars(const monitor::LogStore& log) {
  const std::size_t n = log.LineCount();
  return n == 0 ? 0 : log.CharCount(0, n) + (n - 1);
}

// Salvar with the dialog answered: waits until the file is in place (it
// appears only once complete) and the window has settled.
void Save(TfrmRiriredOz& form, BenchUi& ui, const fs::path& file, StallWatch& watch) {
  fs::remove(file);
  ui.save_answer = QString::fromStdString(file.string());
  const std::uint64_t lines = form.Log().LineCount();
  watch.Begin("save");
  const auto start = Clock::now();
  form.btnSalvar->click();
  const bool saved = PumpUntil([&] { return fs::exists(file); }, std::chrono::minutes(60));
  const double seconds = Seconds(Clock::now() - start);
  PumpFor(std::chrono::milliseconds(200));
  watch.End();
  ui.save_answer.reset();
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  std::printf("  Salvar of %llu lines: %s, %.1f MB of RTF in %.2f s (%.1f MB/s)\n", Ull(lines),
              saved ? "saved" : "NOT saved (timed out)", ec ? 0.0 : static_cast<double>(size) / 1e6,
              seconds, ec ? 0.0 : static_cast<double>(size) / 1e6 / seconds);
  fs::remove(file, ec);
}

void Limpar(TfrmRiriredOz& form, StallWatch& watch) {
  const std::uint64_t lines = form.Log().LineCount();
  watch.Begin("limpar");
  const auto start = Clock::now();
  form.btnLimpar->click();
  const double ms = Ms(Clock::now() - start);
  PumpFor(std::chrono::milliseconds(200));
  watch.End();
  std::printf("  Limpar of %llu lines: %.2f ms in the click, %zu lines left\n", Ull(lines), ms,
              form.Log().LineCount());
}

WindowFigures WindowPart(const Args& args, bench::BenchPty& pty, BenchUi& ui, StallWatch& watch,
                         const fs::path& work_dir) {
  WindowFigures figures;
  std::mt19937_64 random(16);
  const Format formats[] = {kString, kDecimal, kOz};
  for (int f = 0; f < 3; ++f) {
    const Format& format = formats[f];
    auto form = OpenWindow(format, pty.path, work_dir);
    if (!form) {
      std::printf("%s: the window did not open the port in its format\n", format.name);
      figures.lost += 1;
      continue;
    }
    const std::uint64_t seed = 100 + static_cast<std::uint64_t>(f);
    const std::uint64_t mb =
        format.pattern == fixture_sim::StreamPattern::spFrames ? args.oz_mb : args.stream_mb;
    const long rss_at_start = bench::ResidentBytes();
    const StreamRun run = Stream(*form, pty.master, format, mb * kMiB, seed, &watch);
    const monitor::LogStore& log = form->Log();
    const auto check_start = Clock::now();
    const std::uint64_t lost = Lost(log, format, run, seed);
    figures.lost += lost;
    figures.rss_mb[f] = Mb(run.rss_growth);
    std::printf(
        "%s: %llu bytes, %llu lines expected, %zu in the log%s; %.1f s (%.2f MB/s); "
        "resident memory %.1f MB at the window's start, +%.1f MB over the stream (log in "
        "memory %.1f MB, spilled %.1f MB); lost %llu (checked in %.1f s)\n",
        format.name, Ull(run.bytes), Ull(run.expected_lines), log.LineCount(),
        run.complete ? "" : " (TIMED OUT)", run.seconds,
        static_cast<double>(run.bytes) / 1e6 / run.seconds, Mb(rss_at_start), figures.rss_mb[f],
        Mb(static_cast<long>(log.MemoryBytes())), Mb(static_cast<long>(log.SpilledBytes())),
        Ull(lost), Seconds(Clock::now() - check_start));

    if (f == 0) {
      // The operator's work on the whole log.
      Scroll(*form->memSerial, random, watch);
      Resize(*form, watch);
      Save(*form, ui, work_dir / "allday.rtf", watch);
      SelectAllAndCopy(*form->memSerial, form->Log().LineCount(), ui, watch);
      Limpar(*form, watch);
      // A log small enough for the clipboard.
      const StreamRun small =
          Stream(*form, pty.master, format, args.copy_mb * kMiB, 99, &watch, "String after Limpar");
      const std::uint64_t expected = WholeLogChars(form->Log());
      const long long copied =
          SelectAllAndCopy(*form->memSerial, form->Log().LineCount(), ui, watch);
      std::printf("  the copy of %llu lines holds %lld of %llu characters%s\n",
                  Ull(small.expected_lines), copied, Ull(expected),
                  copied == static_cast<long long>(expected) ? "" : " (MISMATCH)");
      if (copied != static_cast<long long>(expected)) figures.lost += 1;
      Limpar(*form, watch);
    }
    form->Serial().ClosePort();
    form.reset();
    PumpFor(std::chrono::milliseconds(100));
  }
  return figures;
}

// ---------------------------------------------------------------------------
// 3. A store of a billion lines and more, filled directly.

struct BigFigures {
  double scroll_p99_ms = -1;
  double save_mb_per_s = -1;
  std::uint64_t day_lines = 0;
  bool day_ok = false;
};

// Line i of the big log: a byte that tells i modulo 251, in "Decimal".
std::uint8_t BigByte(std::uint64_t i) { return static_cast<std::uint8_t>(i % 251); }

void Fill(monitor::LogStore& log, std::uint64_t lines) {
  const auto start = Clock::now();
  const std::uint64_t from = log.LineCount();
  for (std::uint64_t i = from; i < lines; ++i)
    log.AppendByte(BigByte(i), monitor::ByteForm::Decimal);
  const double s = Seconds(Clock::now() - start);
  std::printf(
      "store filled to %zu lines: %.1f s (%.1f M lines/s); in memory %.1f MB, spilled "
      "%.1f MB, %llu drops\n",
      log.LineCount(), s, static_cast<double>(lines - from) / s / 1e6,
      Mb(static_cast<long>(log.MemoryBytes())), Mb(static_cast<long>(log.SpilledBytes())),
      Ull(log.DropCount()));
}

// Jumps by the scroll bar to random places; the time of each jump and its repaint.
std::vector<double> Jumps(LogView& view, std::uint64_t count, std::mt19937_64& random) {
  QScrollBar* bar = view.verticalScrollBar();
  std::vector<double> ms;
  ms.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    const int value = std::uniform_int_distribution<int>(bar->minimum(), bar->maximum())(random);
    const auto start = Clock::now();
    bar->setValue(value);
    view.viewport()->repaint();
    ms.push_back(Ms(Clock::now() - start));
    QCoreApplication::processEvents();
  }
  return ms;
}

void PrintJumps(const char* what, const std::vector<double>& ms) {
  std::printf("%s: %zu jumps, repaint median %.2f ms, p99 %.2f ms, max %.2f ms\n", what, ms.size(),
              bench::Percentile(ms, 0.5), bench::Percentile(ms, 0.99), bench::Percentile(ms, 1.0));
}

// End and Home with the keys: the view must show the last page and the first line.
bool EndAndHome(LogView& view) {
  view.setFocus();
  Press(&view, Qt::Key_End);
  PumpFor(std::chrono::milliseconds(100));
  view.viewport()->repaint();
  const auto at_end = static_cast<long long>(view.firstVisibleLine());
  const auto last_page = static_cast<long long>(view.lastPageFirstLine());
  const bool at_end_flag = view.isAtEnd();
  const bool end_ok = at_end_flag && at_end == last_page && last_page > 0;
  Press(&view, Qt::Key_Home);
  PumpFor(std::chrono::milliseconds(100));
  view.viewport()->repaint();
  const auto at_home = static_cast<long long>(view.firstVisibleLine());
  std::printf(
      "End: first line in view %lld, last page from %lld, at end %d; Home: first line "
      "in view %lld\n",
      at_end, last_page, at_end_flag ? 1 : 0, at_home);
  return end_ok && at_home == 0;
}

BigFigures BigPart(const Args& args, StallWatch& watch, const fs::path& work_dir) {
  BigFigures figures;
  std::mt19937_64 random(1600);
  monitor::LogStore log;
  Fill(log, args.big_lines);
  LogView view(log);
  view.resize(900, 700);
  view.show();
  view.contentsChanged();
  PumpFor(std::chrono::milliseconds(200));

  const std::vector<double> jumps = Jumps(view, args.jumps, random);
  PrintJumps("scroll", jumps);
  figures.scroll_p99_ms = bench::Percentile(jumps, 0.99);
  // The operator's scrolling keys and bar on this log, for the stall figures.
  Scroll(view, random, watch);

  {
    monitor::LogSnapshot snapshot = log.Snapshot();
    const fs::path file = work_dir / "big.rtf";
    const auto start = Clock::now();
    monitor::SaveRtf(snapshot, file);
    const double s = Seconds(Clock::now() - start);
    const auto size = fs::file_size(file);
    figures.save_mb_per_s = static_cast<double>(size) / 1e6 / s;
    std::printf("SaveRtf of %zu lines: %.1f MB of RTF in %.1f s, %.1f MB/s\n", log.LineCount(),
                static_cast<double>(size) / 1e6, s, figures.save_mb_per_s);
    fs::remove(file);
  }

  Fill(log, args.day_lines);
  view.contentsChanged();
  PumpFor(std::chrono::milliseconds(200));
  figures.day_lines = log.LineCount();
  const std::uint64_t last = figures.day_lines - 1;
  const bool store_ok =
      figures.day_lines == args.day_lines && log.DropCount() == 0 &&
      log.LineView(last) == monitor::ByteTextView(BigByte(last), monitor::ByteForm::Decimal) &&
      log.LineView(0) == monitor::ByteTextView(BigByte(0), monitor::ByteForm::Decimal);
  const bool view_ok = EndAndHome(view);
  figures.day_ok = store_ok && view_ok;
  std::printf("day log: %llu lines (%s INT_MAX), first and last lines %s, End/Home %s\n",
              Ull(figures.day_lines), figures.day_lines > INT_MAX ? "above" : "below",
              store_ok ? "right" : "WRONG", view_ok ? "reach both ends" : "DO NOT reach both ends");
  PrintJumps("scroll on the day log", Jumps(view, args.jumps, random));
  return figures;
}

// ---------------------------------------------------------------------------
// 4. What spilling costs in throughput.

struct SpillFigures {
  double spill_bps = -1;
  double nospill_bps = -1;
  std::uint64_t lost = 0;
};

SpillFigures SpillPart(const Args& args, bench::BenchPty& pty, const fs::path& work_dir) {
  SpillFigures figures;
  std::vector<double> rates[2];  // [0] the usual bound, [1] nothing spills
  for (int round = 0; round < 3; ++round) {
    for (int unbounded = 0; unbounded < 2; ++unbounded) {
      auto form =
          OpenWindow(kString, pty.path, work_dir, unbounded ? SIZE_MAX : monitor::kLogMemoryBound);
      if (!form) {
        std::printf("spill: the window did not open the port\n");
        figures.lost += 1;
        continue;
      }
      const std::uint64_t seed = 200 + static_cast<std::uint64_t>(round);
      const StreamRun run = Stream(*form, pty.master, kString, args.spill_mb * kMiB, seed, nullptr);
      const std::uint64_t lost = Lost(form->Log(), kString, run, seed);
      figures.lost += lost;
      const double rate = static_cast<double>(run.bytes) / run.seconds;
      rates[unbounded].push_back(rate);
      std::printf("spill: %s, %llu MB in %.2f s: %.2f MB/s, spilled %.1f MB, lost %llu\n",
                  unbounded ? "bound off" : "bound on ", Ull(args.spill_mb), run.seconds,
                  rate / 1e6, Mb(static_cast<long>(form->Log().SpilledBytes())), Ull(lost));
      form->Serial().ClosePort();
      form.reset();
      PumpFor(std::chrono::milliseconds(100));
    }
  }
  if (!rates[0].empty()) figures.spill_bps = bench::Percentile(rates[0], 0.5);
  if (!rates[1].empty()) figures.nospill_bps = bench::Percentile(rates[1], 0.5);
  std::printf("spill: median %.2f MB/s with the bound, %.2f MB/s without (x%.2f)\n",
              figures.spill_bps / 1e6, figures.nospill_bps / 1e6,
              figures.spill_bps / figures.nospill_bps);
  return figures;
}

// ---------------------------------------------------------------------------

int Run(const Args& args) {
  BenchUi ui;
  InstallUiServices(&ui);
  StallWatch watch;
  bench::BenchPty pty;
  if (!bench::OpenRawPty(pty)) {
    std::perror("openpty");
    return 1;
  }
  // Where the windows look for their description file (there is none) and
  // where the saves go.
  const fs::path work_dir =
      fs::temp_directory_path() / ("bench_allday-" + std::to_string(::getpid()));
  fs::create_directories(work_dir);
  std::printf("platform %s; stream %llu MB, big log %llu lines, day log %llu lines; load %.2f\n",
              QGuiApplication::platformName().toUtf8().constData(), Ull(args.stream_mb),
              Ull(args.big_lines), Ull(args.day_lines), bench::LoadAverage1());

  WindowFigures window;
  BigFigures big;
  SpillFigures spill;
  const bool all = args.only.empty();
  if (all || args.only == "window") window = WindowPart(args, pty, ui, watch, work_dir);
  if (all || args.only == "big") big = BigPart(args, watch, work_dir);
  if (all || args.only == "spill") spill = SpillPart(args, pty, work_dir);
  const std::uint64_t lost = window.lost + spill.lost;
  bench::ClosePty(pty);
  std::error_code ec;
  fs::remove_all(work_dir, ec);

  const double rss = std::max({window.rss_mb[0], window.rss_mb[1], window.rss_mb[2]});
  std::printf(
      "worst lateness of a 10 ms timer (ms): stream %.1f, scroll %.1f, resize %.1f, save "
      "%.1f, copy %.1f, limpar %.1f; %d messages shown\n",
      watch.Worst("stream"), watch.Worst("scroll"), watch.Worst("resize"), watch.Worst("save"),
      watch.Worst("copy"), watch.Worst("limpar"), ui.shown);
  std::printf(
      "rss_growth_mb=%.1f rss_string_mb=%.1f rss_decimal_mb=%.1f rss_oz_mb=%.1f lost=%llu "
      "max_ui_block_ms=%.1f block_stream_ms=%.1f block_scroll_ms=%.1f "
      "block_resize_ms=%.1f block_save_ms=%.1f block_copy_ms=%.1f block_limpar_ms=%.1f "
      "scroll_p99_ms=%.2f save_mb_per_s=%.1f day_lines=%llu day_ok=%d "
      "spill_bytes_per_s=%.0f nospill_bytes_per_s=%.0f stream_mb=%llu oz_mb=%llu "
      "big_lines=%llu load1=%.2f\n",
      rss, window.rss_mb[0], window.rss_mb[1], window.rss_mb[2], Ull(lost), watch.Overall(),
      watch.Worst("stream"), watch.Worst("scroll"), watch.Worst("resize"), watch.Worst("save"),
      watch.Worst("copy"), watch.Worst("limpar"), big.scroll_p99_ms, big.save_mb_per_s,
      Ull(big.day_lines), big.day_ok ? 1 : 0, spill.spill_bps, spill.nospill_bps,
      Ull(args.stream_mb), Ull(args.oz_mb), Ull(args.big_lines), bench::LoadAverage1());
  const bool big_ok = big.day_ok || !(all || args.only == "big");
  return lost == 0 && big_ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows in a log file as it comes
  Args args;
  if (!ParseArgs(argc, argv, args)) return 2;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  RiriredApplication app(argc, argv);
  return Run(args);
}
