#include "cport/setup/FitToText.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMetaObject>
#include <QObject>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <map>
#include <vector>

namespace cport {
namespace {

// The design geometry rides on the widget itself, so that every later fit
// starts from the design and not from the previous fit.
constexpr char kDesignGeometry[] = "cportDesignGeometry";

// The most room kept between two controls, or a control and its container's
// edge, when one of them grows; a smaller design distance stays as it was.
constexpr int kMostKeptGap = 4;

QRect Design(QWidget& widget) {
  QVariant design = widget.property(kDesignGeometry);
  if (!design.isValid()) {
    design = widget.geometry();
    widget.setProperty(kDesignGeometry, design);
  }
  return design.toRect();
}

// Whether a control's text has room at a size, across and down.
struct Room {
  bool across;
  bool down;
};

Room HintRoom(const QWidget& widget, QSize size) {
  const QSize hint = widget.sizeHint().expandedTo(widget.minimumSizeHint());
  return {size.width() >= hint.width(), size.height() >= hint.height()};
}

// A button's text, its mnemonic's '&' left out, and its icon beside it, in
// the rectangle its style draws them into. Not the size hint: styles ask
// more than the text needs (Fusion: 80 pixels for any push button with a
// text, 4 pixels of height around a check box's), and a design that shows
// its text keeps its size.
Room ButtonRoom(const QAbstractButton& button, QSize size) {
  QStyleOptionButton option;
  option.initFrom(&button);
  option.rect = QRect(QPoint(), size);
  option.text = button.text();
  option.icon = button.icon();
  option.iconSize = button.iconSize();
  QStyle::SubElement contents = QStyle::SE_PushButtonContents;
  if (qobject_cast<const QCheckBox*>(&button)) {
    contents = QStyle::SE_CheckBoxContents;
  } else if (qobject_cast<const QRadioButton*>(&button)) {
    contents = QStyle::SE_RadioButtonContents;
  } else if (auto* push = qobject_cast<const QPushButton*>(&button);
             push && (push->autoDefault() || push->isDefault())) {
    option.features |= QStyleOptionButton::AutoDefaultButton;
  }
  const QRect room = button.style()->subElementRect(contents, &option, &button);
  QSize text = button.fontMetrics().size(Qt::TextShowMnemonic, button.text());
  if (!button.icon().isNull()) {
    // Drawn beside the text, 4 pixels apart.
    text = {text.width() + button.iconSize().width() + 4,
            std::max(text.height(), button.iconSize().height())};
  }
  return {text.width() <= room.width(), text.height() <= room.height()};
}

// A combo box's width holds data, not a caption; its current text must
// have the height of its font.
Room ComboRoom(const QComboBox& combo, QSize size) {
  QStyleOptionComboBox option;
  option.initFrom(&combo);
  option.rect = QRect(QPoint(), size);
  option.editable = combo.isEditable();
  option.frame = combo.hasFrame();
  const QRect field = combo.style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                    QStyle::SC_ComboBoxEditField, &combo);
  return {true, field.height() >= combo.fontMetrics().height()};
}

// The control's size at which its whole text shows: the design size where
// that already does; else, in the direction that lacks room, the style's
// size hint. Other controls with a size hint (edits) grow in height only.
QSize Fitted(QWidget& widget, QSize design) {
  Room room{true, true};
  bool caption = true;
  if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    room = ButtonRoom(*button, design);
  } else if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
    room = ComboRoom(*combo, design);
    caption = false;
  } else {
    room = HintRoom(widget, design);
    caption = qobject_cast<QLabel*>(&widget) || qobject_cast<QGroupBox*>(&widget);
  }
  const QSize hint = widget.sizeHint().expandedTo(widget.minimumSizeHint());
  return {room.across || !caption ? design.width() : std::max(design.width(), hint.width()),
          room.down ? design.height() : std::max(design.height(), hint.height())};
}

struct Control {
  QWidget* widget;
  QRect design;
  QSize size;  // the fitted size
  bool shown;  // shows when the container shows
};

// One axis of a rectangle, so that the push below is written once for both.
struct Span {
  int start;
  int end;  // one past the last pixel
};

Span Along(const QRect& r, Qt::Orientation axis) {
  return axis == Qt::Horizontal ? Span{r.x(), r.x() + r.width()} : Span{r.y(), r.y() + r.height()};
}

Span Across(const QRect& r, Qt::Orientation axis) {
  return Along(r, axis == Qt::Horizontal ? Qt::Vertical : Qt::Horizontal);
}

bool Overlap(Span a, Span b) { return a.start < b.end && b.start < a.end; }

// How far the controls whose design edge lies at a coordinate move: one
// offset per coordinate, so that controls sharing an edge stay aligned.
using Offsets = std::map<int, int>;

