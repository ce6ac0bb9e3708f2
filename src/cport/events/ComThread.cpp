#include "cport/events/ComThread.h"

#include <array>
#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "cport/device/SystemError.h"
#include "cport/errors/ComError.h"
#include "cport/port/ComPort.h"
#include "cport/events/EventMask.h"
#include "cport/errors/ExceptionReport.h"
#include "cport/device/LineFlags.h"

namespace cport {
namespace {

using enum TComEvent;

// Errors first, so that a handler sees the line's faults before the bytes
// they spoiled; the rest in the order the line events were defined.
constexpr std::array<TComEvent, 10> kRaiseOrder = {
    evError, evRxChar, evTxEmpty, evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full};

// Whether a handler failed because the device itself went away, rather than
// for a reason the next event may not share.
bool DeviceGone(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EComPort& e) {
    if (e.SystemErrorCode() <= 0) return false;
    const std::error_code code = device::SystemError(e.SystemErrorCode());
    return code == std::errc::io_error || code == std::errc::no_such_device_or_address ||
           code == std::errc::no_such_device;
  } catch (...) {
    return false;
  }
}

// The monitor whose worker is the calling thread, if any.
thread_local const TComThread* t_ownMonitor = nullptr;

}  // namespace

// What the worker shares with the calls it places on the user-interface
// thread. Posted calls may run after the monitor is gone; they keep this
// alive and look at `alive` before touching the port.
struct TComThread::Link : std::enable_shared_from_this<Link> {
  Link(TCustomComPort& port, UiDispatcher* dispatcher) : port(port), dispatcher(dispatcher) {}

  // Sorts out an exception that left a handler: a gone device ends the
  // delivery (false), anything else is reported and delivery goes on.
  bool HandlerFailed(std::exception_ptr error) {
    if (DeviceGone(error)) {
      LoseDevice(std::move(error));
      return false;
    }
    Report(std::move(error));
    return true;
  }

  void Report(std::exception_ptr error) {
    if (!dispatcher) {
      ReportToApplication(error);
      return;
    }
    // Handed on, not shared: the exception then lives on one thread at a time.
    dispatcher->Post([error = std::move(error)] { ReportToApplication(error); });
  }

  // Once per open: later failures of the same loss say nothing new.
  void LoseDevice(std::exception_ptr error) {
    if (lost.exchange(true)) return;
    if (!dispatcher) {
      ReportToApplication(error);
      return;
    }
    // Closed from the event loop rather than from here: this may run inside
    // a delivery, and closing waits for the worker that is delivering. Closed
    // first and reported after, so that the operator reads the message with
    // the window already showing the port closed.
    dispatcher->Post([self = shared_from_this(), error = std::move(error)] {
      if (!self->alive) return;  // closed (and maybe reopened) meanwhile
      try {
        self->port.CloseLostDevice();
      } catch (...) {
        ReportToApplication(std::current_exception());
      }
      ReportToApplication(error);
    });
  }

  // A handler asked for a close: carried out from the event loop, once the
  // delivery under way has returned (the worker may be waiting for it).
  void PostDeferredRequest() {
    dispatcher->Post([self = shared_from_this()] {
      if (self->alive) self->port.RunDeferredRequest();
    });
  }

  TCustomComPort& port;
  UiDispatcher* const dispatcher;
  std::atomic<bool> alive{true};  // false once the monitor is destroyed
  std::atomic<bool> lost{false};
};

TComThread::TComThread(TCustomComPort& Port, UiDispatcher* Dispatcher)
    : port_(Port),
      dispatcher_(Dispatcher),
      syncMethod_(Port.SyncMethod()),
      link_(std::make_shared<Link>(Port, Dispatcher)) {
  if (!dispatcher_ && syncMethod_ != TSyncMethod::smNone) {
    const char* mode = syncMethod_ == TSyncMethod::smThreadSync ? "smThreadSync" : "smWindowSync";
    throw EComPort(PortError::WaitForEventFailed,
                   std::string("no UiDispatcher is installed to deliver line events in ") + mode +
                       " mode; install one (cport::InstallQtUiDispatcher, or a UiCallQueue the "
                       "program drains) or use smNone");
  }
  if (const std::error_code error = stop_.Error()) {
    throw EComPort(PortError::WaitForEventFailed, error.value());
  }
  mask_ = EventsToMask(Port.Events());
  (void)port_.Device().SetEventMask(mask_);
  try {
    worker_ = std::thread([this] { Execute(); });
  } catch (const std::system_error& error) {
    throw EComPort(PortError::WaitForEventFailed, error.code().value());
  }
}

