// ParseCharText over any text, and its round trip: the text that CharText
// gives for the parsed character parses back to the same character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cport/port/ComTexts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const char c = cport::ParseCharText(text);
  if (cport::ParseCharText(cport::CharText(c)) != c) std::abort();
  return 0;
}
