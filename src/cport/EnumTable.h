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

// The row of `value`. Values outside the table (a byte cast from storage)
// have no row.
template <typename Enum, std::size_t N>
constexpr const EnumEntry<Enum>* FindEntry(const std::array<EnumEntry<Enum>, N>& table,
                                           Enum value) {
  const auto i = static_cast<std::size_t>(value);
  return i < N ? &table[i] : nullptr;
}

template <typename Enum, std::size_t N>
constexpr std::int32_t EnumNumber(const std::array<EnumEntry<Enum>, N>& table, Enum value) {
  const auto* row = FindEntry(table, value);
  return row ? row->number : 0;
}

template <typename Enum, std::size_t N>
constexpr std::string_view EnumText(const std::array<EnumEntry<Enum>, N>& table, Enum value) {
  const auto* row = FindEntry(table, value);
  return row ? row->text : std::string_view{};
}

}  // namespace cport
