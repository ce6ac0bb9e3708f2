#pragma once
// One row per value of an enumeration: the value, the number it stands for
// (bits per second, a device code, a mask bit) and its text. Tables are kept
// in ordinal order so that row i is the value with ordinal i; CoversEnum lets
// each table prove that at compile time.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cport {

template <typename Enum>
struct EnumEntry {
  Enum value;
  std::int32_t number;
  std::string_view text;
};

// True when the table has exactly one row per value from ordinal 0 to `last`,
// in ordinal order.
template <typename Enum, std::size_t N>
constexpr bool CoversEnum(const std::array<EnumEntry<Enum>, N>& table, Enum last) {
  if (N != static_cast<std::size_t>(last) + 1) return false;
  for (std::size_t i = 0; i < N; ++i) {
    if (static_cast<std::size_t>(table[i].value) != i) return false;
  }
  return true;
}

// Whether `value` has a row. Values outside the table (a byte cast from
// storage) have none.
template <typename Enum, std::size_t N>
constexpr bool HasEntry(const std::array<EnumEntry<Enum>, N>&, Enum value) {
  return static_cast<std::size_t>(value) < N;
}

// The number and the text of `value`; 0 and an empty text without a row.
// (Index checks rather than row pointers: pointer tests are not constant
// expressions under the address sanitizer.)
template <typename Enum, std::size_t N>
constexpr std::int32_t EnumNumber(const std::array<EnumEntry<Enum>, N>& table, Enum value) {
  return HasEntry(table, value) ? table[static_cast<std::size_t>(value)].number : 0;
}

template <typename Enum, std::size_t N>
constexpr std::string_view EnumText(const std::array<EnumEntry<Enum>, N>& table, Enum value) {
  return HasEntry(table, value) ? table[static_cast<std::size_t>(value)].text : std::string_view{};
}

}  // namespace cport
