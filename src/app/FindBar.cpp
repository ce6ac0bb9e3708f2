#include "app/FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QShortcut>

#include "app/LogView.h"
#include "app/ProgramText.h"
#include "monitor/Cp1252.h"

namespace {

// A step's share of the event loop: short enough that a timer or a repaint
// waiting behind it is not noticeably late, long enough that a search of
// millions of lines ends in a moment.
constexpr qint64 kStepMs = 8;
// Lines between two looks at the clock within a step.
constexpr std::size_t kLinesPerLook = 4096;
// A search that takes longer shows its progress.
constexpr qint64 kShowProgressMs = 150;
constexpr int kBarSteps = 1000;

}  // namespace

FindBar::FindBar(monitor::LogStore& log, LogView& view, QWidget* parent)
    : QFrame(parent), log_(log), view_(view) {
  setObjectName(QStringLiteral("pnLocalizar"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 4, 2);
  auto* label = new QLabel(ProgramText("Localizar:"), this);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("eLocalizar"));
  edit_->installEventFilter(this);
  label->setBuddy(edit_);
  match_case_ = new QCheckBox(ProgramText("Diferenciar maiúsculas"), this);
  match_case_->setObjectName(QStringLiteral("ckbDiferenciar"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("pbLocalizar"));
  progress_->setRange(0, kBarSteps);
  progress_->setMaximumWidth(120);
  progress_->hide();
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lLocalizar"));
  row->addWidget(label);
  row->addWidget(edit_, 1);
  row->addWidget(match_case_);
  row->addWidget(progress_);
  row->addWidget(status_);

  // F3 and Shift+F3 wherever the focus is in the window.
  for (const bool forward : {true, false}) {
    auto* key = new QShortcut(QKeySequence(forward ? Qt::Key_F3 : Qt::SHIFT | Qt::Key_F3),
                              parent ? parent->window() : this);
    connect(key, &QShortcut::activated, this, [this, forward] { find(forward); });
  }
  step_timer_.setSingleShot(true);
  connect(&step_timer_, &QTimer::timeout, this, &FindBar::step);
  hide();
}

FindBar::~FindBar() = default;

void FindBar::open() {
  show();
  edit_->setFocus(Qt::ShortcutFocusReason);
  edit_->selectAll();
}

void FindBar::find(bool forward) {
  if (isHidden()) open();
  cancel();
  status_->clear();
  const std::string text = monitor::Utf8ToCp1252(edit_->text().toStdString());
  if (text.empty()) return;
  const LogView::Place from = view_.searchStart(forward);
  search_ = std::make_unique<monitor::LogSearch>(log_, text, match_case_->isChecked(), forward,
                                                 from.line, from.column);
  since_start_.start();
  step();
}

void FindBar::step() {
  if (!search_) return;
  QElapsedTimer clock;
  clock.start();
  monitor::LogSearch::State state;
  do {
    state = search_->Step(kLinesPerLook);
  } while (state == monitor::LogSearch::State::Searching && clock.elapsed() < kStepMs);
  if (state == monitor::LogSearch::State::Searching) {
    if (since_start_.elapsed() >= kShowProgressMs) {
      progress_->show();
      progress_->setValue(static_cast<int>(search_->Progress() * kBarSteps));
    }
    // Zero: the next step once the events that came meanwhile are served.
    step_timer_.start(0);
    return;
  }
  if (state == monitor::LogSearch::State::Found) {
    const monitor::LogMatch& m = search_->Match();
    view_.selectText(m.line, m.column, m.length);
  } else {
    status_->setText(ProgramText("Não encontrado"));
  }
  end();
}

void FindBar::cancel() {
  if (search_) end();
}

void FindBar::end() {
  step_timer_.stop();
  search_.reset();
  progress_->hide();
  emit finished();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched != edit_) return QFrame::eventFilter(watched, event);
  // Enter and Esc belong to the text while it has the focus, not to the
  // window's default and cancel buttons.
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const int k = key->key();
    if (k != Qt::Key_Return && k != Qt::Key_Enter && k != Qt::Key_Escape)
      return QFrame::eventFilter(watched, event);
    event->accept();
    if (event->type() == QEvent::KeyPress) {
      if (k == Qt::Key_Escape) {
        if (searching()) {
          cancel();
        } else {
          hide();
          view_.setFocus(Qt::OtherFocusReason);
        }
      } else {
        find(!(key->modifiers() & Qt::ShiftModifier));
      }
    }
    return true;
  }
  return QFrame::eventFilter(watched, event);
}
