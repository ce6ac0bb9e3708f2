#pragma once
// A text of the program's own, written in Portuguese, through the program's
// translation (the "default" text domain): the Portuguese text itself where
// no catalogue of the operator's language holds it. The window's captions
// stay as designed; the log's context menu and its find bar speak English
// too, for an English locale.
//
// User-interface thread; after SetUpTranslation (Translation.h).
#include <libintl.h>

#include <QString>

inline QString ProgramText(const char* portuguese) {
  return QString::fromUtf8(gettext(portuguese));
}
