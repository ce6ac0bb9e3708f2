#include "app/LogView.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <string_view>

#include "app/LogTextJob.h"
#include "app/ProgramText.h"
#include "app/QuietScrollBar.h"
#include "app/UiServices.h"
#include "monitor/Cp1252.h"

namespace {

// 30 frames a second: a live log moves smoothly at this rate, and each frame
// repaints the text and the scroll bar, which is most of the program's CPU
// while a port streams (60 frames cost twice as much for no visible gain).
constexpr int kFrameMs = 1000 / 30;
constexpr int kMargin = 2;  // blank pixels left and right of the text

QString FromCp1252(std::string_view text) {
  QString s(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
  QChar* out = s.data();
  for (const char c : text)
    *out++ = QChar(static_cast<char16_t>(monitor::Cp1252ToUnicode(static_cast<std::uint8_t>(c))));
  return s;
}

QColor ToQColor(monitor::Rgb rgb) {
  return QColor(static_cast<int>(rgb >> 16 & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                static_cast<int>(rgb & 0xFF));
}

}  // namespace

LogView::LogView(monitor::LogStore& log, QWidget* parent)
    : QAbstractScrollArea(parent),
      log_(log),
      seen_clear_count_(log.ClearCount()),
      seen_drop_count_(log.DropCount()) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  font.setBold(true);
  setFont(font);
  setFocusPolicy(Qt::StrongFocus);
  // Repainted only when the slider moves by a pixel: see QuietScrollBar.
  setVerticalScrollBar(new QuietScrollBar(Qt::Vertical, this));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Always shown: a bar that came and went would change the width, the
  // wrapping and so the scroll range it depends on.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setCursor(Qt::IBeamCursor);
  QPalette palette = viewport()->palette();
  palette.setColor(QPalette::Base, Qt::white);
  viewport()->setPalette(palette);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);

  // A child of the view, so that it is found among the window's objects.
  frame_timer_.setParent(this);
  frame_timer_.setSingleShot(true);
  connect(&frame_timer_, &QTimer::timeout, this, &LogView::showFrame);
  since_frame_.start();
  catchUp();
}

// Out of line: the copy job's type is complete here.
LogView::~LogView() = default;

void LogView::contentsChanged() { requestFrame(); }

void LogView::requestFrame() {
  if (frame_timer_.isActive()) return;
  const qint64 wait = kFrameMs - since_frame_.elapsed();
  frame_timer_.start(static_cast<int>(std::clamp<qint64>(wait, 0, kFrameMs)));
}

void LogView::showFrame() {
  since_frame_.restart();
  catchUp();
  // Scrolling while catching up asked for a frame of its own; this is it.
  frame_timer_.stop();
  viewport()->update();
}

void LogView::noteLinesGone() {
  if (seen_clear_count_ != log_.ClearCount()) {
    seen_clear_count_ = log_.ClearCount();
    first_ = 0;
    pinned_ = true;
  } else if (seen_drop_count_ == log_.DropCount()) {
    return;
  }
  // After a drop the position stays: catchUp() clamps it to the shorter log.
  seen_drop_count_ = log_.DropCount();
  anchor_ = cursor_ = Position{};
  dragging_ = false;
}

void LogView::catchUp() {
  noteLinesGone();
  const std::size_t last_page = lastPageFirstLine();
  // Following the end is done here, once per frame, rather than per batch
  // received: the cost of finding the last page is then bounded by the frame
  // rate, and nothing else (a key, a timer, the focus) is involved.
  if (follow_end_ && pinned_) first_ = last_page;
  first_ = std::min(first_, last_page);
  QScrollBar* bar = verticalScrollBar();
  updating_bar_ = true;
  bar->setPageStep(std::max(1, static_cast<int>(viewport()->height() / rowHeight())));
  bar->setSingleStep(1);
  bar_last_page_ = last_page;
  bar->setRange(0, barValue(last_page, last_page));
  bar->setValue(barValue(first_, last_page));
  updating_bar_ = false;
}

void LogView::setScrollBarBound(int lines) {
  bar_bound_ = std::max(1, lines);
  catchUp();
}

