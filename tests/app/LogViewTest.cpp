#include "app/LogView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "monitor/Cp1252.h"
#include "monitor/log/LogStore.h"

namespace {

using monitor::ByteForm;

bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000) {
  QDeadlineTimer deadline(timeout_ms);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The copy reaches the clipboard from a worker, a moment later.
bool ClipboardBecomes(const QString& text) {
  return WaitFor([&] { return QGuiApplication::clipboard()->text() == text; });
}

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class LogViewTest : public testing::Test {
 protected:
  void SetUp() override {
    view_ = std::make_unique<LogView>(log_);
    view_->viewport()->installEventFilter(&paints_);
    view_->resize(320, 200);
    view_->show();
    ASSERT_TRUE(WaitFor([&] { return paints_.paints > 0; }));
  }

  void Changed() {
    view_->contentsChanged();
    const int expected = view_->lastPageFirstLine();
    ASSERT_TRUE(WaitFor([&] { return view_->verticalScrollBar()->maximum() == expected; }));
  }

  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(view_.get(), &press);
  }

  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, view_->viewport()->mapToGlobal(at), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(view_->viewport(), &event);
  }

  // The height of one row of text as Qt lays it out.
  int Row() const {
    QTextLayout layout(QStringLiteral("0"), view_->font());
    layout.beginLayout();
    QTextLine row = layout.createLine();
    row.setLeadingIncluded(true);
    layout.endLayout();
    return static_cast<int>(row.height());
  }

  monitor::LogStore log_;
  PaintCounter paints_;
  std::unique_ptr<LogView> view_;
};

TEST_F(LogViewTest, PagingReachesAndKeepsTheEnd) {
  for (int i = 0; i < 1000; ++i) log_.AppendByte(static_cast<std::uint8_t>(i), ByteForm::Decimal);
  Changed();
  EXPECT_EQ(view_->firstVisibleLine(), 0);
  EXPECT_FALSE(view_->isAtEnd());

  Key(Qt::Key_PageDown);
  const int page = view_->firstVisibleLine();
  EXPECT_EQ(page, view_->viewport()->height() / Row());
  Key(Qt::Key_PageDown);
  EXPECT_EQ(view_->firstVisibleLine(), 2 * page);
  Key(Qt::Key_PageUp);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(view_->firstVisibleLine(), 0);

  int presses = 0;
  while (!view_->isAtEnd() && presses < 1000) {
    Key(Qt::Key_PageDown);
    ++presses;
  }
  EXPECT_EQ(presses, (1000 - page + page - 1) / page);
  // The last page is full: as many lines as a page from the top holds.
  EXPECT_EQ(view_->firstVisibleLine(), 1000 - page);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(view_->firstVisibleLine(), 1000 - page);
  EXPECT_TRUE(view_->isAtEnd());

  Key(Qt::Key_Home);
  EXPECT_EQ(view_->firstVisibleLine(), 0);
  Key(Qt::Key_Down);
  EXPECT_EQ(view_->firstVisibleLine(), 1);
  Key(Qt::Key_Up);
  Key(Qt::Key_Up);
  EXPECT_EQ(view_->firstVisibleLine(), 0);
  Key(Qt::Key_End);
  EXPECT_TRUE(view_->isAtEnd());
}

// Page Down pressed right after a batch: the key must see the new lines even
// though no frame has been shown since.
TEST_F(LogViewTest, PageDownRightAfterNewLinesMovesIntoThem) {
  for (int i = 0; i < 100; ++i) log_.AppendByte(65, ByteForm::Character);
  Changed();
  Key(Qt::Key_End);
  const int end = view_->firstVisibleLine();
  for (int i = 0; i < 100; ++i) log_.AppendByte(66, ByteForm::Character);
  view_->contentsChanged();
  Key(Qt::Key_PageDown);
  EXPECT_GT(view_->firstVisibleLine(), end);
  for (int i = 0; i < 10; ++i) Key(Qt::Key_PageDown);
  EXPECT_TRUE(view_->isAtEnd());
  EXPECT_EQ(view_->firstVisibleLine(), view_->lastPageFirstLine());
}

TEST_F(LogViewTest, WrappedLineTakesItsRowsAtTheEnd) {
  for (int i = 0; i < 100; ++i) log_.AppendByte(static_cast<std::uint8_t>(i), ByteForm::Hexadecimal);
  Changed();
  const int short_end = view_->lastPageFirstLine();
  std::string long_line;
  for (int i = 0; i < 40; ++i) long_line += "palavra ";
  log_.AppendLine(long_line);
  Changed();
  // One more line moves the end by one; the wrapped line's extra rows push
  // out as many lines more.
  EXPECT_GE(view_->lastPageFirstLine(), short_end + 3);
  Key(Qt::Key_End);
  EXPECT_TRUE(view_->isAtEnd());
}

