// The main window on a real pseudo-terminal: bytes written by the test (the
// fixture's side) reach the log live, in order and complete; the port that
// loses its device closes itself; closing the window or the port while
// bytes stream in is safe.
#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../FakeUi.h"
#include "LiveFixture.h"
#include "app/frRiriredOz.h"
#include "cport/errors/ComMessages.h"
#include "cport/port/ComPort.h"
#include "cport/dispatch/UiCallQueue.h"
#include "cport/qt/QtUiDispatcher.h"
#include "monitor/log/LogStore.h"
#include "monitor/ReceivePresenter.h"

namespace {

using namespace std::chrono_literals;
using live::FixturePty;
using live::PumpFor;
using live::PumpUntil;
using live::StreamBytes;
using live::WriteAll;

struct LiveWindow {
  LiveWindow() : form(MakeOptions()) {}
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
  std::size_t Lines() { return form.Log().LineCount(); }
  FakeUi ui;  // before the window: installed while it lives
  TfrmRiriredOz form;
};

// How many lines, from the first, show the bytes of `sent` in order.
std::size_t LinesMatching(const monitor::LogStore& log, std::string_view sent,
                          monitor::ByteForm form) {
  std::size_t i = 0;
  bool same = true;
  log.ForEachLine(0, std::min(log.LineCount(), sent.size()), [&](std::string_view text, auto) {
    if (!same) return;
    same = text == monitor::ByteTextView(static_cast<std::uint8_t>(sent[i]), form);
    if (same) ++i;
  });
  return i;
}

TEST(LiveMonitor, AStreamAtFullSpeedReachesTheLogInEveryFormat) {
  const struct {
    std::uint8_t formato;
    monitor::ByteForm form;
  } formats[] = {{0, monitor::ByteForm::Character},
                 {1, monitor::ByteForm::Decimal},
                 {2, monitor::ByteForm::Hexadecimal}};
  for (const auto& f : formats) {
    SCOPED_TRACE(static_cast<int>(f.formato));
    FixturePty pty;
    ASSERT_TRUE(pty.Ok());
    LiveWindow w;
    w.form.Settings().Formato = f.formato;
    w.Connect(pty.Path());
    const std::string bytes = StreamBytes(1 << 20, f.formato + 1);
    std::atomic<bool> stop{false};
    std::size_t sent = 0;
    std::thread writer([&, fd = pty.Master()] { sent = WriteAll(fd, bytes, stop); });
    const bool all = PumpUntil([&] { return w.Lines() >= bytes.size(); });
    stop = true;
    writer.join();
    ASSERT_TRUE(all) << w.Lines() << " lines of " << sent << " bytes sent";
    EXPECT_EQ(sent, bytes.size());
    EXPECT_EQ(w.Lines(), bytes.size());
    EXPECT_EQ(LinesMatching(w.form.Log(), bytes, f.form), bytes.size());
    EXPECT_TRUE(w.ui.uncaught.isEmpty()) << w.ui.uncaught.join("; ").toStdString();
    w.form.bbtnConectar->click();
    EXPECT_FALSE(w.form.Serial().Connected());
  }
}

TEST(LiveMonitor, OneReceiveEventReadsMoreThanOneBufferInPasses) {
  FixturePty pty;
  ASSERT_TRUE(pty.Ok());
  LiveWindow w;
  w.Connect(pty.Path());
  std::vector<int> counts;
  auto show = w.form.Serial().OnRxChar;
  w.form.Serial().OnRxChar = [&](cport::TCustomComPort& sender, int count) {
    counts.push_back(count);
    show(sender, count);
  };
  const std::string bytes = StreamBytes(3000);
  std::atomic<bool> stop{false};
  ASSERT_EQ(WriteAll(pty.Master(), bytes, stop), bytes.size());
  // Every byte is in the port's queue before the event loop hands the first
  // event over; nothing more follows them.
  const auto end = std::chrono::steady_clock::now() + 10s;
  int queued = 0;
  while (queued < 3000 && std::chrono::steady_clock::now() < end) {
    std::this_thread::yield();
    queued = w.form.Serial().BytesWaiting();
  }
  ASSERT_EQ(queued, 3000);
  ASSERT_TRUE(PumpUntil([&] { return w.Lines() >= bytes.size(); }));
  EXPECT_EQ(counts, std::vector<int>{3000});
  EXPECT_EQ(LinesMatching(w.form.Log(), bytes, monitor::ByteForm::Character), bytes.size());
}

// A stable name for the fixture's port, as udev gives a USB adapter: the
// link is pointed at whichever pseudo-terminal plays the device now.
class PortLink {
 public:
  PortLink() {
    char dir[] = "/tmp/riri-live-XXXXXX";
    if (::mkdtemp(dir)) dir_ = dir;
    link_ = dir_ / "ttyFixture";
  }
  ~PortLink() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  void PointAt(const std::string& target) {
    std::filesystem::remove(link_);
    std::filesystem::create_symlink(target, link_);
  }
  std::string Path() const { return link_.string(); }

