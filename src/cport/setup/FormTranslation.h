#pragma once
// Translating a form's texts through a gettext text domain: the window
// title, and of every widget inside the form its tool tip and its own text
// (label, button, group box title, the items of a combo box). Widgets whose
// objectName is listed in `excluded` are left out, with everything inside
// them: lists whose items are data, not words.
//
// The domain must be bound with the UTF-8 codeset (the component's "cport"
// domain is, see ComTranslation.h). Empty texts stay empty (gettext would
// give the catalogue's header for them). Without a catalogue every text
// stays as written. User-interface thread.
#include <QStringList>

class QWidget;

namespace cport {

void TranslateFormTexts(QWidget& form, const char* domain, const QStringList& excluded);

}  // namespace cport
