#pragma once
// One text in each form in which an editor may save it, made here
// independently of the code under test.
#include <string>
#include <string_view>

namespace cport::testing {

enum class Form { Cp1252, Utf8, Utf8Bom, Utf16Le, Utf16Be };
inline constexpr Form kAllForms[] = {Form::Cp1252, Form::Utf8, Form::Utf8Bom, Form::Utf16Le,
                                     Form::Utf16Be};

// `text` holds characters of the basic plane only; for Form::Cp1252, only
// characters below U+0100 (Latin-1, where Windows-1252 agrees).
inline std::string Encoded(std::u16string_view text, Form form) {
  std::string out = form == Form::Utf8Bom   ? "\xEF\xBB\xBF"
                    : form == Form::Utf16Le ? "\xFF\xFE"
                    : form == Form::Utf16Be ? "\xFE\xFF"
                                            : "";
  for (const char16_t c : text) {
    const auto high = static_cast<char>(c >> 8);
    const auto low = static_cast<char>(c & 0xFF);
    if (form == Form::Utf16Le) {
      out += {low, high};
    } else if (form == Form::Utf16Be) {
      out += {high, low};
    } else if (form == Form::Cp1252 || c < 0x80) {
      out += low;
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

}  // namespace cport::testing
