#include "cport/port/ComTexts.h"

#include <algorithm>
#include <cstdint>

#include "cport/text/IntegerText.h"

namespace cport {
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAscii(x) == UpperAscii(y);
         });
}

template <typename Enum, std::size_t N>
Enum ParseByTable(const std::array<EnumEntry<Enum>, N>& table, std::string_view text,
                  Enum fallback) {
  for (const auto& row : table) {
    if (EqualsIgnoringCase(row.text, text)) return row.value;
  }
  return fallback;
}

template <typename Enum, std::size_t N>
std::string TextByTable(const std::array<EnumEntry<Enum>, N>& table, Enum value) {
  return std::string(EnumText(table, value));
}

}  // namespace

std::string BaudRateText(TBaudRate value) { return TextByTable(kBaudRateTable, value); }
std::string StopBitsText(TStopBits value) { return TextByTable(kStopBitsTable, value); }
std::string DataBitsText(TDataBits value) { return TextByTable(kDataBitsTable, value); }
std::string ParityText(TParityBits value) { return TextByTable(kParityTable, value); }
std::string FlowControlText(TFlowControl value) { return TextByTable(kFlowControlTable, value); }
std::string DTRText(TDTRFlowControl value) { return TextByTable(kDTRTable, value); }
std::string RTSText(TRTSFlowControl value) { return TextByTable(kRTSTable, value); }
std::string YesNoText(bool value) { return value ? "Yes" : "No"; }

TBaudRate ParseBaudRate(std::string_view text) {
  return ParseByTable(kBaudRateTable, text, TBaudRate::br9600);
}
TStopBits ParseStopBits(std::string_view text) {
  return ParseByTable(kStopBitsTable, text, TStopBits::sbOneStopBit);
}
TDataBits ParseDataBits(std::string_view text) {
  return ParseByTable(kDataBitsTable, text, TDataBits::dbEight);
}
TParityBits ParseParity(std::string_view text) {
  return ParseByTable(kParityTable, text, TParityBits::prNone);
}
TFlowControl ParseFlowControl(std::string_view text) {
  return ParseByTable(kFlowControlTable, text, TFlowControl::fcCustom);
}
TDTRFlowControl ParseDTR(std::string_view text) {
  return ParseByTable(kDTRTable, text, TDTRFlowControl::dtrDisable);
}
TRTSFlowControl ParseRTS(std::string_view text) {
  return ParseByTable(kRTSTable, text, TRTSFlowControl::rtsDisable);
}
bool ParseYesNo(std::string_view text) { return EqualsIgnoringCase(text, "YES"); }

std::string CharText(char c) {
  const auto code = static_cast<unsigned char>(c);
  if (code >= 33 && code <= 127) return std::string(1, c);
  return "#" + std::to_string(code);
}

char ParseCharText(std::string_view text) {
  if (text.empty()) return '\0';
  if (text.front() != '#' || text.size() == 1) return text.front();
  const auto number = ParseIntegerText(text.substr(1));
  if (!number) return '\0';
  // The low byte of the 32-bit pattern, so "#-1" is code 255.
  return static_cast<char>(static_cast<std::uint32_t>(*number) & 0xFFu);
}

}  // namespace cport
