#pragma once
// TComThread: the event monitor of an open port (EventMonitor.h). Its worker
// sleeps in the device's wait for line events, which the stop event also
// ends; it never polls. Each completed wait becomes a batch of TComEvent
// values, handed to the port's handlers as the port's SyncMethod says:
//   smThreadSync  the handlers run on the user-interface thread
//                 (UiDispatcher::InvokeLater, then AwaitInvoked) while the
//                 worker waits; the next wait starts once the batch has been
//                 handled. Meanwhile the worker sleeps until the line has news
//                 (ComDevice::WaitForLineNews), so that a batch handled before
//                 the next bytes arrive costs it one wake-up, not two.
//   smWindowSync  one message per event; each is answered as soon as the
//                 user-interface thread takes it (UiDispatcher::Send), and its
//                 handler then runs there. Handlers run one at a time in batch
//                 order, and none while the port is not Connected.
//   smNone        the handlers run on the worker and must not touch the user
//                 interface.
// A batch runs its handlers in this order: evError, evRxChar, evTxEmpty,
// evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full. evRxChar asks
// BytesWaiting and raises OnRxChar only for a count above 0; evError takes
// the line errors and raises OnError only for a non-empty set; evCTS, evDSR
// and evRLSD ask ModemSignals and raise the state of their line at that
// moment; the others raise their event. A wait that ends without events (the
// mask changed) runs nothing.
//
// Failures. An exception that leaves a handler goes to the application's
// exception report, on the user-interface thread (posted there, so that a
// message box never opens inside a delivery), and delivery goes on with the
// next handler. When the device is gone (the event wait fails, or a handler
// fails with the system's "device gone" error: EIO, ENXIO, ENODEV) the
// monitor stops delivering, reports that error once, and the port closes
// itself on the user-interface thread with its whole close sequence
// (OnAfterClose included); a later OpenPort starts afresh. Without a
// dispatcher (smNone on a host that has none) the loss is reported on the
// worker and the port stays open without events until it is closed.
//
// Threads and lifecycle: created by the port's open and destroyed by its
// close, both on the thread that opened the port. Destruction signals the
// stop event and waits for the worker; on the user-interface thread it keeps
// serving the dispatcher's Invoke and Send calls meanwhile, and a stopping
// worker withdraws the calls it has not yet had taken, so the wait always
// ends. A close asked for inside a handler runs once the handler has
// returned (ComPort.h): posted to the user-interface thread in smThreadSync
// and smWindowSync, on this worker in smNone, which then ends.
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

#include "cport/port/ComEnums.h"
#include "cport/events/EventMonitor.h"
#include "cport/dispatch/UiDispatcher.h"
#include "cport/device/ManualResetEvent.h"

namespace cport {

class TCustomComPort;

class TComThread final : public EventMonitor {
 public:
  // With the port open: sets the device's event mask from the port's Events
  // (a refusal is ignored: the wait then reports no events) and starts the
  // worker. `Dispatcher` reaches the user-interface thread and must outlive
  // the monitor; it may be null only when SyncMethod is smNone (EComPort 21
  // naming the missing dispatcher otherwise). EComPort 21 when the stop event
  // or the thread cannot be created.
  TComThread(TCustomComPort& Port, UiDispatcher* Dispatcher);
  ~TComThread() override;
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // Any thread: signals the stop event; the worker ends at its next look.
  void RequestStop() noexcept;

  bool OnOwnWorker() const noexcept override;
  void StopFromOwnWorker() noexcept override;

 private:
  struct Link;
  using Failures = std::vector<std::exception_ptr>;

  void Execute();
  // The worker's last steps on the device: clear the mask, drop the input.
  void ReleaseLine() noexcept;
  // False when the device was found gone and the worker must end.
  bool DispatchEvents(TComEvents Batch);
  // smThreadSync, on the user-interface thread: one batch, and what its
  // handlers threw.
  void HandleBatch(TComEvents Batch);
  // smThreadSync, on the worker: waits for the batch handed over last (or
  // withdraws it when stopping). False when the worker must end.
  bool FinishBatch();
  void SendEventMessages(TComEvents Batch);
  static void HandleEventMessage(Link& link, std::uint32_t Message);
  static void RaiseEvents(TCustomComPort& Port, TComEvents Batch, Failures& failures);
  static void RaiseLineEvent(TCustomComPort& Port, TComEvent Event);

  TCustomComPort& port_;
  UiDispatcher* const dispatcher_;
  // Fixed while the port is open (its setter refuses a change), so taken once
  // here rather than read across threads at every batch.
  const TSyncMethod syncMethod_;
  std::uint32_t mask_ = 0;
  std::shared_ptr<Link> link_;
  device::ManualResetEvent stop_;
  std::stop_source stopSource_;  // withdraws the worker's pending calls
  std::atomic<bool> finished_{false};
  bool stoppedOnWorker_ = false;  // worker only
  UiDispatcher::InvokeTicket inFlight_;  // worker only: the batch handed over last
  std::thread worker_;
};

}  // namespace cport
