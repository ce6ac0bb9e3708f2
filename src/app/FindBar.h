#pragma once
// The find bar under the receive log ("pnLocalizar"): a text ("eLocalizar"),
// "Diferenciar maiúsculas" ("ckbDiferenciar"), a progress bar
// ("pbLocalizar") while a long search runs, and a line telling that the
// text was not found ("lLocalizar").
//
// Enter in the text and F3 anywhere in the window find the next match,
// Shift+Enter and Shift+F3 the previous one, from the selection (or the top
// of the view), round the whole log (LogSearch): the match is selected and
// brought into view. The search runs on the user-interface thread in steps
// of a few milliseconds, so the window goes on receiving and repainting; Esc
// cancels a running search, and, with none running, closes the bar.
//
// User-interface thread only; the log and the view outlive the bar.
#include <QElapsedTimer>
#include <QFrame>
#include <QTimer>

#include <memory>

#include "monitor/log/LogSearch.h"
#include "monitor/log/LogStore.h"

class LogView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;

class FindBar : public QFrame {
  Q_OBJECT

 public:
  FindBar(monitor::LogStore& log, LogView& view, QWidget* parent);
  ~FindBar() override;

  // Shows the bar with its text selected and the focus in it.
  void open();
  // Starts a search for the text from the view's position; one still
  // running gives way to it. Opens the bar when it is closed.
  void find(bool forward);
  bool searching() const { return search_ != nullptr; }
  // Stops a running search; the selection stays as it was.
  void cancel();

  QLineEdit* edit() const { return edit_; }
  QCheckBox* matchCase() const { return match_case_; }

 signals:
  // A search ended (found or not, or cancelled).
  void finished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void step();
  void end();

  monitor::LogStore& log_;
  LogView& view_;
  QLineEdit* edit_ = nullptr;
  QCheckBox* match_case_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer step_timer_;
  QElapsedTimer since_start_;
  std::unique_ptr<monitor::LogSearch> search_;
};
