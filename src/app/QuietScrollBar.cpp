#include "app/QuietScrollBar.h"

#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionSlider>

QuietScrollBar::QuietScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

QuietScrollBar::Look QuietScrollBar::currentLook() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  Look look;
  look.slider = style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                        QStyle::SC_ScrollBarSlider, this);
  look.atMinimum = value() <= minimum();
  look.atMaximum = value() >= maximum();
  return look;
}

void QuietScrollBar::sliderChange(SliderChange change) {
  // The orientation changes more than the slider. Anything else that is
  // drawn (style, palette, size, state) comes as an event that Qt answers
  // with a repaint of its own, which notes the look anew.
  if (change == SliderOrientationChange || !known_) return QScrollBar::sliderChange(change);
  // Decided once the caller is done: setting a range and then a value passes
  // through a state that looks different (not at the end any more) from both.
  if (check_posted_) return;
  check_posted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        check_posted_ = false;
        if (!known_ || currentLook() != painted_) update();
      },
      Qt::QueuedConnection);
}

void QuietScrollBar::paintEvent(QPaintEvent* event) {
  // Only a paint of the whole bar shows one look throughout.
  known_ = (QRegion(rect()) - event->region()).isEmpty();
  if (known_) painted_ = currentLook();
  QScrollBar::paintEvent(event);
}
