#include "cport/setup/FormTranslation.h"

#include <libintl.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

namespace cport {
namespace {

QString Translate(const char* domain, const QString& text) {
  if (text.isEmpty()) return text;
  const QByteArray english = text.toUtf8();
  return QString::fromUtf8(dgettext(domain, english.constData()));
}

void TranslateOwnTexts(QWidget& widget, const char* domain) {
  widget.setToolTip(Translate(domain, widget.toolTip()));
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    label->setText(Translate(domain, label->text()));
  } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    button->setText(Translate(domain, button->text()));
  } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
    group->setTitle(Translate(domain, group->title()));
  } else if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
    for (int i = 0; i < combo->count(); ++i) {
      combo->setItemText(i, Translate(domain, combo->itemText(i)));
    }
  }
}

void TranslateTree(QWidget& widget, const char* domain, const QStringList& excluded) {
  for (QWidget* child : widget.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (excluded.contains(child->objectName())) continue;
    TranslateOwnTexts(*child, domain);
    TranslateTree(*child, domain, excluded);
  }
}

}  // namespace

void TranslateFormTexts(QWidget& form, const char* domain, const QStringList& excluded) {
  form.setWindowTitle(Translate(domain, form.windowTitle()));
  form.setToolTip(Translate(domain, form.toolTip()));
  TranslateTree(form, domain, excluded);
}

}  // namespace cport
