#pragma once
// How Linux lists serial ports: from the tty class directory of sysfs
// (/sys/class/tty), without opening any device. An entry is a serial port
// when its `device` link leads to a device bound to a driver, and, for a
// port of the kernel's serial core (an entry with a `type` attribute: ttyS,
// ttyAMA and the like), when the driver found a UART there (type is not 0,
// PORT_UNKNOWN). That keeps USB adapters (ttyUSB), ACM modems (ttyACM) and
// the on-board UARTs that exist, and leaves out virtual consoles, ptys, the
// placeholder ttyS ports the 8250 driver registers without hardware, and
// devices whose driver has gone.
//
// The name is the entry's name, which is the node's name under /dev; sysfs
// writes a "/" in a node name as "!", so "!" becomes "/" again.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace cport::device {

// Appends nothing and returns the error when `tty_class_dir` cannot be read
// (missing, not a directory, unreadable) or an entry's `type` cannot be read
// for a reason other than the entry having gone meanwhile (an adapter
// unplugged during the listing simply drops out). `names` changes only on
// success, and then holds exactly the ports found.
std::error_code ListTtyClassSerialPorts(const std::filesystem::path& tty_class_dir,
                                        std::vector<std::string>& names) noexcept;

// Adds to `names` the links of `by_id_dir` (udev's /dev/serial/by-id) that
// lead to one of the ports in `names`, as full paths: a link's name holds the
// adapter's maker, model and serial number, and it follows the adapter to
// whatever ttyUSB number it gets next. A missing or unreadable directory
// (no USB adapter plugged in) adds nothing.
void AddStableLinks(const std::filesystem::path& by_id_dir,
                    std::vector<std::string>& names) noexcept;

}  // namespace cport::device
