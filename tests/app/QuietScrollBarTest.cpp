#include "app/QuietScrollBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>

#include <functional>

#include <gtest/gtest.h>

namespace {

class Paints : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
  int count = 0;
};

// Whether each change of range and value repaints the bar: only those that
// move the slider by a pixel or reach an end must.
// Runs the event loop until `done` or for `ms`; whether `done` came true.
// Repaints come through a timer at the display's rate, not at once.
bool RunFor(int ms, const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    if (done()) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return done();
}

// Whether each change of range and value repaints the bar: only those that
// move the slider by a pixel or reach an end must.
TEST(QuietScrollBar, RepaintsOnlyWhatShows) {
  QuietScrollBar bar(Qt::Vertical);
  bar.resize(16, 400);
  bar.setPageStep(40);
  bar.setRange(0, 10'000'000);
  bar.setValue(5'000'000);
  Paints paints;
  bar.installEventFilter(&paints);
  bar.show();
  ASSERT_TRUE(RunFor(5000, [&] { return paints.count > 0; }));
  RunFor(100, [] { return false; });
  struct Step {
    int maximum;
    int value;
    bool repaint;
  } const steps[] = {
      {10'000'100, 5'000'100, false},  // far below a pixel
      {10'000'200, 5'000'200, false},
      {10'000'200, 9'000'000, true},   // the slider moves
      {10'000'200, 10'000'200, true},  // at the end: the down arrow greys
      {10'000'300, 10'000'300, false}, // still at the end, same pixels
      {10'000'300, 0, true},
  };
  for (const Step& s : steps) {
    const int before = paints.count;
    bar.setRange(0, s.maximum);
    bar.setValue(s.value);
    // A repaint is waited for; its absence is looked for over 200 ms, ten
    // times the display's frame.
    const bool repainted = RunFor(s.repaint ? 5000 : 200, [&] { return paints.count > before; });
    EXPECT_EQ(repainted, s.repaint) << s.maximum << " " << s.value;
    EXPECT_EQ(bar.maximum(), s.maximum);
    EXPECT_EQ(bar.value(), s.value);
    RunFor(50, [] { return false; });  // a second paint of the same change is not counted
  }
}

}  // namespace