int LogView::barValue(std::size_t line, std::size_t last_page) const {
  const auto bound = static_cast<std::size_t>(bar_bound_);
  if (last_page <= bound) return static_cast<int>(std::min(line, last_page));
  if (line >= last_page) return bar_bound_;
  // In long double: line * bound overflows 64 bits for logs beyond 2^34 lines.
  return static_cast<int>(static_cast<long double>(line) * bound / last_page);
}

std::size_t LogView::barLine(int value, std::size_t last_page) const {
  const auto bound = static_cast<std::size_t>(bar_bound_);
  const auto at = static_cast<std::size_t>(std::max(0, value));
  if (last_page <= bound) return std::min(at, last_page);
  if (at >= bound) return last_page;
  return static_cast<std::size_t>(static_cast<long double>(at) * last_page / bound);
}

bool LogView::selectionValid() const {
  return seen_clear_count_ == log_.ClearCount() && seen_drop_count_ == log_.DropCount() &&
         anchor_ != cursor_ && std::max(anchor_, cursor_).line < log_.LineCount();
}

monitor::LogRange LogView::selectionRange() const {
  const Position start = std::min(anchor_, cursor_);
  const Position end = std::max(anchor_, cursor_);
  return {start.line, static_cast<std::size_t>(std::max(0, start.column)), end.line,
          static_cast<std::size_t>(std::max(0, end.column))};
}

std::uint64_t LogView::selectionChars(const monitor::LogRange& range) const {
  // Counted from the store's page totals, so that a selection of a billion
  // lines is measured without reading them. Each LineView() is used before
  // the next call on the store.
  std::uint64_t chars = log_.CharCount(range.first_line, range.last_line + 1);
  chars -= std::min(range.first_column, log_.LineView(range.first_line).size());
  const std::size_t last_size = log_.LineView(range.last_line).size();
  chars -= last_size - std::min(range.last_column, last_size);
  return chars + (range.last_line - range.first_line);
}

QString LogView::lineString(std::size_t line) const { return FromCp1252(log_.LineView(line)); }

qreal LogView::layoutLine(const QString& text, QTextLayout& layout) const {
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setText(text);
  layout.setFont(font());
  layout.setTextOption(option);
  layout.setCacheEnabled(true);
  const qreal width = std::max(1, viewport()->width() - 2 * kMargin);
  qreal y = 0;
  layout.beginLayout();
  for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
    row.setLeadingIncluded(true);
    row.setLineWidth(width);
    row.setPosition(QPointF(0, y));
    y += row.height();
  }
  layout.endLayout();
  return std::max<qreal>(1, y);
}

void LogView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) widths_known_ = false;
  QAbstractScrollArea::changeEvent(event);
}

qreal LogView::rowHeight() const {
  if (!widths_known_) {
    const QFontMetricsF metrics(font());
    for (unsigned b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      char_widths_[b] = metrics.horizontalAdvance(FromCp1252(std::string_view(&c, 1)));
    }
    QTextLayout layout;
    row_height_ = layoutLine(QStringLiteral("X"), layout);
    row_baseline_ = layout.lineAt(0).y() + layout.lineAt(0).ascent();
    widths_known_ = true;
  }
  return row_height_;
}

bool LogView::fitsOneRow(std::string_view text) const {
  if (text.size() > 32) return false;
  rowHeight();  // knows the widths
  qreal width = 0;
  for (const char c : text) width += char_widths_[static_cast<std::uint8_t>(c)] + 0.5;
  return width <= viewport()->width() - 2 * kMargin;
}

qreal LogView::lineHeight(std::string_view text) const {
  // Finding the end of the log or the next page measures many lines, most of
  // them a received byte's few characters. Laying each out costs tens of
  // microseconds; adding up the characters' widths tells that it fits one
  // row for a fraction of that.
  if (fitsOneRow(text)) return rowHeight();
  QTextLayout layout;
  return layoutLine(FromCp1252(text), layout);
}

qreal LogView::lineHeight(std::size_t line) const { return lineHeight(log_.LineView(line)); }

