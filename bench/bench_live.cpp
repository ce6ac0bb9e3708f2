// The live path end to end, on a pseudo-terminal whose master side plays the
// fixture and whose slave the main window's port opens, with the port's
// event worker and the Qt event loop running as in the program:
//  - latency: one byte written to the master, time until the window's
//    OnRxChar handler starts, 1000 times, one byte at a time;
//  - throughput: 10 MiB written at full speed by a writer thread, drained
//    through the window's receive path into the log ("String" format) with
//    the event loop running and the window shown (offscreen), so the view
//    repaints as it does in the program; the log is then compared with what
//    was sent.
//
// Ends with one line:
//   latency_median_us=M latency_p99_us=P bytes_per_s=N lost=L
// L counts the bytes sent that are not in the log, in order (0 expected).
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/RiriredApplication.h"
#include "app/UiServices.h"
#include "harness/QuietUi.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "monitor/log/LogStore.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLatencyRounds = 1000;
constexpr std::size_t kStreamBytes = 10u << 20;

bool OpenPty(int& master, int& slave, std::string& path) {
  char name[128] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
  for (int fd : {master, slave}) {
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  path = name;
  return true;
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      std::perror("write to the pseudo-terminal");
      return;
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

// Runs the event loop until `done` or `limit`; false on timeout.
bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  QTimer tick;
  tick.start(50);  // only a guard: the port's wake-up drives the loop
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  RiriredApplication app(argc, argv);
  bench::QuietUi ui;
  InstallUiServices(&ui);

  int master = -1, slave = -1;
  std::string path;
  if (!OpenPty(master, slave, path)) {
    std::perror("openpty");
    return 1;
  }

  TfrmRiriredOz::Options options;
  auto* form = new TfrmRiriredOz(options);
  form->show();  // painted as in the program (offscreen)
  form->Settings().AutoPageDown = false;
  form->Settings().Formato = 0;
  form->Serial().SetPort(path);
  form->Serial().OpenPort();
  if (!form->Serial().Connected()) {
    std::fprintf(stderr, "the port did not open\n");
    return 1;
  }

  // Latency: the clock starts before the write and stops as the handler
  // starts, so it holds the driver's hand-over, the worker's wake-up, the
  // hand-over to the GUI thread and the count query.
  Clock::time_point arrived{};
  auto show = form->Serial().OnRxChar;
  form->Serial().OnRxChar = [&](cport::TCustomComPort& sender, int count) {
    arrived = Clock::now();
    show(sender, count);
  };
  std::vector<double> latencies;
  latencies.reserve(kLatencyRounds);
  for (int i = 0; i < kLatencyRounds; ++i) {
    arrived = {};
    const char byte = static_cast<char>('A' + i % 26);
    const auto sent = Clock::now();
    WriteAll(master, std::string_view(&byte, 1));
    if (!PumpUntil([&] { return arrived != Clock::time_point{}; }, std::chrono::seconds(10))) {
      std::fprintf(stderr, "byte %d never arrived\n", i);
      return 1;
    }
    latencies.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
  }
  form->Serial().OnRxChar = show;
  const double median = Percentile(latencies, 0.5);
  const double p99 = Percentile(latencies, 0.99);
  std::printf(
      "latency over %d single bytes: median %.1f us, 99th percentile %.1f us, max %.1f us\n",
      kLatencyRounds, median, p99, Percentile(latencies, 1.0));

  // Throughput.
  form->btnLimparClick();
  std::string stream(kStreamBytes, '\0');
  std::mt19937 random(7);
  for (char& c : stream) c = static_cast<char>(random() & 0xFF);
  const auto start = Clock::now();
  std::thread writer([&] { WriteAll(master, stream); });
  const bool all = PumpUntil([&] { return form->Log().LineCount() >= stream.size(); },
                             std::chrono::seconds(600));
  const auto elapsed = Clock::now() - start;
  writer.join();
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const double bytesPerSecond = static_cast<double>(form->Log().LineCount()) / seconds;

  std::size_t inOrder = 0;
  bool same = true;
  form->Log().ForEachLine(0, stream.size(), [&](std::string_view text, auto) {
    if (!same) return;
    same = text == monitor::ByteTextView(static_cast<std::uint8_t>(stream[inOrder]),
                                         monitor::ByteForm::Character);
    if (same) ++inOrder;
  });
  const std::size_t lost = stream.size() - inOrder;
  std::printf("throughput: %zu bytes into the log in %.3f s, %.0f bytes/s, %zu lines, %s\n",
              stream.size(), seconds, bytesPerSecond, form->Log().LineCount(),
              all ? "all arrived" : "timed out");

  form->Serial().ClosePort();
  delete form;
  ::close(master);
  ::close(slave);
  std::printf("latency_median_us=%.1f latency_p99_us=%.1f bytes_per_s=%.0f lost=%zu\n", median, p99,
              bytesPerSecond, lost);
  return lost == 0 && ui.shown == 0 ? 0 : 1;
}
