#pragma once
// The platform's error code for a number the system reported (errno on POSIX,
// GetLastError on Windows), in the category whose conditions the component
// compares against (std::errc): an EComPort carries only the number, and this
// turns it back into something that can be asked "was the device gone?".
#include <system_error>

namespace cport::device {

std::error_code SystemError(int value) noexcept;

}  // namespace cport::device
