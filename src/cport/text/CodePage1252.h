#pragma once
// Windows-1252, the 8-bit character set of the port component's texts: port
// names, value names and string values as programs hand them over. The
// registry files of the newer editor format hold Unicode; these functions
// translate between the two.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cport {

// The Unicode code point of a byte. The five bytes the code page leaves
// undefined (81, 8D, 8F, 90, 9D) give the C1 control of the same number, as
// the Windows conversion functions do, so that every byte survives a round
// trip.
char32_t CodePage1252ToUnicode(std::uint8_t byte) noexcept;

// The byte of a code point, or nothing when the code page lacks it.
std::optional<std::uint8_t> UnicodeToCodePage1252(char32_t c) noexcept;

// A Windows-1252 text as UTF-8 (for messages).
std::string CodePage1252ToUtf8(std::string_view text);

// UTF-8 as Windows-1252: a character the code page lacks, and each byte that
// DecodeUtf8At cannot decode, become '?'.
std::string Utf8ToCodePage1252(std::string_view text);

// Appends the UTF-8 form of a code point; surrogates and values beyond
// U+10FFFF become U+FFFD.
void AppendUtf8(char32_t c, std::string& out);

// The UTF-16 code unit whose two bytes start at `pos` (both must be there).
char16_t Utf16UnitAt(std::string_view bytes, std::size_t pos, bool bigEndian) noexcept;

// Appends a code point up to U+10FFFF as UTF-16 units: a surrogate pair above
// U+FFFF, else one unit (a surrogate code point too, as a lone unit: callers
// that must not write one replace it first).
void AppendUtf16(char32_t c, bool bigEndian, std::string& out);

// Decodes the code point at `pos` and moves past it. Anything that does not
// decode (a stray or cut sequence, an overlong form, a surrogate) gives
// U+FFFD and consumes one byte. `pos` must be inside `bytes`.
char32_t DecodeUtf8At(std::string_view bytes, std::size_t& pos) noexcept;

}  // namespace cport
