#include "monitor/ByteList.h"

#include "cport/text/IntegerText.h"

namespace monitor {

bool IsQuotedText(std::string_view text) { return text.find('"') != std::string_view::npos; }

std::string_view QuotedPayload(std::string_view text) {
  if (text.size() <= 2) return {};
  return text.substr(1, text.size() - 2);
}

std::optional<std::vector<std::uint8_t>> ParseByteList(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t blank = text.find(' ', position);
    const std::size_t end = blank == std::string_view::npos ? text.size() : blank;
    if (bytes.size() == kByteListCapacity) return std::nullopt;
    const auto value = cport::ParseIntegerText(text.substr(position, end - position));
    if (!value) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(*value) & 0xFF));
    position = end + 1;
  }
  return bytes;
}

}  // namespace monitor