TEST_F(LogViewTest, MouseSelectionAndCopy) {
  log_.AppendLine("Ol\xE1 mundo");
  log_.SetInsertionColour(monitor::kRed);
  log_.AppendLine("\x80 10,00");
  log_.AppendByte('A', ByteForm::Character);
  log_.AppendByte(13, ByteForm::Character);
  Changed();
  const int row = Row();
  Mouse(QEvent::MouseButtonPress, QPoint(0, row / 2), Qt::LeftButton);
  Mouse(QEvent::MouseMove, QPoint(300, row * 2 + row / 2), Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, QPoint(300, row * 2 + row / 2), Qt::NoButton);
  EXPECT_EQ(view_->selectedText(), QString::fromUtf8("Olá mundo\n€ 10,00\nA"));

  QGuiApplication::clipboard()->clear();
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(ClipboardBecomes(QString::fromUtf8("Olá mundo\n€ 10,00\nA")));

  // From the middle of the second line to the middle of the fourth.
  const int x = view_->fontMetrics().horizontalAdvance(QString::fromUtf8("€ 1")) + 2;
  Mouse(QEvent::MouseButtonPress, QPoint(x, row + row / 2), Qt::LeftButton);
  Mouse(QEvent::MouseMove, QPoint(view_->fontMetrics().horizontalAdvance(" CH") + 2, 3 * row + row / 2),
        Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, QPoint(0, 0), Qt::NoButton);
  EXPECT_EQ(view_->selectedText(), QString::fromUtf8("0,00\nA\n CH"));

  std::unique_ptr<QMenu> menu(view_->createContextMenu(nullptr));
  auto* copy = menu->findChild<QAction*>("actCopiar");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->text(), "Copiar");
  EXPECT_TRUE(copy->isEnabled());
  QGuiApplication::clipboard()->clear();
  copy->trigger();
  EXPECT_TRUE(ClipboardBecomes(QString::fromUtf8("0,00\nA\n CH")));
}

TEST_F(LogViewTest, SelectAllCopiesTheWholeLogAsUnicode) {
  for (unsigned b = 0; b < 256; ++b) log_.AppendByte(static_cast<std::uint8_t>(b), ByteForm::Character);
  log_.AppendLine();
  log_.AppendLine("Reprova\xE7\xE3o");
  Changed();
  Key(Qt::Key_A, Qt::ControlModifier);
  std::string whole = log_.WholeText();
  whole.resize(whole.size() - 2);  // lines are joined, not ended
  QString expected = QString::fromUtf8(monitor::Cp1252ToUtf8(whole));
  expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  EXPECT_EQ(view_->selectedText(), expected);
  QGuiApplication::clipboard()->clear();
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(ClipboardBecomes(expected));
}

// A log longer than the scroll bar's bound (an int's range in use; 100 lines
// here): the bar spans the bound and its values stand for lines in
// proportion; keys and the wheel still move by lines.
TEST_F(LogViewTest, TheScrollBarMapsALogLongerThanItsBound) {
  for (int i = 0; i < 2000; ++i) log_.AppendByte(7, ByteForm::Decimal);
  view_->setScrollBarBound(100);
  view_->contentsChanged();
  QScrollBar* bar = view_->verticalScrollBar();
  const std::size_t last_page = view_->lastPageFirstLine();
  ASSERT_GT(last_page, 1900u);
  ASSERT_TRUE(WaitFor([&] { return bar->maximum() == 100; }));

  Key(Qt::Key_End);
  EXPECT_EQ(view_->firstVisibleLine(), last_page);
  EXPECT_TRUE(WaitFor([&] { return bar->value() == 100; }));
  Key(Qt::Key_Home);
  EXPECT_EQ(view_->firstVisibleLine(), 0u);
  EXPECT_TRUE(WaitFor([&] { return bar->value() == 0; }));

  bar->setSliderPosition(50);  // as a drag does
  EXPECT_EQ(view_->firstVisibleLine(), last_page / 2);
  bar->setSliderPosition(100);
  EXPECT_EQ(view_->firstVisibleLine(), last_page);
  EXPECT_TRUE(view_->isAtEnd());

  Key(Qt::Key_Home);
  QWheelEvent notch(QPointF(10, 10), view_->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                    QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(view_->viewport(), &notch);
  EXPECT_EQ(view_->firstVisibleLine(), 3u);
}

bool HasPixel(const QImage& image, const std::function<bool(QColor)>& is) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (is(image.pixelColor(x, y))) return true;
  return false;
}

