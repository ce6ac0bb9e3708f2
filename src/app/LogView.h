#pragma once
// The receive log on screen (memSerial): a read-only view of a LogStore that
// paints only the lines in view, each in its own colour, in bold Arial of 13
// pixels, wrapping lines longer than the view's width.
//
// Lines are laid out only when they are painted or needed to know where the
// log ends, so the cost of a repaint does not depend on the size of the
// log. The vertical scroll bar counts lines: its value is the first line in
// view. The view does not watch the store: whoever changes it calls
// contentsChanged(), and the view catches up (scroll range, repaint) at
// most 30 times a second, however often it is told.
//
// The operator scrolls with the keys a text control has (Page Up/Down, Home,
// End, arrows), the wheel and the scroll bar; selects text with the mouse or
// Ctrl+A and copies it with Ctrl+C or the context menu. Text goes to the
// clipboard converted from Windows-1252, lines joined by line feeds.
//
// Following the end: while it is on, each catch-up brings the last page into
// view, whatever has the focus and whether the window is active or not; no
// key is pressed and no timer runs for it. As in a terminal, the operator
// scrolling away from the end pauses following, and scrolling back to the
// end (End, Page Down, the wheel or the bar at the bottom) resumes it.
//
// User-interface thread only, like the store, which must outlive the view.
#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "monitor/log/LogStore.h"

class QMenu;
class QTextLayout;

class LogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit LogView(monitor::LogStore& log, QWidget* parent = nullptr);

  // The log has changed: lines were appended, or it was cleared. After a
  // clear the view returns to the top and the selection is gone.
  void contentsChanged();

  QString selectedText() const;
  bool hasSelection() const;
  void selectAll();
  void copy() const;
  // The context menu: "Copiar" (objectName "actCopiar") and
  // "Selecionar tudo" ("actSelecionarTudo"). The caller owns it.
  QMenu* createContextMenu(QWidget* parent);

  // The line at the top of the view.
  int firstVisibleLine() const;
  // The first line of the last page: the largest first line that still
  // fills the view with the log's last lines. Computed for the log as it is
  // now, even when the view has not caught up yet.
  int lastPageFirstLine() const;
  // The view shows the end of the log as far as scrolling can bring it.
  bool isAtEnd() const;

  // Keep the end of the log in view (off at construction). Turning it on
  // brings the end into view with the next frame; turning it off leaves the
  // view where it is from now on.
  void setFollowEnd(bool on);
  bool followsEnd() const { return follow_end_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;

 private:
  // A place in the text: a line and a character of it.
  struct Position {
    std::size_t line = 0;
    int column = 0;
    auto operator<=>(const Position&) const = default;
  };

  void requestFrame();
  void showFrame();
  void noteClear();
  void catchUp();
  bool selectionValid() const;
  QString lineString(std::size_t line) const;
  qreal layoutLine(const QString& text, QTextLayout& layout) const;
  qreal rowHeight() const;
  // The text (up to 32 characters) fits one row: measured without a layout.
  bool fitsOneRow(std::string_view text) const;
  qreal lineHeight(std::string_view text) const;
  qreal lineHeight(std::size_t line) const;
  std::size_t linesFittingFrom(std::size_t first) const;
  std::size_t linesFittingBefore(std::size_t end) const;
  Position positionAt(QPoint point) const;
  // Moves the view as the operator asked; following pauses unless the view
  // lands on the last page.
  void scrollToLine(std::size_t line);

  monitor::LogStore& log_;
  QTimer frame_timer_;
  QElapsedTimer since_frame_;
  std::uint64_t seen_clear_count_ = 0;
  std::size_t first_ = 0;  // the line at the top; the scroll bar follows per frame
  bool follow_end_ = false;
  bool pinned_ = true;  // the operator left the view at the end (or never moved it)
  bool updating_bar_ = false;
  Position anchor_;
  Position cursor_;
  bool dragging_ = false;
  // Widths of the 256 characters and the height of a row in the view's font.
  mutable std::array<qreal, 256> char_widths_{};
  mutable qreal row_height_ = 0;
  mutable qreal row_baseline_ = 0;  // from the top of a row
  mutable bool widths_known_ = false;
};