class Placement {
 public:
  explicit Placement(const std::vector<Control>& controls) : controls_(controls) {
    for (const Control& c : controls) {
      dx_[c.design.x()] = 0;
      dy_[c.design.y()] = 0;
    }
  }

  QRect Placed(const Control& c) const {
    return {c.design.x() + dx_.at(c.design.x()), c.design.y() + dy_.at(c.design.y()),
            c.size.width(), c.size.height()};
  }

  // Moves along `axis` every control that a shown control before it (in
  // the design) now reaches; offsets never fall as the coordinate rises,
  // so the design's order along the axis is kept. True if anything moved.
  bool PushApart(Qt::Orientation axis) {
    Offsets& offsets = axis == Qt::Horizontal ? dx_ : dy_;
    bool moved = false;
    int floor = 0;
    for (auto& [edge, offset] : offsets) {  // rising coordinate
      int needed = std::max(offset, floor);
      for (const Control& b : controls_) {
        if (Along(b.design, axis).start != edge) continue;
        for (const Control& a : controls_) {
          const Span before = Along(a.design, axis);
          if (!a.shown || before.end > edge) continue;
          if (!Overlap(Across(Placed(a), axis), Across(Placed(b), axis))) continue;
          const int gap = std::min(edge - before.end, kMostKeptGap);
          needed = std::max(needed, Along(Placed(a), axis).end + gap - edge);
        }
      }
      if (needed != offset) {
        offset = needed;
        moved = true;
      }
      floor = offset;
    }
    return moved;
  }

 private:
  const std::vector<Control>& controls_;
  Offsets dx_, dy_;
};

void GrowContainer(QWidget& container, QSize needed) {
  if (container.minimumWidth() == container.maximumWidth()) {
    container.setFixedWidth(std::max(container.width(), needed.width()));
  } else {
    container.setMinimumWidth(std::max(container.minimumWidth(), needed.width()));
  }
  if (container.minimumHeight() == container.maximumHeight()) {
    container.setFixedHeight(std::max(container.height(), needed.height()));
  } else {
    container.setMinimumHeight(std::max(container.minimumHeight(), needed.height()));
  }
}

void Fit(QWidget& container) {
  const QRect containerDesign = Design(container);
  std::vector<Control> controls;
  for (QWidget* child : container.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;
    // A group box is a container of its own: its controls first.
    if (auto* group = qobject_cast<QGroupBox*>(child)) Fit(*group);
    if (!child->sizeHint().expandedTo(child->minimumSizeHint()).isValid()) continue;
    const QRect design = Design(*child);
    controls.push_back({child, design, Fitted(*child, design.size()).expandedTo(child->size()),
                        child->isVisibleTo(&container)});
  }

  // Each push can bring two other controls together on the other axis; a
  // few rounds settle any form drawn by hand.
  Placement placement(controls);
  for (int round = 0; round < 8; ++round) {
    const bool movedAcross = placement.PushApart(Qt::Horizontal);
    const bool movedDown = placement.PushApart(Qt::Vertical);
    if (!movedAcross && !movedDown) break;
  }

  QSize needed(0, 0);
  for (const Control& c : controls) {
    const QRect placed = placement.Placed(c);
    if (c.widget->geometry() != placed) c.widget->setGeometry(placed);
    if (!c.shown) continue;
    // The distance to the container's far edges as designed, up to the gap.
    const int right =
        std::clamp(containerDesign.width() - Along(c.design, Qt::Horizontal).end, 0, kMostKeptGap);
    const int bottom =
        std::clamp(containerDesign.height() - Along(c.design, Qt::Vertical).end, 0, kMostKeptGap);
    needed = needed.expandedTo(
        {placed.x() + placed.width() + right, placed.y() + placed.height() + bottom});
  }
  GrowContainer(container, needed);
}

// Fits the container again, once per pass of the event loop, after what
// can change a caption's size: the other widgets have their new font or
// size hint by then, whatever order the events came in.
class Refitter final : public QObject {
 public:
  explicit Refitter(QWidget& container) : QObject(&container), container_(container) {
    Watch(container);
  }

  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::FontChange:
      case QEvent::ApplicationFontChange:
      case QEvent::StyleChange:
      case QEvent::LayoutRequest:  // a child's size hint changed
        Schedule();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  void Watch(QWidget& widget) {
    widget.installEventFilter(this);
    for (QGroupBox* group : widget.findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
      Watch(*group);
    }
  }

  void Schedule() {
    if (pending_) return;
    pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          pending_ = false;
          Fit(container_);
        },
        Qt::QueuedConnection);
  }

  QWidget& container_;
  bool pending_ = false;
};

}  // namespace

void KeepFittedToText(QWidget& container) {
  Fit(container);
  new Refitter(container);
}

}  // namespace cport
