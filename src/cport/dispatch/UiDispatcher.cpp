#include "cport/dispatch/UiDispatcher.h"

#include <atomic>
#include <exception>
#include <memory>
#include <utility>

namespace cport {
namespace {

// Atomic only so that a port opened on a worker of the host's own (smNone
// delivery) reads it cleanly; it is set at start-up.
std::atomic<UiDispatcher*> g_dispatcher{nullptr};

// What the default InvokeLater ran, for AwaitInvoked.
struct InvokeOutcome {
  bool ran = false;
  std::exception_ptr error;
};

}  // namespace

UiDispatcher::InvokeTicket UiDispatcher::InvokeLater(std::function<void()> call,
                                                     std::stop_token abandon) {
  auto outcome = std::make_shared<InvokeOutcome>();
  try {
    outcome->ran = Invoke(std::move(call), std::move(abandon));
  } catch (...) {
    outcome->error = std::current_exception();
  }
  return outcome;
}

bool UiDispatcher::AwaitInvoked(const InvokeTicket& ticket) {
  const auto outcome = std::static_pointer_cast<InvokeOutcome>(ticket);
  if (outcome->error) std::rethrow_exception(outcome->error);
  return outcome->ran;
}

UiDispatcher* CurrentUiDispatcher() noexcept { return g_dispatcher.load(); }

UiDispatcher* SetUiDispatcher(UiDispatcher* dispatcher) noexcept {
  return g_dispatcher.exchange(dispatcher);
}

}  // namespace cport
