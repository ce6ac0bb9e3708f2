#include "monitor/LineMarks.h"

#include <cmath>
#include <cstdio>

namespace monitor {
namespace {

std::string Framed(const std::string& what, double time_of_day, bool milliseconds) {
  return "\x97 " + what + " " + ClockText(time_of_day, milliseconds) + " \x97";
}

}  // namespace

std::string ClockText(double time_of_day, bool milliseconds) {
  // Whole milliseconds of the day, rounded, wrapped into one day.
  constexpr long long kDay = 24LL * 60 * 60 * 1000;
  long long ms = std::llround(time_of_day * static_cast<double>(kDay)) % kDay;
  if (ms < 0) ms += kDay;
  const int h = static_cast<int>(ms / 3'600'000);
  const int m = static_cast<int>(ms / 60'000 % 60);
  const int s = static_cast<int>(ms / 1000 % 60);
  char text[16];
  if (milliseconds) {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", h, m, s, static_cast<int>(ms % 1000));
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", h, m, s);
  }
  return text;
}

std::string PortLostMark(double time_of_day) {
  return Framed("porta perdida", time_of_day, false);
}

std::string PortReopenedMark(double time_of_day) {
  return Framed("porta reaberta", time_of_day, false);
}

std::vector<std::string> ErrorMarks(cport::TComErrors errors, double time_of_day) {
  using enum cport::TComError;
  // A break first: the errors that come with it (a framing error, a NUL
  // byte) are its consequence.
  static constexpr std::pair<cport::TComError, const char*> kOrder[] = {
      {ceBreak, "BREAK"},
      {ceFrame, "erro de enquadramento"},
      {ceRxParity, "erro de paridade"},
      {ceOverrun, "erro de sobreposi\xE7\xE3o"},
      {ceRxOver, "buffer de recep\xE7\xE3o cheio"},
      {ceIO, "erro de E/S"},
      {ceMode, "modo inv\xE1lido"},
      {ceTxFull, "buffer de transmiss\xE3o cheio"},
  };
  std::vector<std::string> marks;
  for (const auto& [error, text] : kOrder)
    if (errors.Contains(error)) marks.push_back(Framed(text, time_of_day, true));
  return marks;
}

const char* SignalName(cport::LineSignal signal) {
  switch (signal) {
    case cport::LineSignal::lsCTS:
      return "CTS";
    case cport::LineSignal::lsDSR:
      return "DSR";
    case cport::LineSignal::lsRing:
      return "RING";
    case cport::LineSignal::lsRLSD:
      return "RLSD";
  }
  return "?";
}

std::string SignalMark(cport::LineSignal signal, bool on, double time_of_day) {
  return Framed(std::string(SignalName(signal)) + (on ? " ativo" : " inativo"), time_of_day, true);
}

}  // namespace monitor
