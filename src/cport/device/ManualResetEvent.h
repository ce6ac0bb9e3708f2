#pragma once
// A manual-reset event of the operating system (an eventfd on Linux, an event
// object on Windows): once set it stays set until reset. It is the stop signal
// of ComDevice::WaitForLineEvents, so that stopping a worker is one Set.
//
// Threads: Set, Reset, IsSet and the waits may be called from any thread at
// once. Lifecycle: created unset; construction never throws; when the system
// refuses the handle, Error() says why and the event is never set.
#include <chrono>
#include <initializer_list>
#include <system_error>

namespace cport::device {

class ManualResetEvent {
 public:
#ifdef _WIN32
  using NativeHandle = void*;
#else
  using NativeHandle = int;  // the eventfd; readable while set
#endif

  ManualResetEvent() noexcept;
  ~ManualResetEvent();
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  std::error_code Error() const noexcept { return error_; }
  void Set() noexcept;
  void Reset() noexcept;
  bool IsSet() const noexcept;
  NativeHandle Handle() const noexcept { return handle_; }

 private:
  NativeHandle handle_;
  std::error_code error_;
};

// Blocks until one of `events` is set or `timeout` has passed (a negative
// timeout waits without limit). `which` receives the index of a set event, or
// -1 on timeout. Fails only when the system's wait fails.
std::error_code WaitForAnyEvent(std::initializer_list<const ManualResetEvent*> events,
                                std::chrono::milliseconds timeout, int& which) noexcept;

}  // namespace cport::device
