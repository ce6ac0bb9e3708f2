// Windows has no gettext here (MinGW ships no libintl): the component reads
// its own compiled catalogue, found as gettext would find it, with the
// component's MoCatalogue reader.
#include "cport/errors/ComTranslation.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <memory>

#include "cport/errors/ComMessages.h"
#include "cport/errors/MoCatalogue.h"

namespace cport {
namespace {

// The user's locale as gettext names languages: "pt-BR" -> "pt_BR".
std::string UserLocaleLanguage() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) <= 0) return {};
  std::string language;
  for (const wchar_t* c = name; *c; ++c) {
    if (*c > 0x7F) return {};
    language += *c == L'-' ? '_' : static_cast<char>(*c);
  }
  return language;
}

}  // namespace

std::string ComPortCatalogueLanguage() {
  const char* lang = std::getenv("LANG");
  if (lang && *lang) {
    const std::string_view value(lang);
    return std::string(value.substr(0, value.find('.')));
  }
  return UserLocaleLanguage();
}

void InitComPortTranslation(const std::string& catalogueDirectory) {
  const std::string language = ComPortCatalogueLanguage();
  std::shared_ptr<const MoCatalogue> catalogue;
  if (!language.empty() && language != "C" && language != "POSIX") {
    const std::filesystem::path dir = std::filesystem::u8path(catalogueDirectory);
    auto file = [&](const std::string& lang) {
      return dir / lang / "LC_MESSAGES" / (std::string(kComPortTextDomain) + ".mo");
    };
    std::optional<MoCatalogue> found = MoCatalogue::Load(file(language));
    if (!found && language.size() > 2) found = MoCatalogue::Load(file(language.substr(0, 2)));
    if (found) catalogue = std::make_shared<const MoCatalogue>(std::move(*found));
  }
  if (!catalogue) {
    InitComPortMessages(nullptr);
    return;
  }
  InitComPortMessages([catalogue](const char* english) {
    const std::string* text = catalogue->Find(english);
    return text ? *text : std::string(english);
  });
}

}  // namespace cport
