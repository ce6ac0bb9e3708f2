#include "cport/UiDispatcher.h"

#include <atomic>

namespace cport {
namespace {

// Atomic only so that a port opened on a worker of the host's own (smNone
// delivery) reads it cleanly; it is set at start-up.
std::atomic<UiDispatcher*> g_dispatcher{nullptr};

}  // namespace

UiDispatcher* CurrentUiDispatcher() noexcept { return g_dispatcher.load(); }

UiDispatcher* SetUiDispatcher(UiDispatcher* dispatcher) noexcept {
  return g_dispatcher.exchange(dispatcher);
}

}  // namespace cport
