#pragma once
// The port at a glance, as the window's status panel shows it:
// "ttyUSB0 9600 8N1" (device name, speed, data bits, parity letter, stop
// bits), or "desconectada" while the port is closed.
#include <string>

#include "cport/port/ComPort.h"

namespace monitor {

std::string PortSummary(const cport::TCustomComPort& port);

}  // namespace monitor
