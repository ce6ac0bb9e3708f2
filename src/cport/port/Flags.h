#pragma once
// A set over an enumeration whose element number i is bit i of a fixed-width
// word: TComEvents (16 bits), TComErrors (8 bits), the setting groups and the
// modem lines. The word is what the stored settings and the device masks
// hold; the API speaks in elements.
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace cport {

template <typename Enum, std::unsigned_integral Word>
requires std::is_enum_v<Enum>
class Flags {
 public:
  using element_type = Enum;
  using word_type = Word;

  constexpr Flags() noexcept = default;
  constexpr Flags(std::initializer_list<Enum> elements) noexcept {
    for (Enum e : elements) bits_ = static_cast<Word>(bits_ | Bit(e));
  }

  // The set whose word is `bits`; bits beyond the last element are kept, so
  // a word read from storage round-trips unchanged.
  static constexpr Flags FromBits(Word bits) noexcept {
    Flags f;
    f.bits_ = bits;
    return f;
  }
  constexpr Word Bits() const noexcept { return bits_; }

  constexpr bool Contains(Enum e) const noexcept { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const noexcept { return bits_ == 0; }

  constexpr Flags& Include(Enum e) noexcept {
    bits_ = static_cast<Word>(bits_ | Bit(e));
    return *this;
  }
  constexpr Flags& Exclude(Enum e) noexcept {
    bits_ = static_cast<Word>(bits_ & ~Bit(e));
    return *this;
  }

  friend constexpr Flags operator|(Flags a, Flags b) noexcept {
    return FromBits(static_cast<Word>(a.bits_ | b.bits_));
  }
  friend constexpr Flags operator&(Flags a, Flags b) noexcept {
    return FromBits(static_cast<Word>(a.bits_ & b.bits_));
  }
  friend constexpr bool operator==(const Flags&, const Flags&) noexcept = default;

 private:
  static constexpr Word Bit(Enum e) noexcept {
    return static_cast<Word>(Word{1} << static_cast<unsigned>(e));
  }

  Word bits_ = 0;
};

}  // namespace cport
