#include "app/KeyInjector.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

void FocusedWidgetKeyInjector::PressPageDown() {
  QWidget* target = QApplication::focusWidget();
  if (!target) return;
  QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}
