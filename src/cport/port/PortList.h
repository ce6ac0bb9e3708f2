#pragma once
// ListSerialPorts: the serial ports of the machine, for the setup dialog's
// port box.
//
// Threads: the thread that owns the ports (the user-interface thread); the
// name source below is process-wide state of that thread.
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace cport {

// Replaces Target's contents with the machine's serial ports, named as
// SetPort takes them ("ttyS0", "ttyUSB0"; "COM1" on Windows), sorted as text
// ignoring case: COM1, COM10, COM2. When the system's list cannot be read it
// raises EComPort 23 ("Registry error") with the system's error code and
// leaves Target as it was.
void ListSerialPorts(std::vector<std::string>& Target);

// Where ListSerialPorts takes its names from: fills `names` (in any order)
// or returns the system's error. By default the device layer's list of this
// platform (device/SerialPortList.h).
using PortNameSource = std::function<std::error_code(std::vector<std::string>& names)>;

// Replaces the source and returns the previous one; an empty function brings
// back the system's list. Tests use it to feed names or a failure.
PortNameSource SetPortNameSource(PortNameSource Source);

}  // namespace cport
