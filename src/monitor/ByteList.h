#pragma once
// What the operator types in the send box: either a quoted string, sent as
// it stands without its first and last character, or a byte list of
// blank-separated numbers by the integer text rule, each sent as its low
// byte ("234 30 83", "$23 $35 $34", "0x41 X42").
//
// The list is split at single blanks only: two blanks in a row, a blank at
// the start or two at the end make an empty token, which is invalid; one
// blank at the end is allowed; a tab is part of a token and so invalid.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace monitor {

// The longest list one send takes.
inline constexpr std::size_t kByteListCapacity = 251;

// A text that holds a double quote anywhere is a quoted string.
bool IsQuotedText(std::string_view text);

// The quoted string's payload: the text without its first and its last
// character, whatever they are; empty for texts of up to two characters.
std::string_view QuotedPayload(std::string_view text);

// The bytes of a byte list, or nothing when a token is invalid or the list
// holds more than kByteListCapacity tokens. An empty text gives no bytes.
std::optional<std::vector<std::uint8_t>> ParseByteList(std::string_view text);

}  // namespace monitor
