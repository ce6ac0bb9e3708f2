#pragma once
// Whether a form's captions can be read: every label, button, check box and
// group box title that shows has room for its whole text (the font metrics
// of the control's own font, the mnemonic's '&' left out, against the
// rectangle the style draws that text into), and the controls beside them
// neither overlap nor stick out of their container. The main window's tests
// use it too.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>

#include <string>

namespace caption_check {

// Whether `text` and `extra` have room in a label's contents, or in the
// rectangle a button's style draws its text into.
inline bool TextFits(QWidget& w, const QString& text, QSize extra = QSize(0, 0)) {
  const QSize size = w.fontMetrics().size(Qt::TextShowMnemonic, text) + extra;
  QRect room = w.contentsRect();
  if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
    QStyleOptionButton option;
    option.initFrom(button);
    const bool box = qobject_cast<QCheckBox*>(button);
    room = w.style()->subElementRect(
        box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
  }
  return size.width() <= room.width() && size.height() <= room.height();
}

inline bool CaptionFits(QWidget& w) {
  if (auto* label = qobject_cast<QLabel*>(&w)) {
    return label->text().isEmpty() || TextFits(w, label->text());
  }
  if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
    if (button->icon().isNull()) return TextFits(w, button->text());
    // The icon is drawn beside the text, 4 pixels apart.
    return TextFits(w, button->text(), {button->iconSize().width() + 4, 0}) &&
           button->iconSize().height() <= button->height();
  }
  if (auto* group = qobject_cast<QGroupBox*>(&w)) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    // The style sizes the title's rectangle to the text: it must lie inside.
    return group->rect().contains(
        w.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group));
  }
  return true;
}

// The faults of what shows when `root` shows, one per line; empty if none.
inline std::string CaptionFaults(QWidget& root) {
  QStringList faults;
  QSet<QWidget*> containers;
  for (QWidget* w : root.findChildren<QWidget*>()) {
    if (w->isWindow() || !w->isVisibleTo(&root)) continue;
    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w) &&
        !qobject_cast<QGroupBox*>(w)) {
      continue;
    }
    if (!CaptionFits(*w))
      faults
          << QStringLiteral("cut: %1 %2x%3").arg(w->objectName()).arg(w->width()).arg(w->height());
    containers.insert(w->parentWidget());
  }
  for (QWidget* container : containers) {
    QWidgetList shown;
    for (QWidget* w : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!w->isWindow() && w->isVisibleTo(&root)) shown << w;
    }
    // A group box's contents margins hold its title, beside which the
    // design puts its first row.
    const QRect inside =
        qobject_cast<QGroupBox*>(container) ? container->rect() : container->contentsRect();
    for (qsizetype i = 0; i < shown.size(); ++i) {
      if (!inside.contains(shown[i]->geometry())) faults << "outside: " + shown[i]->objectName();
      for (qsizetype j = i + 1; j < shown.size(); ++j) {
        if (shown[i]->geometry().intersects(shown[j]->geometry())) {
          faults << "overlap: " + shown[i]->objectName() + " " + shown[j]->objectName();
        }
      }
    }
  }
  return faults.join(QLatin1Char('\n')).toStdString();
}

// The faults once the fits that a change leaves to the event loop are done
// (at most two seconds).
inline std::string SettledFaults(QWidget& root) {
  (void)QTest::qWaitFor([&] { return CaptionFaults(root).empty(); }, 2000);
  return CaptionFaults(root);
}

// The form's font, `points` larger: a larger desktop font, or a wider face.
inline void EnlargeFont(QWidget& form, qreal points) {
  QFont font = form.font();
  font.setPointSizeF(QFontInfo(form.font()).pointSizeF() + points);
  form.setFont(font);
}

}  // namespace caption_check
