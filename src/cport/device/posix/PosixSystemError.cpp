#include "cport/device/SystemError.h"

namespace cport::device {

// errno values: the system category maps them to std::errc as they are.
std::error_code SystemError(int value) noexcept { return {value, std::system_category()}; }

}  // namespace cport::device
