#pragma once
// The integer text rule shared by every place that turns typed text into a
// number: the line-break bytes, the byte list, and the "#" form of a char.
//
//   [blanks] [+|-] ( decimal digits | ("$"|"x"|"X"|"0x"|"0X") hex digits )
//
// Nothing may follow the digits, not even a blank. Decimal must fit a signed
// 32-bit integer; hexadecimal may go up to FFFFFFFF and is read as that 32-bit
// pattern. A leading "-" negates either form (two's complement wrap).
#include <cstdint>
#include <optional>
#include <string_view>

namespace cport {

std::optional<std::int32_t> ParseIntegerText(std::string_view text) noexcept;

}  // namespace cport
