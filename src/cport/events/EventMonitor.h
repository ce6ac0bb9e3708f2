#pragma once
// The port's view of its event monitor: the worker that waits for line
// events while the port is open and hands them to the port's handlers.
//
// The port creates one at open when its Events set is not empty, through the
// factory given to TCustomComPort::SetEventMonitorFactory (after the device
// is open and configured, on the opening thread), and destroys it at close
// before it closes the device. Destroying the monitor stops its worker and
// returns only after the worker has ended; it must not throw. The monitor
// also owns whatever its delivery mode needs (a hidden window for
// smWindowSync delivery), so that it goes away with it.
//
// A port starts with DefaultEventMonitorFactory(): a TComThread (ComThread.h)
// delivering through the installed UiDispatcher (UiDispatcher.h). Without a
// dispatcher it creates a monitor only for smNone delivery, which needs none;
// for smThreadSync and smWindowSync it throws EComPort 21 naming what is
// missing, and the port's open fails. Without a factory (or when it gives
// null) no monitor exists and no line events are delivered; the port still
// opens, closes and transfers normally. Whatever else a factory throws
// leaves OpenPort as EComPort 21 (TCustomComPort::OpenPort).
#include <functional>
#include <memory>

namespace cport {

class TCustomComPort;

class EventMonitor {
 public:
  virtual ~EventMonitor() = default;

  // True on the monitor's own worker thread. A close that a worker runs
  // itself (asked for by an smNone handler) cannot destroy that worker's
  // monitor, which would wait for the calling thread: it calls
  // StopFromOwnWorker instead and keeps the object until the worker has
  // ended.
  virtual bool OnOwnWorker() const noexcept { return false; }
  // On the own worker only: stop watching the line now, so that the close
  // can go on to close the device; the worker ends once the close has
  // returned to it, and touches neither the port nor the device after that.
  virtual void StopFromOwnWorker() noexcept {}
};

using EventMonitorFactory = std::function<std::unique_ptr<EventMonitor>(TCustomComPort& Port)>;

EventMonitorFactory DefaultEventMonitorFactory();

}  // namespace cport