 private:
  std::filesystem::path dir_;
  std::filesystem::path link_;
};

TEST(LiveMonitor, ADeviceThatGoesAwayDuringAStreamIsReportedOnceAndThePortCloses) {
  PortLink link;
  auto first = std::make_unique<FixturePty>();
  ASSERT_TRUE(first->Ok());
  link.PointAt(first->Path());
  LiveWindow w;
  w.Connect(link.Path());
  EXPECT_EQ(w.form.bbtnConectar->text(), "&Desconectar");

  // The fixture streams, then its line goes away mid-stream.
  const std::string bytes = StreamBytes(256 << 10);
  std::atomic<bool> stop{false};
  std::thread writer([&, fd = first->TakeMaster()] {
    WriteAll(fd, std::string_view(bytes).substr(0, bytes.size() / 2), stop);
    ::close(fd);
  });
  const bool closed =
      PumpUntil([&] { return !w.form.Serial().Connected() && !w.ui.uncaught.isEmpty(); });
  writer.join();
  ASSERT_TRUE(closed);
  PumpFor(100ms);
  ASSERT_EQ(w.ui.uncaught.size(), 1) << w.ui.uncaught.join("; ").toStdString();
  EXPECT_TRUE(w.ui.uncaught[0].endsWith(
      QString::fromStdString("(system error 5: " + cport::SystemErrorText(5) + ")")))
      << w.ui.uncaught[0].toStdString();
  EXPECT_EQ(w.form.bbtnConectar->text(), "&Conectar");
  EXPECT_TRUE(w.form.bbtnConectar->isDefault());
  EXPECT_FALSE(w.form.Serial().EventMonitorRunning());
  // What was shown is the stream's beginning, in order, then the loss.
  EXPECT_EQ(LinesMatching(w.form.Log(), bytes, monitor::ByteForm::Character), w.Lines() - 1);
  EXPECT_NE(w.form.Log().LineText(w.Lines() - 1).find(" porta perdida "), std::string::npos);

  // While the device is still gone a click fails as any open does.
  first.reset();
  w.form.bbtnConectar->click();
  EXPECT_FALSE(w.form.Serial().Connected());
  ASSERT_EQ(w.ui.uncaught.size(), 2);
  EXPECT_EQ(w.ui.uncaught[1].toStdString(),
            "Unable to open com port (system error 2: " + cport::SystemErrorText(2) + ")");
  EXPECT_EQ(w.form.bbtnConectar->text(), "&Conectar");

  // The device is back under the same name: a click reconnects.
  FixturePty second;
  ASSERT_TRUE(second.Ok());
  link.PointAt(second.Path());
  w.form.bbtnConectar->click();
  ASSERT_TRUE(w.form.Serial().Connected());
  EXPECT_EQ(w.form.bbtnConectar->text(), "&Desconectar");
  const std::size_t before = w.Lines();
  ASSERT_EQ(WriteAll(second.Master(), "OK", stop), 2u);
  ASSERT_TRUE(PumpUntil([&] { return w.Lines() >= before + 2; }));
  EXPECT_EQ(w.form.Log().LineText(before), "O");
  EXPECT_EQ(w.form.Log().LineText(before + 1), "K");
  EXPECT_EQ(w.ui.uncaught.size(), 2);
}

// With "Auto Conectar" ticked the monitor waits for the port to come back
// behind the link it was opened by, reopens it within a couple of seconds
// and marks both moments in the log; "Desconectar" during the wait ends it.
TEST(LiveMonitor, ALostPortComesBackBehindItsLinkAndIsReopened) {
  PortLink link;
  auto first = std::make_unique<FixturePty>();
  ASSERT_TRUE(first->Ok());
  link.PointAt(first->Path());
  LiveWindow w;
  w.form.ckbAutoConectar->setChecked(true);
  w.Connect(link.Path());

  ::close(first->TakeMaster());
  ASSERT_TRUE(PumpUntil([&] { return !w.form.Serial().Connected(); }));
  first.reset();  // the node goes with its last user
  EXPECT_EQ(w.form.bbtnConectar->text(), "&Desconectar") << "waiting for the port";
  FixturePty second;
  ASSERT_TRUE(second.Ok());
  link.PointAt(second.Path());
  ASSERT_TRUE(PumpUntil([&] { return w.form.Serial().Connected(); }, 2500ms));
  std::atomic<bool> stop{false};
  const std::size_t before = w.Lines();
  ASSERT_EQ(WriteAll(second.Master(), "OK", stop), 2u);
  ASSERT_TRUE(PumpUntil([&] { return w.Lines() >= before + 2; }));
  EXPECT_EQ(w.form.Log().LineText(before + 1), "K");
  ASSERT_GE(before, 2u);
  EXPECT_NE(w.form.Log().LineText(before - 2).find(" porta perdida "), std::string::npos);
  EXPECT_NE(w.form.Log().LineText(before - 1).find(" porta reaberta "), std::string::npos);
  EXPECT_EQ(w.ui.uncaught.size(), 1) << "the loss is reported; the reopen is not";

  // Lost again; the operator stops the wait, and a port that comes back
  // then stays closed.
  ::close(second.TakeMaster());
  ASSERT_TRUE(PumpUntil([&] { return !w.form.Serial().Connected(); }));
  w.form.bbtnConectar->click();
  EXPECT_EQ(w.form.bbtnConectar->text(), "&Conectar");
  FixturePty third;
  ASSERT_TRUE(third.Ok());
  link.PointAt(third.Path());
  PumpFor(2500ms);
  EXPECT_FALSE(w.form.Serial().Connected());
}

TEST(LiveMonitor, DisconnectingWhileBytesStreamInStopsTheLogAndReconnectingGoesOn) {
  FixturePty pty;
  ASSERT_TRUE(pty.Ok());
  LiveWindow w;
  w.Connect(pty.Path());
  const std::string bytes = StreamBytes(64 << 20);
  std::atomic<bool> stop{false};
  std::thread writer([&, fd = pty.Master()] { WriteAll(fd, bytes, stop); });
  ASSERT_TRUE(PumpUntil([&] { return w.Lines() > 20000; }));
  w.form.bbtnConectar->click();
  EXPECT_FALSE(w.form.Serial().Connected());
  EXPECT_EQ(w.form.bbtnConectar->text(), "&Conectar");
  const std::size_t atClose = w.Lines();
  PumpFor(100ms);
  EXPECT_EQ(w.Lines(), atClose) << "nothing arrives at a closed port";
  EXPECT_EQ(LinesMatching(w.form.Log(), bytes, monitor::ByteForm::Character), atClose);

  // The fixture kept its line: the same name opens again and the stream
  // goes on into the log.
  w.form.bbtnConectar->click();
  ASSERT_TRUE(w.form.Serial().Connected());
  const bool more = PumpUntil([&] { return w.Lines() > atClose + 20000; });
  w.form.bbtnConectar->click();
  stop = true;
  writer.join();
  EXPECT_TRUE(more);
  EXPECT_TRUE(w.ui.uncaught.isEmpty()) << w.ui.uncaught.join("; ").toStdString();
}

TEST(LiveMonitor, ClosingTheWindowWhileBytesStreamInIsSafe) {
  // Once with the event loop running until the close, once with the worker
  // blocked in a hand-over that the event loop never took.
  for (const bool loopRunning : {true, false}) {
    SCOPED_TRACE(loopRunning ? "loop running" : "hand-over pending");
    FixturePty pty;
    ASSERT_TRUE(pty.Ok());
    FakeUi reports;
    auto w = std::make_unique<LiveWindow>();
    w->Connect(pty.Path());
    const std::string bytes = StreamBytes(64 << 20);
    std::atomic<bool> stop{false};
    std::thread writer([&, fd = pty.Master()] { WriteAll(fd, bytes, stop); });
    if (loopRunning) {
      ASSERT_TRUE(PumpUntil([&] { return w->Lines() > 20000; }));
    } else {
      auto& queue = dynamic_cast<cport::UiCallQueue&>(cport::InstallQtUiDispatcher());
      const auto end = std::chrono::steady_clock::now() + 10s;
      while (queue.Queued() == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::yield();
      }
      ASSERT_GT(queue.Queued(), 0u);
    }
    w.reset();
    InstallUiServices(&reports);  // the window's own fake went with it
    stop = true;
    writer.join();
    PumpFor(50ms);  // whatever was posted meanwhile runs against nothing freed
    EXPECT_TRUE(reports.uncaught.isEmpty()) << reports.uncaught.join("; ").toStdString();
  }
}

}  // namespace
