#pragma once
// How the port component reaches the user-interface thread: the thread that
// opens and closes ports and, in the smThreadSync and smWindowSync modes,
// runs their line-event handlers. The component has no event loop of its
// own; the host implements this interface (the program with Qt, tests by
// hand) and installs one dispatcher at start-up, before any port opens.
// UiCallQueue.h holds the thread-side mechanics; a host adds only the wake-up
// of its event loop.
//
// Which dispatcher: a Qt program installs cport::InstallQtUiDispatcher()
// (cport/qt/QtUiDispatcher.h, the cport::qt library). A program without an
// event loop has two ways to receive line events:
//  - smNone: the handlers run on the port's event worker; no dispatcher is
//    needed. They must then not touch what the program's thread touches
//    without a lock of the program's own.
//  - a dispatcher it pumps: derive from UiCallQueue, make WakeUiThread signal
//    the program's thread (a condition variable, an eventfd it polls beside
//    its other descriptors), and have that thread call Drain() when woken.
//    The handlers of smThreadSync and smWindowSync ports then run inside
//    Drain, on the thread that constructed the queue and opens the ports.
// Opening a port with events in smThreadSync or smWindowSync while no
// dispatcher is installed fails (EComPort 21).
//
// Lifecycle: the installed dispatcher must outlive every port that opened
// while it was installed.
#include <functional>
#include <memory>
#include <stop_token>

namespace cport {

class UiDispatcher {
 public:
  virtual ~UiDispatcher() = default;

  // True on the user-interface thread.
  virtual bool IsUiThread() const noexcept = 0;

  // Any thread. Runs `call` on the user-interface thread and returns once it
  // has returned; what it throws is rethrown here. On the user-interface
  // thread itself the call runs at once. A call is withdrawn, never runs and
  // Invoke returns false when `abandon` is requested before the
  // user-interface thread has taken it (a call already taken is waited for),
  // so that a worker blocked here can always be stopped. True when it ran.
  virtual bool Invoke(std::function<void()> call, std::stop_token abandon) = 0;

  // Any thread. Invoke in two halves, for a caller that has something else to
  // wait for meanwhile: InvokeLater queues `call` as Invoke does and returns
  // at once (on the user-interface thread the call runs at once);
  // AwaitInvoked then waits for it exactly as Invoke waits, withdrawing it
  // when `abandon` is requested before the user-interface thread took it, and
  // returns what Invoke would have returned (rethrowing what the call threw).
  // The thread that queued a call awaits it once, before anything the call
  // refers to goes away.
  // A dispatcher that implements only Invoke keeps working: these defaults
  // run Invoke at once in InvokeLater and hand its outcome to AwaitInvoked.
  using InvokeTicket = std::shared_ptr<void>;
  virtual InvokeTicket InvokeLater(std::function<void()> call, std::stop_token abandon);
  virtual bool AwaitInvoked(const InvokeTicket& ticket);

  // Any thread. Like Invoke, except that it returns as soon as the
  // user-interface thread has taken the call, before the call runs. What the
  // call throws goes to the application's exception report.
  virtual bool Send(std::function<void()> call, std::stop_token abandon) = 0;

  // Any thread. Queues `call` for a later pass of the user-interface thread's
  // event loop and returns at once. Posted calls run in the order posted, and
  // never inside ServeUntil. What a call throws goes to the application's
  // exception report.
  virtual void Post(std::function<void()> call) = 0;

  // User-interface thread. Runs the Invoke and Send calls that are or become
  // due, and nothing else (no posted call, no input, no timer), until `done`
  // returns true. `done` is asked on entry, after each call and after each
  // Notify. The close path waits for a worker this way.
  virtual void ServeUntil(const std::function<bool()>& done) = 0;

  // Any thread. Makes a running ServeUntil ask its `done` again.
  virtual void Notify() noexcept = 0;
};

// The dispatcher of this process, or null when the host installed none.
UiDispatcher* CurrentUiDispatcher() noexcept;

// Installs `dispatcher` (null removes it) and returns the one it replaces.
UiDispatcher* SetUiDispatcher(UiDispatcher* dispatcher) noexcept;

}  // namespace cport
