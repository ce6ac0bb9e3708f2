#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>

#include "cport/device/SystemError.h"
#include "cport/device/win32/Win32Error.h"

namespace cport::device {
namespace {

class Win32ErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "win32"; }

  std::string message(int code) const override {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n ? std::string(text, n) : "Windows error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
      result.pop_back();
    return result;
  }

  std::error_condition default_error_condition(int code) const noexcept override {
    switch (static_cast<DWORD>(code)) {
      case ERROR_OPERATION_ABORTED:
        return std::errc::operation_canceled;
      // A serial device that went away mid-use: a USB adapter pulled out
      // makes its driver fail every call with one of these.
      case ERROR_DEVICE_NOT_CONNECTED:
      case ERROR_DEVICE_REMOVED:
      case ERROR_BAD_COMMAND:
      case ERROR_GEN_FAILURE:
        return std::errc::no_such_device;
      case ERROR_IO_DEVICE:
      case ERROR_CRC:
        return std::errc::io_error;
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return std::errc::no_such_file_or_directory;
      case ERROR_ACCESS_DENIED:
        return std::errc::permission_denied;
      case ERROR_SHARING_VIOLATION:
      case ERROR_BUSY:
        return std::errc::device_or_resource_busy;
      case ERROR_INVALID_HANDLE:
        return std::errc::bad_file_descriptor;
      case ERROR_INVALID_PARAMETER:
      case ERROR_INVALID_FUNCTION:
        return std::errc::invalid_argument;
      case ERROR_NOT_ENOUGH_MEMORY:
      case ERROR_OUTOFMEMORY:
        return std::errc::not_enough_memory;
      case ERROR_SEM_TIMEOUT:
        return std::errc::timed_out;
      case ERROR_NOT_SUPPORTED:
        return std::errc::not_supported;
      default:
        return {code, *this};
    }
  }
};

}  // namespace

const std::error_category& Win32Category() noexcept {
  static const Win32ErrorCategory category;
  return category;
}

std::error_code LastWin32Error() noexcept { return Win32Error(::GetLastError()); }

std::error_code SystemError(int value) noexcept { return Win32Error(static_cast<std::uint32_t>(value)); }

}  // namespace cport::device
