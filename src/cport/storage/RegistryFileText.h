#pragma once
// The character level of a registry file as the Windows registry editor
// writes it: "REGEDIT4" files are Windows-1252 bytes without a byte order
// mark, "Windows Registry Editor Version 5.00" files are UTF-16 little-endian
// after the mark FF FE. Splits a file into its physical lines, each with its
// decoded text and the exact bytes it came from, so that lines nobody changes
// can be written back byte for byte.
//
// Never throws for any input: bytes that do not decode become U+FFFD in the
// text and stay as they were in the raw bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cport {

enum class RegistryFileEncoding : std::uint8_t {
  Ansi,     // Windows-1252, no mark
  Utf16Le,  // FF FE
  Utf16Be,  // FE FF: no editor writes it, but it is read and kept
  Utf8,     // EF BB BF
};

struct RegistryFileLine {
  std::u32string text;       // without the line break
  std::size_t rawBegin = 0;  // [rawBegin, rawEnd) of the file's bytes, line break included
  std::size_t rawEnd = 0;
  bool terminated = true;  // false only for a last line without a line break
};

struct DecodedRegistryFile {
  RegistryFileEncoding encoding = RegistryFileEncoding::Ansi;
  std::size_t bomSize = 0;
  // UTF-16 recognised by its zero bytes although the mark is missing.
  bool missingBom = false;
  // The first line break of the file ("\r\n", "\n" or "\r"); "\r\n" when it has
  // none, as the editor writes.
  std::u32string lineBreak = U"\r\n";
  std::vector<RegistryFileLine> lines;
};

DecodedRegistryFile DecodeRegistryFile(std::string_view bytes);

// The bytes of `text` in `encoding` (without a byte order mark). Code points
// Windows-1252 lacks become '?' in an Ansi file.
std::string EncodeRegistryText(std::u32string_view text, RegistryFileEncoding encoding);

// The byte order mark that starts a file in `encoding` (empty for Ansi).
std::string_view ByteOrderMark(RegistryFileEncoding encoding);

}  // namespace cport
