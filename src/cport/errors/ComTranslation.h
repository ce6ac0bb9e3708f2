#pragma once
// The component's share of the program's start-up translation set-up (GNU
// gettext). Call it once, before any port exists and before other threads
// run, after the program has chosen its language and current text domain:
//
//   - registers the text domain "cport", bound to `catalogueDirectory` (the
//     directory that holds <language>/LC_MESSAGES/cport.mo), with UTF-8 output
//     whatever the character set of the locale;
//   - fills the 23 error messages once: each English text is looked up in the
//     program's current text domain and, when that has no translation, in
//     "cport";
//   - makes every EComPort with a system code look its suffix up the same
//     way, at the moment it is raised.
//
// gettext only translates when LC_MESSAGES is a locale other than "C" or
// "POSIX": with LC_MESSAGES "C.UTF-8" and the LANGUAGE variable naming the
// language, catalogues are found even where that language's locale is not
// installed. Without a catalogue every text stays English.
#include <string>

namespace cport {

void InitComPortTranslation(const std::string& catalogueDirectory);

// The text domain the component's catalogues use.
inline constexpr const char* kComPortTextDomain = "cport";

}  // namespace cport
