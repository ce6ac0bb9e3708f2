#pragma once
// Marked lines: what happened on the line, written into the receive log
// between the received bytes, in a colour of their own and framed by dashes
// so that they are never taken for received text. They carry the time of
// day: to the second for the port coming and going, to the millisecond for
// line events, which come in quick succession.
//
// Texts are Windows-1252, as every line of the log (0x97 is the em dash).
#include <string>
#include <vector>

#include "cport/port/ComEnums.h"
#include "monitor/log/LogLine.h"

namespace monitor {

// Purple: no decoder line and no received byte is ever shown in it.
inline constexpr Rgb kMarkColour = 0x800080;

// "14:03:07", or "14:03:07.120" with milliseconds, from the time of day as
// a fraction of a day (see TimeOfDay.h).
std::string ClockText(double time_of_day, bool milliseconds);

// "— porta perdida 14:03:07 —" and "— porta reaberta 14:03:12 —".
std::string PortLostMark(double time_of_day);
std::string PortReopenedMark(double time_of_day);

// One line per error of the set, in a fixed order: "— BREAK 14:03:07.120 —",
// "— erro de enquadramento ... —", "— erro de paridade ... —",
// "— erro de sobreposição ... —" (the UART's overrun), "— buffer de
// recepção cheio ... —", "— erro de E/S ... —", "— modo inválido ... —",
// "— buffer de transmissão cheio ... —".
std::vector<std::string> ErrorMarks(cport::TComErrors errors, double time_of_day);

// "— CTS ativo 14:03:07.120 —" / "— CTS inativo ... —"; the signal is named
// CTS, DSR, RING or RLSD (carrier detect).
std::string SignalMark(cport::LineSignal signal, bool on, double time_of_day);
// The short name of a modem line: "CTS", "DSR", "RING", "RLSD".
const char* SignalName(cport::LineSignal signal);

}  // namespace monitor
