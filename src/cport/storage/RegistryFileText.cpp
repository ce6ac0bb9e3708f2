#include "cport/storage/RegistryFileText.h"

#include "cport/text/CodePage1252.h"

namespace cport {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

char32_t NextUtf16(std::string_view bytes, std::size_t& pos, bool bigEndian) {
  if (pos + 1 >= bytes.size()) {  // an odd byte at the end of a cut file
    pos = bytes.size();
    return kReplacement;
  }
  const char16_t first = Utf16UnitAt(bytes, pos, bigEndian);
  pos += 2;
  if (first < 0xD800 || first > 0xDFFF) return first;
  if (first <= 0xDBFF && pos + 1 < bytes.size()) {
    const char16_t second = Utf16UnitAt(bytes, pos, bigEndian);
    if (second >= 0xDC00 && second <= 0xDFFF) {
      pos += 2;
      return 0x10000 + ((static_cast<char32_t>(first) - 0xD800) << 10) + (second - 0xDC00);
    }
  }
  return kReplacement;
}


}  // namespace

std::string_view ByteOrderMark(RegistryFileEncoding encoding) {
  switch (encoding) {
    using enum RegistryFileEncoding;
    case Utf16Le:
      return "\xFF\xFE";
    case Utf16Be:
      return "\xFE\xFF";
    case Utf8:
      return "\xEF\xBB\xBF";
    case Ansi:
      break;
  }
  return {};
}

DecodedRegistryFile DecodeRegistryFile(std::string_view bytes) {
  using enum RegistryFileEncoding;
  DecodedRegistryFile file;
  for (const RegistryFileEncoding e : {Utf8, Utf16Le, Utf16Be}) {
    if (bytes.starts_with(ByteOrderMark(e))) {
      file.encoding = e;
      file.bomSize = ByteOrderMark(e).size();
      break;
    }
  }
  // A UTF-16 file that lost its mark still shows itself by the zero high
  // bytes of its first characters ("R\0E\0" or "W\0i\0").
  if (file.bomSize == 0 && bytes.size() >= 4 && bytes[0] != '\0' && bytes[1] == '\0' &&
      bytes[2] != '\0' && bytes[3] == '\0') {
    file.encoding = Utf16Le;
    file.missingBom = true;
  }

  bool sawBreak = false;
  std::size_t pos = file.bomSize;
  RegistryFileLine line;
  line.rawBegin = pos;
  bool pendingCr = false;  // a CR was the last character: an LF may complete the break
  auto finish = [&](std::size_t end) {
    line.rawEnd = end;
    file.lines.push_back(std::move(line));
    line = RegistryFileLine{};
    line.rawBegin = end;
  };
  while (pos < bytes.size()) {
    const std::size_t before = pos;
    char32_t c;
    switch (file.encoding) {
      case Ansi:
        c = CodePage1252ToUnicode(static_cast<std::uint8_t>(bytes[pos++]));
        break;
      case Utf8:
        c = DecodeUtf8At(bytes, pos);
        break;
      default:
        c = NextUtf16(bytes, pos, file.encoding == Utf16Be);
        break;
    }
    if (pendingCr) {
      pendingCr = false;
      if (c == U'\n') {
        if (!sawBreak) file.lineBreak = U"\r\n", sawBreak = true;
        finish(pos);
        continue;
      }
      if (!sawBreak) file.lineBreak = U"\r", sawBreak = true;
      finish(before);
    }
    if (c == U'\r') {
      pendingCr = true;
    } else if (c == U'\n') {
      if (!sawBreak) file.lineBreak = U"\n", sawBreak = true;
      finish(pos);
    } else {
      line.text += c;
    }
  }
  if (pendingCr) {
    if (!sawBreak) file.lineBreak = U"\r";
    finish(bytes.size());
  } else if (line.rawBegin < bytes.size()) {
    line.terminated = false;
    finish(bytes.size());
  }
  return file;
}

std::string EncodeRegistryText(std::u32string_view text, RegistryFileEncoding encoding) {
  std::string out;
  out.reserve(text.size() * (encoding == RegistryFileEncoding::Ansi ? 1 : 2));
  for (char32_t c : text) {
    switch (encoding) {
      using enum RegistryFileEncoding;
      case Ansi:
        out += static_cast<char>(UnicodeToCodePage1252(c).value_or('?'));
        break;
      case Utf8:
        AppendUtf8(c, out);
        break;
      case Utf16Le:
      case Utf16Be:
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
        AppendUtf16(c, encoding == Utf16Be, out);
        break;
    }
  }
  return out;
}

}  // namespace cport
