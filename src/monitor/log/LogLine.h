#pragma once
// What a line of the receive log is made of: a colour, and either a received
// byte shown in one of the byte formats or a Windows-1252 text.
#include <cstdint>
#include <string>
#include <string_view>

namespace monitor {

// 0xRRGGBB
using Rgb = std::uint32_t;
inline constexpr Rgb kBlue = 0x0000FF;
inline constexpr Rgb kGreen = 0x008000;
inline constexpr Rgb kRed = 0xFF0000;

// How a received byte is written as a line of its own.
enum class ByteForm : std::uint8_t {
  Character,    // the byte as a Windows-1252 character, " CHR(n) " below 32
  Decimal,      // "65 "
  Hexadecimal,  // "0D "
  Blank,        // a display format without a name: the empty text and a space
};

// The text of one byte in one form (cp1252 bytes). The one place that knows
// the byte formats, shared by the store, the view and the tests.
std::string ByteText(std::uint8_t byte, ByteForm form);

// The same text without an allocation: a view of a table that lives as long
// as the program.
std::string_view ByteTextView(std::uint8_t byte, ByteForm form);

}  // namespace monitor
