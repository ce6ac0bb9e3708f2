#include "cport/text/IntegerText.h"

namespace cport {
namespace {

int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::int32_t> ParseIntegerText(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  std::string_view rest = text.substr(i);
  bool hex = false;
  if (rest.starts_with("0x") || rest.starts_with("0X")) {
    hex = true;
    rest.remove_prefix(2);
  } else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    rest.remove_prefix(1);
  }
  if (rest.empty()) return std::nullopt;

  std::uint64_t value = 0;
  if (hex) {
    for (char c : rest) {
      const int d = HexDigit(c);
      if (d < 0) return std::nullopt;
      value = value * 16 + static_cast<unsigned>(d);
      if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) bits = ~bits + 1u;
    return static_cast<std::int32_t>(bits);
  }
  for (char c : rest) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    // Magnitude limit: 2147483648 is allowed only with a minus sign.
    if (value > 2147483648ull) return std::nullopt;
  }
  if (!negative && value > 2147483647ull) return std::nullopt;
  const auto magnitude = static_cast<std::int64_t>(value);
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace cport
