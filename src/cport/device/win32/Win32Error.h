#pragma once
// Windows error codes (GetLastError) as std::error_code. The category maps
// the codes the serial driver and the file system give to std::errc, so that
// the component's checks ("cancelled", "device gone", "busy") read the same on
// every platform; the value stays the system's own number, which EComPort
// carries and its message shows. Only the device layer includes this.
#include <cstdint>
#include <system_error>

namespace cport::device {

const std::error_category& Win32Category() noexcept;

inline std::error_code Win32Error(std::uint32_t code) noexcept {
  return {static_cast<int>(code), Win32Category()};
}

// GetLastError() of the calling thread as an error code.
std::error_code LastWin32Error() noexcept;

}  // namespace cport::device
