// "Auto Page Down" keeps the end of the log in view by itself: bytes that
// arrive never act on the focused control (the format box, the setup
// dialog's lists), the log follows while another window is active, the
// operator scrolling up pauses it, and no timer is left running.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <vector>

#include "../cport/device/PtyPair.h"
#include "../cport/setup/SetupTestSupport.h"
#include "FakeUi.h"
#include "app/LogView.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "cport/setup/ComComboBox.h"

namespace {

using cport::device::testing::PtyPair;
using cport::testing::DialogDriver;
using cport::testing::FedPortNames;

struct Window {
  FakeUi ui;
  TfrmRiriredOz form;
};

bool Activate(QWidget& window) {
  window.show();
  QApplication::setActiveWindow(&window);
  return QTest::qWaitForWindowActive(&window, 1000);
}

// The fixture's side: four bytes every 30 ms for about a second, through the
// port's real receive path; true once the log shows them all.
bool StreamForASecond(PtyPair& pty, TfrmRiriredOz& f) {
  constexpr int kWrites = 33;
  const std::size_t expected = f.Log().LineCount() + 4 * kWrites;
  int writes = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (writes < kWrites && pty.Send("abcd")) ++writes;
  });
  tick.start(30);
  return QTest::qWaitFor([&] { return writes == kWrites && f.Log().LineCount() >= expected; },
                         10000);
}

// The view has caught up with the log and its own position: the scroll bar
// shows both.
bool CaughtUp(TfrmRiriredOz& f) {
  return QTest::qWaitFor([&] {
    const QScrollBar* bar = f.memSerial->verticalScrollBar();
    return static_cast<std::size_t>(bar->maximum()) == f.memSerial->lastPageFirstLine() &&
           static_cast<std::size_t>(bar->value()) == f.memSerial->firstVisibleLine();
  });
}

TEST(AutoPageDown, ArrivingBytesLeaveTheFocusedFormatBoxAndSetupDialogAlone) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  FedPortNames names({"ttyS0"});
  Window w;
  TfrmRiriredOz& f = w.form;
  ASSERT_TRUE(f.Settings().AutoPageDown);
  f.Serial().SetPort(pty.path());
  f.bbtnConectar->click();
  ASSERT_TRUE(f.Serial().Connected());
  if (!Activate(f)) GTEST_SKIP() << "the window cannot be activated here";

  f.cmbFormato->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), f.cmbFormato);
  EXPECT_TRUE(StreamForASecond(pty, f));
  EXPECT_EQ(f.cmbFormato->currentIndex(), 0);
  EXPECT_EQ(f.Settings().Formato, 0);
  EXPECT_EQ(QApplication::focusWidget(), f.cmbFormato);

  bool driven = false;
  DialogDriver driver([&](cport::TComSetupFrm& dialog) {
    if (Activate(dialog)) {
      dialog.Combo2->setFocus();
      EXPECT_EQ(QApplication::focusWidget(), dialog.Combo2);
      const QString baud = dialog.Combo2->currentText();
      EXPECT_TRUE(StreamForASecond(pty, f));
      EXPECT_EQ(dialog.Combo2->currentText(), baud);
      EXPECT_EQ(QApplication::focusWidget(), dialog.Combo2);
      driven = true;
    }
    dialog.Button1->click();  // OK applies what the boxes show
  });
  f.btnConfigurar->click();
  EXPECT_TRUE(driver.Shown());
  EXPECT_TRUE(driven) << "the setup dialog could not be activated";
  EXPECT_EQ(f.Serial().BaudRate(), cport::TBaudRate::br9600);
  EXPECT_TRUE(w.ui.uncaught.isEmpty()) << w.ui.uncaught.join("\n").toStdString();
}

TEST(AutoPageDown, TheLogFollowsItsEndWhileAnotherWindowIsActive) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.show();
  QWidget other;
  if (!Activate(other)) GTEST_SKIP() << "no window can be activated here";
  f.PresentReceived(std::vector<std::uint8_t>(300, 'x'));
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.memSerial->isAtEnd(); }));
  EXPECT_GT(f.memSerial->firstVisibleLine(), 200u);
  EXPECT_TRUE(other.isActiveWindow());
}

TEST(AutoPageDown, OperatorScrollingPausesFollowingAndUntickingStopsIt) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.show();
  const std::vector<std::uint8_t> batch(100, 'x');
  f.PresentReceived(batch);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.memSerial->isAtEnd(); }));
  ASSERT_TRUE(CaughtUp(f));
  for (QTimer* timer : f.findChildren<QTimer*>()) {
    EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString();
  }

  // Reading further up: new bytes leave the view where the operator put it.
  QTest::keyClick(f.memSerial, Qt::Key_PageUp);
  const std::size_t reading = f.memSerial->firstVisibleLine();
  f.PresentReceived(batch);
  ASSERT_TRUE(CaughtUp(f));
  EXPECT_EQ(f.memSerial->firstVisibleLine(), reading);
  // Back at the end (the key, or the scroll bar at its bottom): followed again.
  QTest::keyClick(f.memSerial, Qt::Key_End);
  f.PresentReceived(batch);
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.memSerial->isAtEnd(); }));
  QTest::keyClick(f.memSerial, Qt::Key_PageUp);
  ASSERT_TRUE(CaughtUp(f));
  f.memSerial->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  f.PresentReceived(batch);
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.memSerial->isAtEnd(); }));

  // Unticked: the view stays, at once; ticked again: back to the end.
  ASSERT_TRUE(CaughtUp(f));
  const std::size_t before = f.memSerial->firstVisibleLine();
  f.ckbAutoPageDown->click();
  ASSERT_FALSE(f.Settings().AutoPageDown);
  f.PresentReceived(batch);
  ASSERT_TRUE(CaughtUp(f));
  EXPECT_EQ(f.memSerial->firstVisibleLine(), before);
  f.ckbAutoPageDown->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.memSerial->isAtEnd(); }));
}

}  // namespace
