#pragma once
// Windows-1252, the character set of every text of the monitor: the log's
// lines, the description file and the window's own texts.
#include <cstdint>
#include <string>
#include <string_view>

namespace monitor {

// The Unicode code point of a Windows-1252 byte. The five bytes the code page
// leaves undefined (81, 8D, 8F, 90, 9D) give the C1 control of the same
// number, as the Windows conversion functions do, so no byte is ever lost.
char32_t Cp1252ToUnicode(std::uint8_t byte);

// False for those five undefined bytes.
bool IsCp1252Defined(std::uint8_t byte);

// A Windows-1252 text as UTF-8.
std::string Cp1252ToUtf8(std::string_view text);

// UTF-8 as Windows-1252: a character the code page lacks, and a byte that
// starts no valid sequence, become '?'.
std::string Utf8ToCp1252(std::string_view text);

}  // namespace monitor
