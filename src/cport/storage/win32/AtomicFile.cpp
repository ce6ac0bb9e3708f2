#include "cport/storage/AtomicFile.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <string>
#include <system_error>

namespace cport {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void Fail(DWORD error, const char* what, const fs::path& file) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          std::string(what) + " \"" + file.string() + "\"");
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

AtomicFile::AtomicFile(const fs::path& target) : target_(target), resolved_(target) {
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path real = fs::weakly_canonical(target, ec);
    if (!ec) resolved_ = std::move(real);
  }
  const DWORD attributes = ::GetFileAttributesW(resolved_.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Fail(ERROR_ACCESS_DENIED, "Cannot create file", target_);
  }
  // ReplaceFileW refuses a read-only target only after the new file was
  // made; say so before, as opening the target for writing would.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
    Fail(ERROR_ACCESS_DENIED, "Cannot create file", target_);
  }

  // The new file lies in the target's directory: a file is replaced as one
  // step only within one volume. CREATE_NEW with a fresh name never opens a
  // file someone else placed there.
  const fs::path dir = resolved_.has_parent_path() ? resolved_.parent_path() : fs::path(".");
  const std::wstring base =
      L"." + resolved_.filename().wstring() + L"." + std::to_wstring(::GetCurrentProcessId());
  for (unsigned attempt = 0; handle_ == -1; ++attempt) {
    temporary_ = dir / (base + L"-" + std::to_wstring(attempt) + L".tmp");
    const HANDLE made = ::CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(made);
      break;
    }
    const DWORD error = ::GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      Fail(error, "Cannot create file", target_);
    }
  }
}

AtomicFile::~AtomicFile() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
  if (!committed_) ::DeleteFileW(temporary_.c_str());
}

void AtomicFile::Write(std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle_), data.data(), chunk, &written, nullptr)) {
      Fail(::GetLastError(), "Cannot write file", target_);
    }
    data.remove_prefix(written);
  }
}

void AtomicFile::Commit() {
  // The data are on the disk before the new file takes the target's place:
  // a crash between the two must not leave an empty target.
  if (!::FlushFileBuffers(AsHandle(handle_))) Fail(::GetLastError(), "Cannot write file", target_);
  const HANDLE handle = AsHandle(handle_);
  handle_ = -1;
  if (!::CloseHandle(handle)) Fail(::GetLastError(), "Cannot write file", target_);
  // ReplaceFileW keeps the target's attributes, security and alternate
  // streams, as the POSIX side keeps owner and mode. A failure before the
  // swap (ERROR_UNABLE_TO_REMOVE_REPLACED) leaves the target as it was; the
  // one after it without a backup name (ERROR_UNABLE_TO_MOVE_REPLACEMENT)
  // also leaves the target under its own name.
  const DWORD attributes = ::GetFileAttributesW(resolved_.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // ReplaceFileW is documented to carry the attributes over; Wine's does
  // not, so the new file is given them first (the same on Windows).
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (exists && (attributes & kKept) != 0) {
    ::SetFileAttributesW(temporary_.c_str(), attributes & kKept);
  }
  const BOOL replaced =
      exists ? ::ReplaceFileW(resolved_.c_str(), temporary_.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
             : ::MoveFileExW(temporary_.c_str(), resolved_.c_str(), MOVEFILE_WRITE_THROUGH);
  if (!replaced) Fail(::GetLastError(), "Cannot replace file", target_);
  committed_ = true;
}

}  // namespace cport
