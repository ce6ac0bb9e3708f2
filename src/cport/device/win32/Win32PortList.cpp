#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "cport/device/SerialPortList.h"
#include "cport/device/win32/Win32Error.h"

namespace cport::device {

// The serial drivers list their ports under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// one value per port: the value's name is the driver's device
// ("\Device\Serial0"), its data the port's name ("COM1"). A machine without serial
// ports has no such key at all, which is an empty list, not a failure.
std::error_code ListSystemSerialPorts(std::vector<std::string>& names) noexcept {
  HKEY key = nullptr;
  LONG r = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
  if (r == ERROR_FILE_NOT_FOUND) return {};
  if (r != ERROR_SUCCESS) return Win32Error(static_cast<std::uint32_t>(r));
  std::vector<std::string> found;
  try {
    for (DWORD index = 0;; ++index) {
      char valueName[256];
      DWORD valueNameSize = sizeof valueName;
      BYTE data[256];
      DWORD dataSize = sizeof data - 1;
      DWORD type = 0;
      r = ::RegEnumValueA(key, index, valueName, &valueNameSize, nullptr, &type, data, &dataSize);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r == ERROR_MORE_DATA) continue;  // no port name is that long
      if (r != ERROR_SUCCESS) break;
      if (type != REG_SZ || dataSize == 0) continue;
      // REG_SZ data may or may not hold its terminating NUL.
      std::string name(reinterpret_cast<const char*>(data), dataSize);
      while (!name.empty() && name.back() == '\0') name.pop_back();
      if (!name.empty()) found.push_back(std::move(name));
    }
  } catch (...) {
    r = ERROR_NOT_ENOUGH_MEMORY;
  }
  ::RegCloseKey(key);
  if (r != ERROR_SUCCESS && r != ERROR_NO_MORE_ITEMS) return Win32Error(static_cast<std::uint32_t>(r));
  names = std::move(found);
  return {};
}

}  // namespace cport::device
