#include "monitor/PortSummary.h"

#include "cport/port/ComEnums.h"
#include "cport/port/EnumTable.h"

namespace monitor {

std::string PortSummary(const cport::TCustomComPort& port) {
  if (!port.Connected()) return "desconectada";
  // The device's own name, as short as it stays unambiguous: "/dev/ttyUSB0"
  // is "ttyUSB0", but a pseudo-terminal keeps its folder ("pts/2", not a
  // bare "2"); a udev link or any other path is shown by its last part.
  std::string name = port.Port();
  if (name.starts_with("/dev/") && !name.starts_with("/dev/serial/")) {
    name.erase(0, 5);
  } else if (const auto slash = name.rfind('/'); slash != std::string::npos) {
    name.erase(0, slash + 1);
  }
  const std::int32_t baud = port.BaudRate() == cport::TBaudRate::brCustom
                                ? port.CustomBaudRate()
                                : cport::EnumNumber(cport::kBaudRateTable, port.BaudRate());
  static constexpr char kParity[] = {'N', 'O', 'E', 'M', 'S'};
  static constexpr const char* kStop[] = {"1", "1.5", "2"};
  return name + " " + std::to_string(baud) + " " +
         std::to_string(5 + static_cast<int>(port.DataBits())) +
         kParity[static_cast<int>(port.Parity().Bits())] + kStop[static_cast<int>(port.StopBits())];
}

}  // namespace monitor
