#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <vector>

#include "cport/device/ManualResetEvent.h"
#include "cport/device/win32/Win32Error.h"

namespace cport::device {

ManualResetEvent::ManualResetEvent() noexcept
    : handle_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!handle_) error_ = LastWin32Error();
}

ManualResetEvent::~ManualResetEvent() {
  if (handle_) ::CloseHandle(handle_);
}

void ManualResetEvent::Set() noexcept {
  if (handle_) ::SetEvent(handle_);
}

void ManualResetEvent::Reset() noexcept {
  if (handle_) ::ResetEvent(handle_);
}

bool ManualResetEvent::IsSet() const noexcept {
  return handle_ && ::WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
}

std::error_code WaitForAnyEvent(std::initializer_list<const ManualResetEvent*> events,
                                std::chrono::milliseconds timeout, int& which) noexcept {
  which = -1;
  std::vector<HANDLE> handles;
  handles.reserve(events.size());
  for (const ManualResetEvent* e : events) handles.push_back(e->Handle());
  // INFINITE is 0xFFFFFFFF; longer finite waits are cut just below it.
  const DWORD ms = timeout.count() < 0             ? INFINITE
                   : timeout.count() >= 0xFFFFFFFE ? 0xFFFFFFFE
                                                   : static_cast<DWORD>(timeout.count());
  const DWORD r =
      ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, ms);
  if (r == WAIT_FAILED) return LastWin32Error();
  if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + handles.size()) {
    which = static_cast<int>(r - WAIT_OBJECT_0);
  }
  return {};
}

}  // namespace cport::device
