#include "app/QuietScrollBar.h"

#include <QApplication>
#include <QEvent>

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
TEST(QuietScrollBar, RepaintsOnlyWhatShows) {
  QuietScrollBar bar(Qt::Vertical);
  bar.resize(16, 400);
  bar.setPageStep(40);
  bar.setRange(0, 10'000'000);
  bar.setValue(5'000'000);
  bar.show();
  auto settle = [] {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  };
  settle();
  Paints paints;
  bar.installEventFilter(&paints);
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
    settle();
    EXPECT_EQ(paints.count > before, s.repaint) << s.maximum << " " << s.value;
    EXPECT_EQ(bar.maximum(), s.maximum);
    EXPECT_EQ(bar.value(), s.value);
  }
}

}  // namespace