std::size_t LogView::linesFittingFrom(std::size_t first) const {
  const std::size_t count = log_.LineCount();
  qreal room = viewport()->height();
  std::size_t n = 0;
  for (std::size_t i = first; i < count; ++i, ++n) {
    room -= lineHeight(i);
    if (room < 0) break;
  }
  return n;
}

std::size_t LogView::linesFittingBefore(std::size_t end) const {
  qreal room = viewport()->height();
  std::size_t n = 0;
  for (std::size_t i = end; i > 0; --i, ++n) {
    room -= lineHeight(i - 1);
    if (room < 0) break;
  }
  return n;
}

std::size_t LogView::lastPageFirstLine() const {
  const std::size_t count = log_.LineCount();
  if (count == 0) return 0;
  // A last line taller than the view is shown from its top.
  const std::size_t fitting = std::max<std::size_t>(1, linesFittingBefore(count));
  return count - fitting;
}

std::size_t LogView::firstVisibleLine() const {
  const std::size_t count = log_.LineCount();
  return count == 0 ? 0 : std::min(first_, count - 1);
}

bool LogView::isAtEnd() const { return firstVisibleLine() >= lastPageFirstLine(); }

void LogView::setFollowEnd(bool on) {
  if (on == follow_end_) return;
  follow_end_ = on;
  // Ticking the option asks for the end, wherever the view was left.
  if (on) {
    pinned_ = true;
    requestFrame();
  }
}

void LogView::scrollToLine(std::size_t line) {
  // The scroll bar follows with the next frame: moved here, it would repaint
  // itself at every key press (held Page Down repeats quickly).
  first_ = line;
  pinned_ = line >= lastPageFirstLine();
  requestFrame();
}

void LogView::wheelEvent(QWheelEvent* event) {
  // In lines rather than through the bar, whose steps may stand for many
  // lines in a long log. A notch is 120 eighths of a degree; finer wheels
  // and touch pads send less, which adds up here.
  wheel_delta_ += event->angleDelta().y();
  const int per_line = std::max(1, 120 / std::max(1, QApplication::wheelScrollLines()));
  const int lines = wheel_delta_ / per_line;
  wheel_delta_ -= lines * per_line;
  event->accept();
  if (lines == 0) return;
  noteLinesGone();
  const std::size_t first = firstVisibleLine();
  const auto by = static_cast<std::size_t>(lines < 0 ? -static_cast<long long>(lines) : lines);
  scrollToLine(lines > 0 ? first - std::min(first, by)
                         : std::min(lastPageFirstLine(), first + by));
}

void LogView::scrollContentsBy(int, int) {
  // The operator moved the scroll bar; not our own update.
  if (updating_bar_) return;
  QScrollBar* bar = verticalScrollBar();
  first_ = barLine(bar->value(), bar_last_page_);
  // The bar's range is that of the last frame: its bottom is the end the
  // operator saw, even when lines arrived since.
  pinned_ = bar->value() >= bar->maximum();
  requestFrame();
}

void LogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  catchUp();
}

void LogView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const std::size_t count = log_.LineCount();
  const std::size_t first = firstVisibleLine();
  const int height = viewport()->height();
  // No line is lower than a row.
  const auto rows = static_cast<std::size_t>(height / std::max<qreal>(1, rowHeight()));
  const bool selecting = selectionValid();
  const Position start = std::min(anchor_, cursor_);
  const Position end = std::max(anchor_, cursor_);
  QTextCharFormat selected;
  selected.setBackground(palette().brush(QPalette::Highlight));
  selected.setForeground(palette().brush(QPalette::HighlightedText));

  qreal y = 0;
  std::size_t line = first;
  log_.ForEachLine(first, std::min(count, first + rows + 2), [&](std::string_view text, monitor::Rgb colour) {
    const std::size_t i = line++;
    if (y >= height) return;
    const QString s = FromCp1252(text);
    painter.setPen(ToQColor(colour));
    const bool inSelection = selecting && i >= start.line && i <= end.line;
    if (!inSelection && fitsOneRow(text)) {
      // A received byte's line, the common case of a live log: one row,
      // drawn at the baseline that a layout would give it, without the
      // layout, which cost most of a frame.
      painter.drawText(QPointF(kMargin, y + row_baseline_), s);
      y += rowHeight();
      return;
    }
    QTextLayout layout;
    const qreal h = layoutLine(s, layout);
    QList<QTextLayout::FormatRange> ranges;
    if (inSelection) {
      const int from = i == start.line ? start.column : 0;
      const int to = i == end.line ? end.column : static_cast<int>(s.size());
      if (to > from) ranges.append({from, to - from, selected});
    }
    layout.draw(&painter, QPointF(kMargin, y), ranges);
    y += h;
  });
}

