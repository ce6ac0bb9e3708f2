#include "cport/storage/FileBytes.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace cport {
namespace {

// The file closed with its reader.
class Win32Handle {
 public:
  explicit Win32Handle(HANDLE handle) : handle_(handle) {}
  Win32Handle(const Win32Handle&) = delete;
  Win32Handle& operator=(const Win32Handle&) = delete;
  ~Win32Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::error_code LastError() {
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

}  // namespace

std::error_code ReadWholeFile(const std::filesystem::path& file, std::size_t limit,
                              std::string& bytes) {
  bytes.clear();
  // A directory opens only with backup semantics, and then says what it is
  // in the attributes; without them the open would fail as "Access denied".
  const Win32Handle handle(::CreateFileW(file.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                         nullptr));
  if (!handle.valid()) return LastError();
  BY_HANDLE_FILE_INFORMATION info{};
  // A named pipe or a COM port opens too, and must not be waited on.
  if (::GetFileType(handle.get()) != FILE_TYPE_DISK) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  if (!::GetFileInformationByHandle(handle.get(), &info)) return LastError();
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return std::make_error_code(std::errc::is_a_directory);
  }
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  if (size > limit) return std::make_error_code(std::errc::file_too_large);
  bytes.resize(static_cast<std::size_t>(size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      // The file grew while being read: go on up to the limit.
      if (bytes.size() > limit) {
        bytes.clear();
        return std::make_error_code(std::errc::file_too_large);
      }
      bytes.resize(std::min(bytes.size() * 2, limit + 1));
    }
    const std::size_t want = std::min<std::size_t>(bytes.size() - filled, 1u << 30);
    DWORD got = 0;
    if (!::ReadFile(handle.get(), bytes.data() + filled, static_cast<DWORD>(want), &got,
                    nullptr)) {
      const std::error_code error = LastError();
      bytes.clear();
      return error;
    }
    if (got == 0) break;
    filled += got;
  }
  if (filled > limit) {
    bytes.clear();
    return std::make_error_code(std::errc::file_too_large);
  }
  bytes.resize(filled);
  return {};
}

}  // namespace cport
