// Floods and a soak through the live path: a pseudo-terminal streams into the
// main window (offscreen) with the port's event worker and the Qt dispatcher,
// as in the program. Sizes are CI-sized; RIRIRED_FLOOD_MB and
// RIRIRED_SOAK_SECONDS give the long runs (100 MB, 3600 s) by hand.
#include <gtest/gtest.h>

#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "../app/FakeUi.h"
#include "../app/live/LiveFixture.h"
#include "Measures.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "monitor/log/LogStore.h"

namespace reliability {
namespace {

using namespace std::chrono_literals;
using live::FixturePty;
using live::PumpUntil;
using live::StreamBytes;
using live::WriteAll;

constexpr double kMiB = 1024.0 * 1024.0;

struct LiveWindow {
  LiveWindow() : form(MakeOptions()) {
    // Count what the window's receive handler is handed, in every format.
    auto show = form.Serial().OnRxChar;
    form.Serial().OnRxChar = [this, show](cport::TCustomComPort& sender, int count) {
      show(sender, count);
      received += static_cast<std::size_t>(count);
    };
  }
  static TfrmRiriredOz::Options MakeOptions() {
    TfrmRiriredOz::Options options;
    options.programDir = RIRIRED_SOURCE_DIR "/data";
    return options;
  }
  void Connect(const std::string& port) {
    form.Serial().SetPort(port);
    form.bbtnConectar->click();
    ASSERT_TRUE(form.Serial().Connected());
  }
  FakeUi ui;
  TfrmRiriredOz form;
  std::size_t received = 0;
};

// Random bytes at full speed in each display format: every byte is handed to
// the window, the byte formats show each as its line, memory stays within
// 4 MB per MB received and the event loop keeps running.
TEST(Flood, RandomBytesAtFullSpeedInEveryFormat) {
  const std::size_t size = EnvOr("RIRIRED_FLOOD_MB", kSanitized ? 2 : 10) << 20;
  for (const std::uint8_t formato : {0, 1, 2, 3}) {
    SCOPED_TRACE(static_cast<int>(formato));
    FixturePty pty;
    ASSERT_TRUE(pty.Ok());
    LiveWindow w;
    w.form.show();
    w.form.Settings().Formato = formato;
    const std::string bytes = StreamBytes(size, formato + 7);
    w.Connect(pty.Path());
    const std::size_t memoryBefore = ResidentBytes();
    LoopLateness lateness;
    std::atomic<bool> stop{false};
    std::size_t sent = 0;
    const auto start = std::chrono::steady_clock::now();
    std::thread writer([&, fd = pty.Master()] { sent = WriteAll(fd, bytes, stop); });
    const bool all = PumpUntil([&] { return w.received >= size; }, 600s);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stop = true;
    writer.join();
    const double growth = (static_cast<double>(ResidentBytes()) - memoryBefore) / kMiB;
    const double mb = size / kMiB;
    std::printf(
        "flood Formato %d: %.0f MB in %.1f s (%.1f MB/s), %zu lines, memory +%.1f MB "
        "(%.2f MB per MB), event loop blocked at most %lld ms (%zu timer runs)\n",
        formato, mb, seconds, mb / seconds, w.form.Log().LineCount(), growth, growth / mb,
        static_cast<long long>(lateness.WorstMs()), lateness.Runs());
    ASSERT_TRUE(all) << w.received << " of " << sent << " bytes handed over";
    EXPECT_EQ(w.received, size);
    EXPECT_TRUE(w.ui.uncaught.isEmpty()) << w.ui.uncaught.join("; ").toStdString();
    if (formato != 3) {
      ASSERT_EQ(w.form.Log().LineCount(), size);
      // The last lines are the last bytes (the first are checked by the
      // live tests).
      const monitor::ByteForm form = formato == 0   ? monitor::ByteForm::Character
                                     : formato == 1 ? monitor::ByteForm::Decimal
                                                    : monitor::ByteForm::Hexadecimal;
      for (std::size_t i = size - 1000; i < size; ++i) {
        ASSERT_EQ(w.form.Log().LineText(i),
                  monitor::ByteTextView(static_cast<std::uint8_t>(bytes[i]), form))
            << "line " << i;
      }
      if (!kSanitized) {
        EXPECT_LE(growth, 4 * mb);
      }
    }
    // The event loop kept running; how long it was held at worst is printed
    // above and recorded, not judged: under ctest's parallel runs another
    // test's work can hold a core for 100 ms. bench_allday measures the
    // stalls on a machine of their own.
    EXPECT_GE(lateness.Runs(), static_cast<std::size_t>(seconds * 50));
    ::testing::Test::RecordProperty("worst_lateness_ms_formato_" + std::to_string(formato),
                                    static_cast<int>(lateness.WorstMs()));
    w.form.bbtnConectar->click();
    EXPECT_FALSE(w.form.Serial().Connected());
  }
}

// One test run of the fixture as report frames: a test start, 30 results
// and a verdict, 256 bytes.
std::string TestRun(std::uint8_t run) {
  auto frame = [](std::uint8_t result, std::uint8_t test) {
    return std::string{'\xFA', 8, '\xAA', static_cast<char>(result), static_cast<char>(test),
                       0,      0, 0};
  };
  std::string bytes = frame(0, run);
  for (std::uint8_t t = 0; t < 30; ++t) bytes += frame(3, t);
  bytes += frame(5, 1);
  return bytes;
}

// "Ririred OZ" at 25,600 bytes/s with AutoLimparLog: after a warm-up, memory,
// open files and threads stay flat, and every byte sent is handed over.
TEST(Soak, RiriredOzAtTheFixturesRateWithAutoLimparLog) {
  const auto duration = std::chrono::seconds(EnvOr("RIRIRED_SOAK_SECONDS", kSanitized ? 30 : 120));
  FixturePty pty;
  ASSERT_TRUE(pty.Ok());
  LiveWindow w;
  w.form.show();
  w.form.Settings().Formato = 3;
  w.form.Settings().AutoLimparLog = true;
  w.Connect(pty.Path());
  LoopLateness lateness;
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> sent{0};
  // 256 bytes every 10 ms, on a fixed schedule.
  std::thread writer([&, fd = pty.Master()] {
    auto next = std::chrono::steady_clock::now();
    for (std::uint8_t run = 0; !stop; ++run) {
      const std::string bytes = TestRun(run);
      sent += WriteAll(fd, bytes, stop);
      next += 10ms;
      std::this_thread::sleep_until(next);
    }
  });
  const auto start = std::chrono::steady_clock::now();
  PumpUntil([&] { return std::chrono::steady_clock::now() - start >= duration / 5; }, duration);
  const std::size_t memoryWarm = ResidentBytes(), filesWarm = OpenFiles(), threadsWarm = Threads();
  std::size_t memoryPeak = memoryWarm;
  std::size_t longestLog = 0;
  PumpUntil(
      [&] {
        memoryPeak = std::max(memoryPeak, ResidentBytes());
        longestLog = std::max(longestLog, w.form.Log().LineCount());
        return std::chrono::steady_clock::now() - start >= duration;
      },
      duration * 2);
  const std::size_t memoryEnd = ResidentBytes(), filesEnd = OpenFiles(), threadsEnd = Threads();
  stop = true;
  writer.join();
  ASSERT_TRUE(PumpUntil([&] { return w.received >= sent; }, 30s));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "soak: %zu bytes in %.0f s; memory after warm-up %.1f MB, peak %.1f MB, end %.1f "
      "MB; files %zu -> %zu; threads %zu -> %zu; longest log %zu lines; event loop "
      "blocked at most %lld ms (%zu timer runs)\n",
      sent.load(), seconds, memoryWarm / kMiB, memoryPeak / kMiB, memoryEnd / kMiB, filesWarm,
      filesEnd, threadsWarm, threadsEnd, longestLog, static_cast<long long>(lateness.WorstMs()),
      lateness.Runs());
  EXPECT_EQ(w.received, sent.load());
  // The worst lateness over minutes mostly measures what else the machine
  // runs (a shared CI runner); it is reported, and held to the goal in the
  // floods above.
  EXPECT_GE(lateness.Runs(), static_cast<std::size_t>(seconds * 50));
  EXPECT_GE(sent.load(), static_cast<std::size_t>(25600 * 0.9 * seconds * 0.9));
  // AddressSanitizer keeps freed memory in quarantine, so resident memory
  // grows there without a leak; LeakSanitizer checks leaks at exit instead.
  if (!kSanitized) {
    EXPECT_LE(memoryPeak, memoryWarm + (4 << 20));
  }
  // Growth is the fault; Qt's pooled helper threads (and their descriptors)
  // may have retired since the warm-up.
  EXPECT_LE(filesEnd, filesWarm);
  EXPECT_LE(threadsEnd, threadsWarm);
  EXPECT_LE(longestLog, 64u) << "AutoLimparLog clears the log at each test start";
  EXPECT_TRUE(w.ui.uncaught.isEmpty()) << w.ui.uncaught.join("; ").toStdString();
  w.form.bbtnConectar->click();
}

}  // namespace
}  // namespace reliability