LogView::Position LogView::positionAt(QPoint point) const {
  const std::size_t count = log_.LineCount();
  if (count == 0) return {};
  std::size_t line = firstVisibleLine();
  if (point.y() < 0) return {line, 0};
  qreal y = 0;
  for (; line < count; ++line) {
    const qreal h = lineHeight(line);
    if (point.y() < y + h || line + 1 == count) {
      QTextLayout layout;
      layoutLine(lineString(line), layout);
      for (int r = 0; r < layout.lineCount(); ++r) {
        const QTextLine row = layout.lineAt(r);
        if (point.y() < y + row.y() + row.height() || r + 1 == layout.lineCount())
          return {line, row.xToCursor(point.x() - kMargin)};
      }
      return {line, 0};
    }
    y += h;
  }
  return {count - 1, 0};
}

void LogView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) return copy();
  if (event->matches(QKeySequence::SelectAll)) return selectAll();
  // A Page Down right after new lines must be able to reach them, so the
  // end is that of the log now, not of the last frame.
  noteLinesGone();
  const std::size_t first = firstVisibleLine();
  const std::size_t last_page = lastPageFirstLine();
  switch (event->key()) {
    case Qt::Key_PageDown:
      scrollToLine(std::min(last_page, first + std::max<std::size_t>(1, linesFittingFrom(first))));
      break;
    case Qt::Key_PageUp:
      scrollToLine(first - std::min(first, std::max<std::size_t>(1, linesFittingBefore(first))));
      break;
    case Qt::Key_Down:
      scrollToLine(std::min(last_page, first + 1));
      break;
    case Qt::Key_Up:
      scrollToLine(first == 0 ? 0 : first - 1);
      break;
    case Qt::Key_Home:
      scrollToLine(0);
      break;
    case Qt::Key_End:
      scrollToLine(last_page);
      break;
    default:
      return QAbstractScrollArea::keyPressEvent(event);
  }
  event->accept();
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  noteLinesGone();
  anchor_ = cursor_ = positionAt(event->position().toPoint());
  dragging_ = true;
  requestFrame();
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
  QPoint point = event->position().toPoint();
  // Dragging past the top or bottom edge scrolls, a line per move.
  if (point.y() < 0) {
    const std::size_t first = firstVisibleLine();
    scrollToLine(first > 0 ? first - 1 : 0);
  } else if (point.y() >= viewport()->height()) {
    scrollToLine(std::min(firstVisibleLine() + 1, lastPageFirstLine()));
    point.setY(viewport()->height() - 1);
  }
  cursor_ = positionAt(point);
  requestFrame();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  // A selection dragged with the mouse spans few lines, but a drag after
  // Ctrl+A may extend one of millions: that one is left off.
  if (clipboard->supportsSelection() && hasSelection() &&
      selectionChars(selectionRange()) <= clipboard_limit_)
    clipboard->setText(selectedText(), QClipboard::Selection);
}

void LogView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const Position at = positionAt(event->position().toPoint());
  if (at.line >= log_.LineCount()) return;
  anchor_ = {at.line, 0};
  cursor_ = {at.line, static_cast<int>(log_.LineView(at.line).size())};
  dragging_ = false;
  requestFrame();
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createContextMenu(this);
  menu->exec(event->globalPos());
  delete menu;
}

