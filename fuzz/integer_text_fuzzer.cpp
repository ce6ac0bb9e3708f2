// The integer text rule over any bytes: it must never crash, and whatever it
// accepts must be a text of its grammar whose decimal form reads back alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cport/text/IntegerText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto value = cport::ParseIntegerText(text);
  if (value) {
    // Decimal text of any 32-bit value is itself valid and gives it back.
    const auto again = cport::ParseIntegerText(std::to_string(*value));
    if (!again || *again != *value) std::abort();
    // Nothing may follow the digits.
    if (!text.empty() && (text.back() == ' ' || text.back() == '\t')) std::abort();
  }
  return 0;
}
