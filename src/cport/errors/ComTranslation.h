#pragma once
// The component's share of the program's start-up translation set-up. Call
// it once, before any port exists and before other threads run, after the
// program has chosen its language (and, with gettext, its current text
// domain). It fills the 23 error messages once and makes every EComPort with
// a system code look its suffix up the same way, at the moment it is raised.
// Without a catalogue every text stays English.
//
// POSIX (GNU gettext): registers the text domain "cport", bound to
// `catalogueDirectory` (the directory that holds
// <language>/LC_MESSAGES/cport.mo), with UTF-8 output whatever the character
// set of the locale; each English text is looked up in the program's current
// text domain and, when that has no translation, in "cport". gettext only
// translates when LC_MESSAGES is a locale other than "C" or "POSIX": with
// LC_MESSAGES "C.UTF-8" and the LANGUAGE variable naming the language,
// catalogues are found even where that language's locale is not installed.
//
// Windows (no gettext): the component reads
// <catalogueDirectory>/<language>/LC_MESSAGES/cport.mo itself (MoCatalogue.h),
// or, when that file is missing, the one of the language's first two letters
// ("pt"). The language is ComPortCatalogueLanguage(). `catalogueDirectory` is
// UTF-8.
#include <string>

namespace cport {

void InitComPortTranslation(const std::string& catalogueDirectory);

#if defined(_WIN32)
// The value of LANG up to its first "." ("pt_BR.UTF-8" -> "pt_BR"), or, when
// LANG is not set, the user's locale as language and country joined by "_".
std::string ComPortCatalogueLanguage();
#endif

// The text domain the component's catalogues use.
inline constexpr const char* kComPortTextDomain = "cport";

}  // namespace cport