QMenu* LogView::createContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  QAction* copy_action = menu->addAction(ProgramText("Copiar"));
  connect(copy_action, &QAction::triggered, this, [this] { copy(); });
  copy_action->setObjectName(QStringLiteral("actCopiar"));
  copy_action->setShortcut(QKeySequence::Copy);
  copy_action->setEnabled(hasSelection());
  QAction* all = menu->addAction(ProgramText("Selecionar tudo"));
  connect(all, &QAction::triggered, this, &LogView::selectAll);
  all->setObjectName(QStringLiteral("actSelecionarTudo"));
  all->setShortcut(QKeySequence::SelectAll);
  all->setEnabled(log_.LineCount() != 0);
  if (find_action_) menu->addAction(find_action_);
  QAction* save = menu->addAction(ProgramText("Salvar seleção…"));
  save->setObjectName(QStringLiteral("actSalvarSelecao"));
  save->setEnabled(hasSelection());
  connect(save, &QAction::triggered, this, [this] {
    if (hasSelection()) emit saveRequested(selectionRange());
  });
  bool separated = false;
  for (const QPointer<QAction>& action : extra_actions_) {
    if (!action) continue;
    if (!separated) menu->addSeparator();
    separated = true;
    menu->addAction(action);
  }
  return menu;
}

bool LogView::hasSelection() const { return selectionValid(); }

LogView::Place LogView::searchStart(bool forward) const {
  if (!selectionValid()) return {firstVisibleLine(), 0};
  const Position at = forward ? std::max(anchor_, cursor_) : std::min(anchor_, cursor_);
  return {at.line, static_cast<std::size_t>(std::max(0, at.column))};
}

void LogView::selectText(std::size_t line, std::size_t column, std::size_t length) {
  noteLinesGone();
  if (line >= log_.LineCount()) return;
  anchor_ = {line, static_cast<int>(column)};
  cursor_ = {line, static_cast<int>(column + length)};
  dragging_ = false;
  const std::size_t first = firstVisibleLine();
  const std::size_t shown = std::max<std::size_t>(1, linesFittingFrom(first));
  if (line < first || line >= first + shown) {
    // A third of the way down, so that the lines before the match show too.
    const std::size_t above = linesFittingBefore(line) / 3;
    scrollToLine(std::min(line - std::min(line, above), lastPageFirstLine()));
  } else {
    requestFrame();
  }
}

void LogView::selectAll() {
  noteLinesGone();
  const std::size_t count = log_.LineCount();
  if (count == 0) return;
  anchor_ = {};
  cursor_ = {count - 1, static_cast<int>(log_.LineView(count - 1).size())};
  requestFrame();
}

QString LogView::selectedText() const {
  if (!selectionValid()) return {};
  const Position start = std::min(anchor_, cursor_);
  const Position end = std::max(anchor_, cursor_);
  QString text;
  std::size_t line = start.line;
  log_.ForEachLine(start.line, end.line + 1, [&](std::string_view s, monitor::Rgb) {
    const std::size_t i = line++;
    const std::size_t from =
        std::min(s.size(), i == start.line ? static_cast<std::size_t>(start.column) : 0);
    const std::size_t to =
        std::min(s.size(), i == end.line ? static_cast<std::size_t>(end.column) : s.size());
    if (i != start.line) text += QLatin1Char('\n');
    if (to > from) text += FromCp1252(s.substr(from, to - from));
  });
  return text;
}

void LogView::copy() {
  if (!hasSelection()) return;
  const monitor::LogRange range = selectionRange();
  const std::uint64_t chars = selectionChars(range);
  if (chars > clipboard_limit_) {
    const std::uint64_t mb = (chars + (std::uint64_t{1} << 20) - 1) >> 20;
    const QString question =
        QString::fromUtf8("A seleção é grande demais para a área de transferência (%1 MB).\r\n"
                          "Salvar a seleção em um arquivo?")
            .arg(mb);
    if (Ui().AskYesNo(this, question)) emit saveRequested(range);
    return;
  }
  // A copy still being built gives way to this one.
  copy_job_.reset();
  copy_job_ = std::make_unique<LogTextJob>(
      log_.Snapshot(), range, static_cast<std::size_t>(chars), this,
      [this](const QString& text) { QGuiApplication::clipboard()->setText(text); });
}
