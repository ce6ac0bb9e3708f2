#include "cport/text/TextEncoding.h"

#include "cport/text/CodePage1252.h"

namespace cport {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr char32_t kReplacement = 0xFFFD;

std::string_view ByteOrderMarkOf(TextEncoding encoding) {
  switch (encoding) {
    using enum TextEncoding;
    case Utf8Bom:
      return kUtf8Bom;
    case Utf16Le:
      return kUtf16LeBom;
    case Utf16Be:
      return kUtf16BeBom;
    case CodePage1252:
    case Utf8:
      break;
  }
  return {};
}

bool IsUtf16(TextEncoding encoding) {
  return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

// True when all of `bytes` is valid UTF-8 with at least one multi-byte
// character.
bool IsMultiByteUtf8(std::string_view bytes) {
  bool multiByte = false;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t start = pos;
    const char32_t c = DecodeUtf8At(bytes, pos);
    // A broken sequence decodes to U+FFFD from one byte; the character
    // itself takes three.
    if (c == kReplacement && pos - start == 1) return false;
    multiByte = multiByte || pos - start > 1;
  }
  return multiByte;
}

// UTF-8 of a code point or of a lone surrogate (which AppendUtf8 would
// replace): the generalized form keeps every UTF-16 unit.
void AppendGeneralizedUtf8(char32_t c, std::string& out) {
  if (c >= 0xD800 && c <= 0xDFFF) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    AppendUtf8(c, out);
  }
}

// The code point or lone surrogate at `pos` of generalized UTF-8; moves past
// it. Bytes that decode to nothing give U+FFFD and one byte is consumed.
char32_t DecodeGeneralizedUtf8At(std::string_view text, std::size_t& pos) {
  if (pos + 2 < text.size() && static_cast<unsigned char>(text[pos]) == 0xED) {
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    const auto third = static_cast<unsigned char>(text[pos + 2]);
    if (second >= 0xA0 && second <= 0xBF && (third & 0xC0) == 0x80) {
      pos += 3;
      return 0xD000 | ((second & 0x3F) << 6) | (third & 0x3F);
    }
  }
  return DecodeUtf8At(text, pos);
}

// `bytes` holds whole units only.
std::string Utf16ToFileText(std::string_view bytes, bool bigEndian) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size(); pos += 2) {
    const char16_t unit = Utf16UnitAt(bytes, pos, bigEndian);
    if (unit >= 0xD800 && unit <= 0xDBFF && pos + 3 < bytes.size()) {
      const char16_t next = Utf16UnitAt(bytes, pos + 2, bigEndian);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(0x10000 + ((char32_t{unit} - 0xD800) << 10) + (next - 0xDC00), text);
        pos += 2;
        continue;
      }
    }
    AppendGeneralizedUtf8(unit, text);
  }
  return text;
}

void AppendFileTextAsUtf16(std::string_view text, bool bigEndian, std::string& out) {
  for (std::size_t pos = 0; pos < text.size();) {
    // A lone surrogate goes back as the unit it came from.
    const char32_t c = DecodeGeneralizedUtf8At(text, pos);
    AppendUtf16(c > 0x10FFFF ? kReplacement : c, bigEndian, out);
  }
}

}  // namespace

TextEncoding DetectTextEncoding(std::string_view bytes) {
  using enum TextEncoding;
  // FF FE before FE FF and EF BB BF: the marks do not overlap, the order is
  // only for reading.
  for (const TextEncoding e : {Utf16Le, Utf16Be, Utf8Bom}) {
    if (bytes.starts_with(ByteOrderMarkOf(e))) return e;
  }
  return IsMultiByteUtf8(bytes) ? Utf8 : CodePage1252;
}

DecodedTextFile DecodeTextFile(std::string_view bytes) {
  DecodedTextFile file;
  file.encoding = DetectTextEncoding(bytes);
  bytes.remove_prefix(ByteOrderMarkOf(file.encoding).size());
  if (!IsUtf16(file.encoding)) {
    file.text.assign(bytes);
    return file;
  }
  if (bytes.size() % 2 != 0) {
    file.leftover.assign(bytes.substr(bytes.size() - 1));
    bytes.remove_suffix(1);
  }
  file.text = Utf16ToFileText(bytes, file.encoding == TextEncoding::Utf16Be);
  return file;
}

std::string EncodeTextFile(std::string_view text, TextEncoding encoding,
                           std::string_view leftover) {
  std::string out(ByteOrderMarkOf(encoding));
  if (IsUtf16(encoding)) {
    out.reserve(out.size() + 2 * text.size() + leftover.size());
    AppendFileTextAsUtf16(text, encoding == TextEncoding::Utf16Be, out);
  } else {
    out += text;
  }
  out += leftover;
  return out;
}

std::string FileTextToCodePage1252(std::string_view text, TextEncoding encoding) {
  if (encoding == TextEncoding::CodePage1252) return std::string(text);
  return Utf8ToCodePage1252(text);
}

std::string CodePage1252ToFileText(std::string_view text, TextEncoding encoding) {
  if (encoding == TextEncoding::CodePage1252) return std::string(text);
  return CodePage1252ToUtf8(text);
}

}  // namespace cport
