#pragma once
// One value of a registry key: its type code and its data, as a program using
// the registry's 8-bit interface sees them.
#include <cstdint>
#include <string>

namespace cport {

// The registry's type codes (the numbers of the hex(N) form of registry files).
// Any other number is kept as it is, with its data as raw bytes.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;        // text, zero-terminated
inline constexpr std::uint32_t kRegExpandSz = 2;  // text with %VARIABLES%, zero-terminated
inline constexpr std::uint32_t kRegBinary = 3;    // bytes
inline constexpr std::uint32_t kRegDword = 4;     // 32-bit integer, little-endian
inline constexpr std::uint32_t kRegMultiSz = 7;   // zero-terminated texts, then a zero
inline constexpr std::uint32_t kRegQword = 11;    // 64-bit integer, little-endian

// Whether the data of `type` are text (converted between the 8-bit interface
// and a Unicode registry file).
constexpr bool IsTextType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

struct RegistryValue {
  std::uint32_t type = kRegNone;
  // Text types: Windows-1252 bytes with their terminating zero; other types:
  // the bytes as stored.
  std::string data;
  // The file's text for this value could not be read (a cut line, a bad
  // digit); `type` is then what its form announced and `data` is empty.
  bool damaged = false;

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

}  // namespace cport
