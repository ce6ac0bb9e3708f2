#pragma once
// The character encoding of a text file that people edit by hand and the
// program reads and may write back: the component's ini files and the
// monitor's description file.
//
// Recognised, in this order:
//  - a byte order mark: FF FE is UTF-16 little-endian (what the Windows editor
//    saves as "Unicode"), FE FF UTF-16 big-endian, EF BB BF UTF-8;
//  - without a mark, UTF-8 when the whole file is valid UTF-8 and holds at
//    least one multi-byte character (what Linux editors write): Windows-1252
//    text with accented letters is almost never valid UTF-8;
//  - anything else is Windows-1252, the default (pure ASCII reads the same
//    either way and stays Windows-1252).
//
// DecodeTextFile turns a file into 8-bit text that the line parsers can work
// on byte by byte (every character they look for is ASCII): the bytes
// themselves for Windows-1252 and UTF-8 files, UTF-8 for UTF-16 files. That
// text is the "file text" below. EncodeTextFile gives back the exact bytes
// DecodeTextFile was given, for any input: a UTF-16 surrogate without its
// partner is carried in the file text in the generalized UTF-8 form
// (ED A0 80 to ED BF BF), and an odd last byte of a UTF-16 file is kept aside.
//
// Pure functions; they never throw except for std::bad_alloc.
#include <cstdint>
#include <string>
#include <string_view>

namespace cport {

enum class TextEncoding : std::uint8_t {
  CodePage1252,  // no mark: Windows-1252
  Utf8,          // no mark, but valid UTF-8 with a multi-byte character
  Utf8Bom,       // EF BB BF
  Utf16Le,       // FF FE
  Utf16Be,       // FE FF
};

struct DecodedTextFile {
  TextEncoding encoding = TextEncoding::CodePage1252;
  std::string text;      // the file text, without the byte order mark
  std::string leftover;  // an odd last byte of a UTF-16 file; else empty
};

TextEncoding DetectTextEncoding(std::string_view bytes);

DecodedTextFile DecodeTextFile(std::string_view bytes);

// The bytes of a file in `encoding` holding `text` (file text), byte order
// mark first, `leftover` last. File text that is not valid UTF-8 (generalized
// as above) gives U+FFFD in a UTF-16 file.
std::string EncodeTextFile(std::string_view text, TextEncoding encoding,
                           std::string_view leftover = {});

// File text of a file in `encoding` as Windows-1252, the character set of the
// component's texts: characters Windows-1252 lacks, and bytes that decode to
// no character, become '?'.
std::string FileTextToCodePage1252(std::string_view text, TextEncoding encoding);

// Windows-1252 text as file text of a file in `encoding`; nothing is lost.
std::string CodePage1252ToFileText(std::string_view text, TextEncoding encoding);

}  // namespace cport
