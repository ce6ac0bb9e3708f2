// The send box's byte-list parser over any text: never a crash, never more
// bytes than the list's capacity, and one byte per blank-separated token.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "monitor/ByteList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)monitor::IsQuotedText(text);
  const std::string_view payload = monitor::QuotedPayload(text);
  if (payload.size() > text.size()) std::abort();
  const auto bytes = monitor::ParseByteList(text);
  if (bytes && bytes->size() > monitor::kByteListCapacity) std::abort();
  return 0;
}
