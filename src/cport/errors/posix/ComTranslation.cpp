#include "cport/errors/ComTranslation.h"

#include <libintl.h>

#include "cport/errors/ComMessages.h"

namespace cport {
namespace {

std::string Translate(const char* english) {
  // dgettext hands back its argument itself when it finds no translation.
  const char* current = textdomain(nullptr);
  if (current) {
    const char* text = dgettext(current, english);
    if (text != english) return text;
  }
  return dgettext(kComPortTextDomain, english);
}

}  // namespace

void InitComPortTranslation(const std::string& catalogueDirectory) {
  bindtextdomain(kComPortTextDomain, catalogueDirectory.c_str());
  // Messages are UTF-8 inside the program; without this gettext would
  // convert them to the locale's character set ("?" for every accent in
  // the C locale).
  bind_textdomain_codeset(kComPortTextDomain, "UTF-8");
  InitComPortMessages(&Translate);
}

}  // namespace cport
