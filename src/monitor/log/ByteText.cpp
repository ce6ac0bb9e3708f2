#include "monitor/log/LogLine.h"

#include <algorithm>
#include <array>

namespace monitor {
namespace {

constexpr std::size_t kForms = 4;
constexpr std::size_t kLongest = 9;  // " CHR(31) "

// Every text a byte line can show, made once at compile time: a byte line
// is painted, saved and copied without formatting anything.
struct ByteTexts {
  std::array<std::array<std::array<char, kLongest>, 256>, kForms> text{};
  std::array<std::array<std::uint8_t, 256>, kForms> size{};
};

constexpr ByteTexts MakeByteTexts() {
  constexpr char kHex[] = "0123456789ABCDEF";
  ByteTexts t;
  for (unsigned b = 0; b < 256; ++b) {
    auto put = [&t, b](ByteForm form, char c) {
      const auto f = static_cast<std::size_t>(form);
      t.text[f][b][t.size[f][b]++] = c;
    };
    auto put_decimal = [&put, b](ByteForm form) {
      if (b >= 100) put(form, static_cast<char>('0' + b / 100));
      if (b >= 10) put(form, static_cast<char>('0' + b / 10 % 10));
      put(form, static_cast<char>('0' + b % 10));
    };
    using enum ByteForm;
    if (b >= 32) {
      put(Character, static_cast<char>(b));
    } else {
      for (const char c : {' ', 'C', 'H', 'R', '('}) put(Character, c);
      put_decimal(Character);
      put(Character, ')');
      put(Character, ' ');
    }
    put_decimal(Decimal);
    put(Decimal, ' ');
    put(Hexadecimal, kHex[b >> 4]);
    put(Hexadecimal, kHex[b & 15]);
    put(Hexadecimal, ' ');
    put(Blank, ' ');
  }
  return t;
}

constexpr ByteTexts kByteTexts = MakeByteTexts();

}  // namespace

std::string_view ByteTextView(std::uint8_t byte, ByteForm form) {
  // A form outside the enumeration shows as a format without a name does.
  const auto f = std::min(static_cast<std::size_t>(form), kForms - 1);
  return {kByteTexts.text[f][byte].data(), kByteTexts.size[f][byte]};
}

std::string ByteText(std::uint8_t byte, ByteForm form) {
  return std::string(ByteTextView(byte, form));
}

}  // namespace monitor
