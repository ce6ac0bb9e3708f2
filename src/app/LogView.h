#pragma once
// The receive log on screen (memSerial): a read-only view of a LogStore that
// paints only the lines in view, each in its own colour, in bold Arial of 13
// pixels, wrapping lines longer than the view's width.
//
// Lines are laid out only when they are painted or needed to know where the
// log ends, so the cost of a repaint does not depend on the size of the
// log. The vertical scroll bar counts lines: its value is the first line in
// view (see below for logs longer than an int). The view does not watch the
// store: whoever changes it calls contentsChanged(), and the view catches up
// (scroll range, repaint) at most 30 times a second, however often it is
// told.
//
// The operator scrolls with the keys a text control has (Page Up/Down, Home,
// End, arrows), the wheel (three lines a notch) and the scroll bar; selects
// text with the mouse or Ctrl+A and copies it with Ctrl+C or the context
// menu. Text goes to the clipboard converted from Windows-1252, lines joined
// by line feeds; it is built on a thread of its own and reaches the
// clipboard a moment later. A selection of more characters than the
// clipboard limit is not copied: the operator is asked whether to save it to
// a file instead, and saying yes emits saveRequested().
//
// A log can hold more lines than a scroll bar's int: once the last page
// starts beyond the bar bound, the bar runs from 0 to the bound and its
// values are scaled to lines and back; keys and the wheel still move by
// lines.
//
// Lines dropped by the store for want of disk (its DropCount() changes)
// move the numbers of the lines after them: the selection goes and the view
// stays where it was, within the shorter log.
//
// Following the end: while it is on, each catch-up brings the last page into
// view, whatever has the focus and whether the window is active or not; no
// key is pressed and no timer runs for it. As in a terminal, the operator
// scrolling away from the end pauses following, and scrolling back to the
// end (End, Page Down, the wheel or the bar at the bottom) resumes it.
//
// User-interface thread only, like the store, which must outlive the view.
#include <QAbstractScrollArea>
#include <QList>
#include <QPointer>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "monitor/log/LogStore.h"

class LogTextJob;
class QAction;
class QMenu;
class QTextLayout;

class LogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // The most characters (line breaks included) a copy puts on the clipboard.
  static constexpr std::uint64_t kClipboardLimit = std::uint64_t{64} << 20;
  // The most lines the scroll bar counts one by one.
  static constexpr int kScrollBarBound = 1 << 30;

  explicit LogView(monitor::LogStore& log, QWidget* parent = nullptr);
  ~LogView() override;

  // The log has changed: lines were appended, or it was cleared. After a
  // clear the view returns to the top and the selection is gone.
  void contentsChanged();

  // Built on the calling thread, for a selection of a few lines; copy()
  // builds the clipboard's text on a thread of its own.
  QString selectedText() const;
  bool hasSelection() const;
  void selectAll();
  // Puts the selection on the clipboard, or asks to save it when it is
  // larger than the clipboard limit.
  void copy();
  // The context menu: "Copiar" (objectName "actCopiar"), "Selecionar tudo"
  // ("actSelecionarTudo"), the find action when one is set, and
  // "Salvar seleção…" ("actSalvarSelecao", which emits saveRequested for
  // the selection). The caller owns it.
  QMenu* createContextMenu(QWidget* parent);
  // The window's "Localizar…", shown after "Selecionar tudo". The caller
  // keeps it alive.
  void setFindAction(QAction* action) { find_action_ = action; }

  // Where a search starts: the end of the selection forward, its start
  // backward; the top of the view without a selection.
  struct Place {
    std::size_t line = 0;
    std::size_t column = 0;
  };
  Place searchStart(bool forward) const;
  // Selects `length` bytes of `line` from `column` and brings the line into
  // view (a third of the way down when it was out of it). Following the end
  // pauses unless the line is on the last page.
  void selectText(std::size_t line, std::size_t column, std::size_t length);
  // Adds an action of the window's own to the context menu, after the
  // view's own entries and a separator. The caller keeps it alive.
  void addMenuAction(QAction* action) { extra_actions_.append(action); }

  // The line at the top of the view.
  std::size_t firstVisibleLine() const;
  // The first line of the last page: the largest first line that still
  // fills the view with the log's last lines. Computed for the log as it is
  // now, even when the view has not caught up yet.
  std::size_t lastPageFirstLine() const;
  // The view shows the end of the log as far as scrolling can bring it.
  bool isAtEnd() const;

  // Keep the end of the log in view (off at construction). Turning it on
  // brings the end into view with the next frame; turning it off leaves the
  // view where it is from now on.
  void setFollowEnd(bool on);
  bool followsEnd() const { return follow_end_; }

  // Lower bounds than kClipboardLimit and kScrollBarBound, so that a test
  // crosses them with a small log.
  void setClipboardLimit(std::uint64_t chars) { clipboard_limit_ = chars; }
  void setScrollBarBound(int lines);

 signals:
  // The operator chose to save a selection too large for the clipboard.
  void saveRequested(const monitor::LogRange& range);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
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
  // Lines were cleared or dropped since the view last looked: the
  // selection, and after a clear the position, referred to lines now gone.
  void noteLinesGone();
  void catchUp();
  bool selectionValid() const;
  monitor::LogRange selectionRange() const;
  // The characters the selection's text has, line feeds included.
  std::uint64_t selectionChars(const monitor::LogRange& range) const;
  // The scroll bar's value for a first line, and back, for a bar whose
  // range was set for a last page starting at `last_page`.
  int barValue(std::size_t line, std::size_t last_page) const;
  std::size_t barLine(int value, std::size_t last_page) const;
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
  std::uint64_t seen_drop_count_ = 0;
  std::uint64_t clipboard_limit_ = kClipboardLimit;
  int bar_bound_ = kScrollBarBound;
  std::size_t bar_last_page_ = 0;  // the last page the bar's range was set for
  int wheel_delta_ = 0;  // eighths of a degree not yet scrolled
  std::unique_ptr<LogTextJob> copy_job_;
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
  QList<QPointer<QAction>> extra_actions_;
  QPointer<QAction> find_action_;
};
