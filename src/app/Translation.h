#pragma once
// The program's translators, set up once at start: GNU gettext for the
// program's and the port component's texts, and Qt's own catalogue (qtbase:
// the file dialog, the buttons of message boxes) from Qt's translations
// directory, for the same language.
//
// The language is LANG up to its first "." (pt_BR.UTF-8 -> pt_BR), or, when
// LANG is not set, the user's locale as language_COUNTRY. Catalogues live
// beside the executable in locale/<language>/LC_MESSAGES/<domain>.mo; when
// that file is missing the first two letters of the language are tried. The
// current domain is "default"; the port component adds "cport".
//
// Only the messages category of the C locale is touched, so numbers are
// formatted as before everywhere in the program; and it works whether or not
// the operating system has a locale for the language generated. Call after
// the QApplication exists (its constructor resets the C locale). Called
// again, it replaces the Qt catalogue it installed; a language Qt has no
// catalogue for (or "en") leaves Qt's texts in English.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// LANG up to its first "."; the user's locale name when LANG is unset.
std::string TranslationLanguage(std::optional<std::string_view> lang,
                                std::string_view userLocale);

void SetUpTranslation(const std::filesystem::path& executableDir, const std::string& language);
