#pragma once
// The receive log's contents: a list of lines, each with a colour.
//
// Built to hold tens of millions of lines. A line that shows one received
// byte is kept as the byte and the format it was received in (4 bytes per
// line); its text is only made when asked for (painting, saving, whole
// text). Decoder lines keep their text. Colours are kept as runs, since they
// change once per report at most. Texts are 8-bit Windows-1252 strings, as
// every text of the monitor is.
//
// Not thread-safe: the user-interface thread owns it.
#include <cstddef>
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

}  // namespace monitor