TComThread::~TComThread() {
  RequestStop();
  link_->alive = false;
  if (dispatcher_ && dispatcher_->IsUiThread()) {
    dispatcher_->ServeUntil([this] { return finished_.load(); });
  }
  if (worker_.joinable()) worker_.join();
}

void TComThread::RequestStop() noexcept {
  stop_.Set();
  stopSource_.request_stop();
  std::this_thread::yield();
}

bool TComThread::OnOwnWorker() const noexcept { return t_ownMonitor == this; }

void TComThread::StopFromOwnWorker() noexcept {
  stoppedOnWorker_ = true;
  link_->alive = false;
  RequestStop();
  // What the worker does when it leaves, done now: the device closes next.
  ReleaseLine();
}

void TComThread::Execute() {
  t_ownMonitor = this;
  device::ComDevice& device = port_.Device();
  if (mask_ == 0) {
    // Events named nothing the device knows (bits beyond the table): there
    // is no line event to wait for, only the stop.
    int which = -1;
    (void)device::WaitForAnyEvent({&stop_}, std::chrono::milliseconds(-1), which);
  }
  while (mask_ != 0) {
    if (inFlight_) {
      // The batch handed over may still be handled, and the next wait starts
      // only after it. Sleeping until the line has news rather than until the
      // batch is done saves the worker a wake-up per batch: by the time the
      // next bytes come, the user-interface thread has usually handled it.
      device.WaitForLineNews(stop_);
      if (!FinishBatch()) break;
    }
    std::uint32_t occurred = 0;
    const std::error_code error = device.WaitForLineEvents(stop_, occurred);
    if (stopSource_.stop_requested()) break;
    if (error) {
      // A cancelled wait is the stop event; every other failure means the
      // line cannot be watched any more. So is a cancellation nobody asked
      // for: Windows ends an event wait that way when the driver gives up.
      if (error == std::errc::operation_canceled && stop_.IsSet()) break;
      link_->LoseDevice(
          std::make_exception_ptr(EComPort(PortError::WaitForEventFailed, error.value())));
      break;
    }
    if (!DispatchEvents(MaskToEvents(occurred))) break;
    if (syncMethod_ == TSyncMethod::smNone && port_.HasDeferredRequest()) {
      // There is no other thread to hand the close to: it runs here, and
      // stops this monitor through StopFromOwnWorker. A close that fails
      // (code 5) leaves the port open and watched.
      try {
        port_.RunDeferredRequest();
      } catch (...) {
        link_->Report(std::current_exception());
      }
      if (stoppedOnWorker_) break;
    }
  }
  // Waited for (or withdrawn) before the worker ends: it refers to this monitor.
  if (inFlight_) (void)FinishBatch();
  if (!stoppedOnWorker_) ReleaseLine();
  finished_ = true;
  if (dispatcher_) dispatcher_->Notify();
}

void TComThread::ReleaseLine() noexcept {
  device::ComDevice& device = port_.Device();
  // Clearing the mask also ends a wait another thread might have started;
  // received bytes still queued are discarded with the monitor. Output the
  // driver has accepted is not: it still goes out (the device's close drains it).
  (void)device.SetEventMask(0);
  (void)device.Purge(device::kPurgeRxClear);
}

bool TComThread::DispatchEvents(TComEvents Batch) {
  if (Batch.Empty()) return true;
  Failures failures;
  switch (syncMethod_) {
    case TSyncMethod::smThreadSync:
      try {
        // FinishBatch waits for it before the next wait and before the worker
        // ends, so the monitor outlives the call.
        inFlight_ = dispatcher_->InvokeLater([this, Batch] { HandleBatch(Batch); },
                                             stopSource_.get_token());
      } catch (...) {
        failures.push_back(std::current_exception());
      }
      break;
    case TSyncMethod::smWindowSync:
      SendEventMessages(Batch);
      return true;
    case TSyncMethod::smNone:
      RaiseEvents(port_, Batch, failures);
      break;
  }
  bool goOn = true;
  for (auto& failure : failures) goOn = link_->HandlerFailed(std::move(failure)) && goOn;
  return goOn;
}

