// The Windows error codes the comm driver gives, as the component asks about
// them: a cancelled wait, a vanished adapter, a busy port.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "cport/device/SystemError.h"
#include "cport/device/win32/Win32Error.h"

namespace cport::device {
namespace {

TEST(Win32Error, TheComponentsConditionsReadTheSameAsOnPosix) {
  EXPECT_EQ(Win32Error(ERROR_OPERATION_ABORTED), std::errc::operation_canceled);
  for (DWORD gone : {ERROR_DEVICE_NOT_CONNECTED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE}) {
    EXPECT_EQ(Win32Error(gone), std::errc::no_such_device) << gone;
  }
  EXPECT_EQ(Win32Error(ERROR_IO_DEVICE), std::errc::io_error);
  EXPECT_EQ(Win32Error(ERROR_FILE_NOT_FOUND), std::errc::no_such_file_or_directory);
  EXPECT_EQ(Win32Error(ERROR_ACCESS_DENIED), std::errc::permission_denied);
  EXPECT_NE(Win32Error(ERROR_ACCESS_DENIED), std::errc::operation_canceled);
}

TEST(Win32Error, KeepsTheSystemsNumberAndWords) {
  // EComPort carries only the number: SystemError turns it back into a code
  // with the same conditions.
  const std::error_code back = SystemError(static_cast<int>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(back.value(), 995);
  EXPECT_EQ(back, std::errc::operation_canceled);
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  const std::error_code last = LastWin32Error();
  EXPECT_EQ(last.value(), 2);
  EXPECT_FALSE(last.message().empty());
  EXPECT_NE(last.message().back(), '\n');
  // A code the table does not know stays itself, equal to no errc.
  EXPECT_EQ(Win32Error(0xDEAD).default_error_condition().category(), Win32Category());
}

}  // namespace
}  // namespace cport::device
