#pragma once
// Text forms of the port's settings, shared by the settings storage and the
// setup dialog. Texts are byte strings; comparisons upper-case ASCII letters
// only. None of these functions throws: a text that matches nothing parses to
// the fallback named below.
#include <string>
#include <string_view>

#include "cport/port/ComEnums.h"

namespace cport {

std::string BaudRateText(TBaudRate value);        // "Custom", "110", ... "256000"
std::string StopBitsText(TStopBits value);        // "1", "1.5", "2"
std::string DataBitsText(TDataBits value);        // "5" ... "8"
std::string ParityText(TParityBits value);        // "None", "Odd", "Even", "Mark", "Space"
std::string FlowControlText(TFlowControl value);  // "Hardware", "Software", "None", "Custom"
std::string DTRText(TDTRFlowControl value);       // "Disable", "Enable", "Handshake"
std::string RTSText(TRTSFlowControl value);       // "Disable", "Enable", "Handshake", "Toggle"
std::string YesNoText(bool value);                // "Yes", "No"

// Case-insensitive match against the texts above, first match in ordinal
// order; the fallback when nothing matches is given after the arrow.
TBaudRate ParseBaudRate(std::string_view text);        // -> br9600
TStopBits ParseStopBits(std::string_view text);        // -> sbOneStopBit
TDataBits ParseDataBits(std::string_view text);        // -> dbEight
TParityBits ParseParity(std::string_view text);        // -> prNone
TFlowControl ParseFlowControl(std::string_view text);  // -> fcCustom
TDTRFlowControl ParseDTR(std::string_view text);       // -> dtrDisable
TRTSFlowControl ParseRTS(std::string_view text);       // -> rtsDisable
bool ParseYesNo(std::string_view text);                // "YES" in any case; else false

// Codes 33 to 127 are written as the character itself, every other code as
// "#" and the code in decimal ("#13", "#0", "#32").
std::string CharText(char c);
// The inverse: "" -> #0; text not starting with "#", or "#" alone -> its first
// character; otherwise the rest is read by the integer text rule and its low
// byte is the result (#0 when it does not convert).
char ParseCharText(std::string_view text);

}  // namespace cport