void TComThread::HandleBatch(TComEvents Batch) {
  Failures failures;
  RaiseEvents(port_, Batch, failures);
  if (port_.HasDeferredRequest()) link_->PostDeferredRequest();
  // Sorted out here, not on the worker, which may sleep until the line's next
  // news: a report must not wait for the next byte. A gone device ends the
  // delivery through the link (FinishBatch looks at it).
  for (auto& failure : failures) (void)link_->HandlerFailed(std::move(failure));
}

bool TComThread::FinishBatch() {
  const UiDispatcher::InvokeTicket batch = std::exchange(inFlight_, nullptr);
  try {
    (void)dispatcher_->AwaitInvoked(batch);
  } catch (...) {
    if (!link_->HandlerFailed(std::current_exception())) return false;
  }
  return !link_->lost;
}

void TComThread::SendEventMessages(TComEvents Batch) {
  for (const TComEvent event : kRaiseOrder) {
    if (!Batch.Contains(event)) continue;
    const auto message = static_cast<std::uint32_t>(EnumNumber(kComEventTable, event));
    // The message carries the event by value: nothing of this frame is
    // needed once it has been answered.
    const bool taken = dispatcher_->Send(
        [link = link_, message] { HandleEventMessage(*link, message); }, stopSource_.get_token());
    if (!taken) return;  // stopping
  }
}

void TComThread::HandleEventMessage(Link& link, std::uint32_t Message) {
  // A close already asked for by a handler: nothing more of this open.
  if (!link.alive || !link.port.Connected() || link.port.HasDeferredRequest()) return;
  for (const auto& row : kComEventTable) {
    if (static_cast<std::uint32_t>(row.number) != Message) continue;
    try {
      const TCustomComPort::HandlerScope scope(link.port);
      RaiseLineEvent(link.port, row.value);
    } catch (...) {
      link.HandlerFailed(std::current_exception());
    }
    if (link.port.HasDeferredRequest()) link.PostDeferredRequest();
    return;
  }
}

void TComThread::RaiseEvents(TCustomComPort& Port, TComEvents Batch, Failures& failures) {
  for (const TComEvent event : kRaiseOrder) {
    if (!Batch.Contains(event)) continue;
    // A handler asked for a close: the rest of the batch belongs to an open
    // that is ending.
    if (Port.HasDeferredRequest()) break;
    try {
      const TCustomComPort::HandlerScope scope(Port);
      RaiseLineEvent(Port, event);
    } catch (...) {
      failures.push_back(std::current_exception());
    }
  }
}

void TComThread::RaiseLineEvent(TCustomComPort& Port, TComEvent Event) {
  // Each query is made whether or not a handler is assigned: it also clears
  // what it reads (the line errors, for one).
  switch (Event) {
    case evRxChar:
      if (const std::int32_t count = Port.BytesWaiting(); count > 0) Port.DoRxChar(count);
      break;
    case evTxEmpty:
      Port.DoTxEmpty();
      break;
    case evRxFlag:
      Port.DoRxFlag();
      break;
    case evRing:
      Port.DoRing();
      break;
    case evBreak:
      Port.DoBreak();
      break;
    case evCTS:
      Port.DoCTSChange(Port.ModemSignals().Contains(LineSignal::lsCTS));
      break;
    case evDSR:
      Port.DoDSRChange(Port.ModemSignals().Contains(LineSignal::lsDSR));
      break;
    case evError:
      if (const TComErrors errors = Port.TakeLineErrors(); !errors.Empty()) Port.DoError(errors);
      break;
    case evRLSD:
      Port.DoRLSDChange(Port.ModemSignals().Contains(LineSignal::lsRLSD));
      break;
    case evRx80Full:
      Port.DoRx80Full();
      break;
  }
}

EventMonitorFactory DefaultEventMonitorFactory() {
  return [](TCustomComPort& Port) -> std::unique_ptr<EventMonitor> {
    // Without a user-interface thread to deliver on, only smNone can run;
    // the monitor refuses the other modes, so that the open fails rather
    // than leave a port that looks watched and never delivers.
    return std::make_unique<TComThread>(Port, CurrentUiDispatcher());
  };
}

}  // namespace cport