bool Bluish(QColor c) { return c.blue() > 200 && c.red() < 80 && c.green() < 80; }
bool Reddish(QColor c) { return c.red() > 200 && c.blue() < 80 && c.green() < 80; }

TEST_F(LogViewTest, LinesKeepTheirColoursAndClearEmptiesTheView) {
  for (int i = 0; i < 300; ++i) log_.AppendByte(0xAB, ByteForm::Hexadecimal);
  log_.SetInsertionColour(monitor::kRed);
  log_.AppendLine("REPROVADA");
  Changed();
  Key(Qt::Key_End);
  QImage image = view_->viewport()->grab().toImage();
  EXPECT_TRUE(HasPixel(image, Bluish));
  EXPECT_TRUE(HasPixel(image, Reddish));

  Key(Qt::Key_A, Qt::ControlModifier);
  ASSERT_TRUE(view_->hasSelection());
  log_.Clear();
  EXPECT_EQ(view_->selectedText(), "");  // even before the view caught up
  Changed();
  EXPECT_FALSE(view_->hasSelection());
  EXPECT_EQ(view_->firstVisibleLine(), 0);
  EXPECT_EQ(view_->verticalScrollBar()->maximum(), 0);
  image = view_->viewport()->grab().toImage();
  EXPECT_FALSE(HasPixel(image, Bluish));
  EXPECT_FALSE(HasPixel(image, Reddish));
  Key(Qt::Key_PageDown);
  EXPECT_EQ(view_->firstVisibleLine(), 0);
  EXPECT_TRUE(view_->isAtEnd());

  // Cleared while in view of the end, refilled before the view caught up:
  // the view starts again at the top.
  for (int i = 0; i < 300; ++i) log_.AppendByte(1, ByteForm::Decimal);
  Changed();
  Key(Qt::Key_End);
  ASSERT_GT(view_->firstVisibleLine(), 250);
  log_.Clear();
  for (int i = 0; i < 600; ++i) log_.AppendByte(2, ByteForm::Decimal);
  Changed();
  EXPECT_EQ(view_->firstVisibleLine(), 0);
}

// At most 30 frames a second, however often the view is told or follows the
// end: over a measured span, no more paints than 40 a second (60 frames would
// exceed it; a slow machine only paints less).
TEST_F(LogViewTest, RepaintsAreCoalescedToThirtyPerSecond) {
  const auto atMost = [](qint64 ms) { return ms * 40 / 1000 + 2; };
  paints_.paints = 0;
  QElapsedTimer elapsed;
  elapsed.start();
  while (elapsed.elapsed() < 800) {
    for (int i = 0; i < 16; ++i) log_.AppendByte(static_cast<std::uint8_t>(i), ByteForm::Decimal);
    view_->contentsChanged();
    QCoreApplication::processEvents();
  }
  qint64 ms = elapsed.elapsed();
  EXPECT_LE(paints_.paints, atMost(ms)) << ms << " ms";
  // The last batch still reaches the screen.
  const int before = paints_.paints;
  Changed();
  ASSERT_TRUE(WaitFor([&] { return paints_.paints > before; }));

  // Following the end moves the view with every frame: neither the view nor
  // its scroll bar may repaint more often for it.
  view_->setFollowEnd(true);
  PaintCounter bar_paints;
  view_->verticalScrollBar()->installEventFilter(&bar_paints);
  paints_.paints = 0;
  elapsed.restart();
  while (elapsed.elapsed() < 800) {
    for (int i = 0; i < 64; ++i) log_.AppendByte(static_cast<std::uint8_t>(i), ByteForm::Hexadecimal);
    view_->contentsChanged();
    QCoreApplication::processEvents();
  }
  ms = elapsed.elapsed();
  EXPECT_LE(paints_.paints, atMost(ms)) << ms << " ms";
  EXPECT_LE(bar_paints.paints, atMost(ms)) << ms << " ms";
  EXPECT_TRUE(WaitFor([&] { return view_->isAtEnd(); }));
  EXPECT_GT(view_->firstVisibleLine(), 1000);

  // Told many times within one pass of the event loop: one frame.
  const int start = paints_.paints;
  for (int i = 0; i < 1000; ++i) view_->contentsChanged();
  ASSERT_TRUE(WaitFor([&] { return paints_.paints > start; }));
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(paints_.paints - start, 1);
}

}  // namespace
