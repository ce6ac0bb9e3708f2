#pragma once
// TCustomComPort / TComPort: one serial port of the machine and its settings.
//
// Threads: every member is called on the thread that owns the port (in the
// program, the user-interface thread): settings, OpenPort/ClosePort, the
// apply operations and the transfers. Only the event monitor (EventMonitor.h)
// runs elsewhere.
//
// Closing from a line-event handler: ClosePort, SetConnected(false), SetPort
// with a new name (close and reopen), and OpenPort after one of them, called
// from inside a handler of this port's line events (OnRxChar ... OnRx80Full),
// return at once without touching the device: the port records the request
// and carries it out right after the handler returns, with the whole close
// sequence and its events (and the open's, for a reopen). Until then
// Connected() stays true and the rest of the batch's handlers are skipped; a
// later request of the same handler replaces an earlier one. Where it runs:
//   smThreadSync, smWindowSync  on the user-interface thread, from its event
//                               loop (a call posted to the UiDispatcher)
//   smNone                      on the event monitor's worker, which then
//                               ends; the close events (and a reopen's open)
//                               run there too. The owning thread leaves the
//                               port alone from the handler's request until
//                               OnAfterClose has run (for a reopen, the
//                               open's OnRLSDChange); its next ClosePort,
//                               OpenPort or the destructor waits for that
//                               worker to end.
// In the two other modes a close or open from the owning thread before the
// event loop gets to the request cancels it.
//
// Lifecycle: closed -> OpenPort -> open -> ClosePort (or destruction) ->
// closed. One open and close raises OnBeforeOpen, OnAfterOpen, OnCTSChange,
// OnDSRChange, OnRLSDChange (the actual line states), then line events, then
// OnCTSChange, OnDSRChange, OnRLSDChange (all false), OnBeforeClose,
// OnAfterClose. A failed open leaves the port closed; a failed close (code 5)
// leaves it open.
//
// Subclasses: the base destructor closes an open port, but by then only the
// base class's hooks exist (C++ runs no override from a base destructor). A
// subclass that overrides a hook the close runs (DoBeforeClose, DoAfterClose,
// DoCTSChange, DoDSRChange, DoRLSDChange, CloseDevice) calls
// CloseOnDestruction() first thing in its own destructor, so that the close
// runs with its overrides while its members still exist.
//
// Settings: a scalar setter compares first and does nothing for an equal
// value; otherwise it stores the value and runs the apply operation of its
// group (line settings, timeouts or queue sizes). The object-valued setters
// (SetParity, SetFlowControl, SetBuffer, SetTimeouts) always copy and always
// apply. An apply operation reaches the device only when the port is
// connected, no settings batch is running and the component is neither
// loading nor designing; otherwise the value is only stored and is sent at
// the next open or at the end of the batch. An open always sends every
// setting before the event monitor starts and before any byte is read, also
// inside a batch (a reopen by SetPort, the setup dialog's). An apply that
// fails raises EComPort out of the setter; the new value stays stored.
//
// Errors: every failure is an EComPort (ComError.h). Exceptions of the
// caller's own event handlers pass through unchanged.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "cport/port/ComBuffer.h"
#include "cport/port/ComEnums.h"
#include "cport/port/ComFlowControl.h"
#include "cport/port/ComParity.h"
#include "cport/port/ComTimeouts.h"
#include "cport/port/Component.h"
#include "cport/port/FreeNotices.h"
#include "cport/events/EventMonitor.h"
#include "cport/port/TransferRequest.h"
#include "cport/device/ComDevice.h"

namespace cport {

class TCustomComPort;
class IniFile;
class Registry;

// The published event types; Sender is the port that raises the event.
using TNotifyEvent = std::function<void(TCustomComPort& Sender)>;
using TRxCharEvent = std::function<void(TCustomComPort& Sender, int Count)>;
using TRxBufEvent = std::function<void(TCustomComPort& Sender, const void* Buffer, int Count)>;
using TComSignalEvent = std::function<void(TCustomComPort& Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TCustomComPort& Sender, TComErrors Errors)>;

class TCustomComPort : public TComponent {
 public:
  // A closed port with the default settings: br9600 (CustomBaudRate 9600),
  // "COM1", one stop bit, eight data bits, no parity, no flow control, all
  // ten events, thread-synchronised delivery, settings group sgBasic.
  // Touches no device: the platform's device object is created closed.
  TCustomComPort();
  // The same over the given device object (tests pass a fake one).
  explicit TCustomComPort(std::unique_ptr<device::ComDevice> Device);
  // Closes an open port (with all its events, through this class's hooks;
  // see "Subclasses" above), then frees the settings.
  ~TCustomComPort() override;

  // ---- Lifecycle -----------------------------------------------------------
  // True while the device is open. During loading or designing, the stored
  // flag (SetConnected only stores then; Loaded() opens).
  bool Connected() const noexcept { return connected_; }
  // Loading or designing: stores only. Otherwise an equal value does
  // nothing, true runs OpenPort and false ClosePort.
  void SetConnected(bool Value);
  // Does nothing when already connected or designing. Otherwise: raises
  // OnBeforeOpen; opens the device (EComPort 1; the port stays closed, no
  // further event); sends queue sizes, line settings and timeouts (9, 7, 8;
  // the device is closed again and the same exception leaves), also inside a
  // settings batch; starts the event monitor when Events is not empty (a
  // monitor that cannot start is treated like a refused setting: 21, or the
  // monitor's own EComPort); raises OnAfterOpen; reports the CTS, DSR and
  // RLSD states, each from a fresh modem query (11 leaves the port open).
  // smThreadSync and smWindowSync need a UiDispatcher to deliver line events
  // (UiDispatcher.h): with Events not empty and none installed, the default
  // monitor refuses to start and the open fails with EComPort 21 saying so.
  // Any other exception of the device open, the configuration or the
  // monitor's start (an override, a custom monitor factory) leaves as
  // EComPort 1, 7 or 21 respectively, with the system's code of a
  // std::system_error; the port is closed.
  void OpenPort();
  // Does nothing when closed or designing. Otherwise: raises the three
  // signal events with false and OnBeforeClose; aborts pending transfers
  // (EComPort 5: the port stays open); stops the event monitor and waits for
  // its worker; closes the device; raises OnAfterClose. From inside a
  // line-event handler: see "Closing from a line-event handler" above.
  void ClosePort();
  // Whether the last open started an event monitor (Events was not empty).
  bool EventMonitorRunning() const noexcept { return monitorRunning_; }
  // How OpenPort creates the event monitor; see EventMonitor.h (a port
  // starts with DefaultEventMonitorFactory()). Set it while the port is
  // closed; it is used from the next open on.
  void SetEventMonitorFactory(EventMonitorFactory Factory) { monitorFactory_ = std::move(Factory); }
  // End of loading: when the stored Connected is true (and not designing),
  // opens the port; a failure goes to the application's exception report
  // (ApplicationException.h) and loading goes on.
  void Loaded() override;

  // ---- Settings batch ------------------------------------------------------
  // While a batch runs no setter reaches the device. Batches nest; the end of
  // the outermost one runs ApplyAllSettings, unless the port was opened
  // inside the batch (which sent every setting) and no setter was held since.
  // An end without a begin does nothing.
  void BeginSettingsBatch() noexcept;
  void EndSettingsBatch();
  // Queue sizes, then line settings, then timeouts; the first failure ends it.
  virtual void ApplyAllSettings();

  // ---- Transfers and queries ---------------------------------------------
  // Valid only while open; on a closed port each raises its own code with
  // the device's error. Counts are bytes. Codes: 2 write, 3 read, 4 empty
  // request (raised before any device call), 10 receive-queue query, 11 modem
  // query, 5 purge. A negative count is refused as a failed start (2 or 3).
  //
  // Blocking forms: start and wait at once; the request they use is released
  // also when a step raises. A write may take WriteTotalMultiplier ms per byte
  // plus WriteTotalConstant ms; with the default timeouts a read returns at
  // once with at most the bytes already received.
  std::int32_t WriteBlock(const void* Source, std::int32_t Count);
  // The text's bytes without terminator; an empty text starts nothing and
  // returns 0.
  std::int32_t WriteText(std::string_view Text);
  std::int32_t ReadBlock(void* Destination, std::int32_t Count);
  // Started forms: return the bytes moved at once (0 when the transfer is
  // pending). The buffer must stay valid until WaitForTransfer. An empty
  // BeginWriteText starts nothing and does not look at the request.
  std::int32_t BeginWrite(const void* Source, std::int32_t Count, TransferRequest* Request);
  std::int32_t BeginWriteText(std::string_view Text, TransferRequest* Request);
  std::int32_t BeginRead(void* Destination, std::int32_t Count, TransferRequest* Request);
  // Waits without time limit for the request's transfer and returns its byte
  // count; a transfer the system completed with fewer bytes than asked is no
  // error. After a read, queries the receive queue once (which clears the
  // device's line errors; code 10 on failure).
  std::int32_t WaitForTransfer(TransferRequest* Request);
  // Ends every pending read and write of the device; their waits then fail
  // with code 2 or 3.
  void CancelTransfers();
  // Bytes waiting in the receive queue. Clears (and drops) the device's line
  // errors.
  std::int32_t BytesWaiting();
  // The modem input lines now.
  LineSignals ModemSignals();
  // Takes and clears the device's line errors; ceRxParity only counts while
  // Parity.Check is set.
  TComErrors TakeLineErrors();

  // ---- Settings storage ----------------------------------------------------
  // Write or read the groups of SettingGroups, in the order sgBasic, sgOther,
  // sgParityDetails, sgBuffer, sgTimeouts, sgFlowDetails, as named values in
  // the text forms of ComTexts.h (integers as numbers): into section Name()
  // of an ini file, or into the registry object's open key. The caller opens
  // the store before and closes it after.
  //  - Stores delete nothing: "CustomBaudRate" is written only for brCustom,
  //    an earlier one stays, and so do the values of groups not selected.
  //  - LoadFromIniFile reads each value with the current setting (in its text
  //    form) as default, so a missing key changes nothing; "CustomBaudRate"
  //    is read only when the BaudRate just set is brCustom, with 9600 as its
  //    default. LoadFromRegistry has no defaults: a missing text reads as ""
  //    (and so as the parse fallback), a missing integer raises.
  //  - "FlowControl" that parses to fcCustom changes no flow control field.
  //  - Every value goes through its setter, so an open port applies each one
  //    at once unless a settings batch runs.
  // Errors: the store's own (IniFileError "Unable to write to %s",
  // RegistryError), or EComPort from a setter; the first one ends the
  // operation, and what was written or set before stays.
  virtual void StoreToRegistry(Registry& Reg);
  virtual void StoreToIniFile(IniFile& Ini);
  virtual void LoadFromRegistry(Registry& Reg);
  virtual void LoadFromIniFile(IniFile& Ini);

  // ---- Settings ------------------------------------------------------------
  TBaudRate BaudRate() const noexcept { return baudRate_; }
  void SetBaudRate(TBaudRate Value);
  // Bits per second sent for brCustom.
  std::int32_t CustomBaudRate() const noexcept { return customBaudRate_; }
  void SetCustomBaudRate(std::int32_t Value);
  // Device name: "COM1", a name under /dev, or a path beginning with "/".
  // Compared exactly; a new name on an open port (neither loading nor
  // designing) closes the port and opens it again under the new name. If
  // that open fails the port stays closed with the new name.
  const std::string& Port() const noexcept { return port_; }
  void SetPort(std::string Value);
  TStopBits StopBits() const noexcept { return stopBits_; }
  void SetStopBits(TStopBits Value);
  TDataBits DataBits() const noexcept { return dataBits_; }
  void SetDataBits(TDataBits Value);
  // Line settings the platform cannot carry out are refused with EComPort 7
  // (system code EINVAL) and the device keeps its previous settings. On Linux:
  // 1.5 stop bits except with 5 data bits, DSR output flow (OutDSRFlow), DTR
  // handshake, DSR sensitivity, RTS toggle, a speed of 0, XON/XOFF flow with
  // XonChar equal to XoffChar, and what the driver does not take (a
  // pseudo-terminal keeps 8 data bits without parity). Carried out as a Windows
  // driver does: parity, framing and overrun errors and breaks reach OnError
  // and OnBreak (a break leaves no byte; a bad byte arrives as received, or as
  // Parity.ReplaceChar with Parity.Replace), EventChar raises OnRxFlag,
  // DiscardNull drops NUL bytes before OnRxChar counts them, XON/XOFF input
  // flow follows Buffer.InputSize (XonLim / XoffLim) and TxContinueOnXoff.
  // Mapped as closely as Linux allows: OutCTSFlow and RTS handshake are one
  // setting there, which throttles input at the kernel's own thresholds.
  // The device drops received NUL bytes.
  bool DiscardNull() const noexcept { return discardNull_; }
  void SetDiscardNull(bool Value);
  // Receiving this byte raises the evRxFlag line event.
  char EventChar() const noexcept { return eventChar_; }
  void SetEventChar(char Value);
  // The line events watched while open; stored only, taken at the next open.
  TComEvents Events() const noexcept { return events_; }
  void SetEvents(TComEvents Value) noexcept { events_ = Value; }
  // How line events reach the handlers. On an open port (neither loading nor
  // designing) a different value raises EComPort 14 and nothing changes.
  TSyncMethod SyncMethod() const noexcept { return syncMethod_; }
  void SetSyncMethod(TSyncMethod Value);
  // Which groups the settings storage writes and reads.
  SettingGroupSet SettingGroups() const noexcept { return settingGroups_; }
  void SetSettingGroups(SettingGroupSet Value) noexcept { settingGroups_ = Value; }

  // The port's own setting objects: change them field by field through
  // their setters, or copy a whole object in with the Set... below.
  TComParity& Parity() noexcept { return parity_; }
  const TComParity& Parity() const noexcept { return parity_; }
  void SetParity(const TComParity& Value);
  TComFlowControl& FlowControl() noexcept { return flowControl_; }
  const TComFlowControl& FlowControl() const noexcept { return flowControl_; }
  void SetFlowControl(const TComFlowControl& Value);
  TComTimeouts& Timeouts() noexcept { return timeouts_; }
  const TComTimeouts& Timeouts() const noexcept { return timeouts_; }
  void SetTimeouts(const TComTimeouts& Value);
  TComBuffer& Buffer() noexcept { return buffer_; }
  const TComBuffer& Buffer() const noexcept { return buffer_; }
  void SetBuffer(const TComBuffer& Value);

  // ---- Destruction notices -------------------------------------------------
  // Run once when the port is destroyed, after it has closed and while its
  // members still exist; a control bound to the port uses them to forget it
  // (and removes its notice when it goes first).
  FreeNotices& DestroyNotices() noexcept { return destroyNotices_; }

  // ---- Published events ----------------------------------------------------
  // Raised only through the Do... hooks below, always with this port as
  // Sender, on the thread named by the operation that raises them.
  TNotifyEvent OnAfterOpen;
  TNotifyEvent OnAfterClose;
  TNotifyEvent OnBeforeOpen;
  TNotifyEvent OnBeforeClose;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnBreak;
  TNotifyEvent OnRing;
  TComSignalEvent OnCTSChange;
  TComSignalEvent OnDSRChange;
  TComSignalEvent OnRLSDChange;
  TNotifyEvent OnRxFlag;
  TComErrorEvent OnError;
  TNotifyEvent OnRx80Full;

 protected:
  // The subclass's destructor calls this first (see "Subclasses" above):
  // ClosePort with the subclass's hooks. It never throws: a failure goes to
  // the application's exception report (ApplicationException.h) and the
  // event monitor and the device (through CloseDevice) are released anyway.
  void CloseOnDestruction() noexcept;

  // Opens the device named by Port (EComPort 1 with the system's error).
  virtual void OpenDevice();
  // Closes the device if it is open.
  virtual void CloseDevice();
  // Step 6 of the open: the monitor from the factory, or none without one.
  virtual std::unique_ptr<EventMonitor> CreateEventMonitor();

  device::ComDevice& Device() noexcept { return *device_; }

  // Event hooks: each calls its published event when one is assigned.
  virtual void DoAfterClose();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoBeforeOpen();
  virtual void DoRxChar(int Count);
  virtual void DoRxBuf(const void* Buffer, int Count);
  virtual void DoTxEmpty();
  virtual void DoBreak();
  virtual void DoRing();
  virtual void DoRxFlag();
  virtual void DoCTSChange(bool OnOff);
  virtual void DoDSRChange(bool OnOff);
  virtual void DoError(TComErrors Errors);
  virtual void DoRLSDChange(bool OnOff);
  virtual void DoRx80Full();

  // Apply operations: each does nothing unless CanApplySettings(); then it
  // sends its group to the device (EComPort 7 line settings, 8 timeouts,
  // 9 queue sizes).
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSettings();

  // The apply guard: connected, no batch running, neither loading nor
  // designing.
  bool CanApplySettings() const noexcept;

 private:
  friend class TComParity;
  friend class TComFlowControl;
  friend class TComTimeouts;
  friend class TComBuffer;
  // The event monitor runs the per-event handlers through the Do... hooks
  // and the device, and closes a port whose device went away.
  friend class TComThread;

  // A close (or close and reopen) asked for inside a line-event handler.
  enum class DeferredRequest : std::uint8_t { kNone, kClose, kReopen };

  // Marks the calling thread as running this port's line-event handlers for
  // its lifetime (the event monitor wraps each handler in one).
  class HandlerScope {
   public:
    explicit HandlerScope(const TCustomComPort& Port) noexcept;
    ~HandlerScope();
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

   private:
    const TCustomComPort* before_;
  };

  bool InLineEventHandler() const noexcept;
  // An apply operation found the guard closed: remembered for the batch's end.
  void NoteHeldSetting() noexcept;
  bool HasDeferredRequest() const noexcept { return deferred_ != DeferredRequest::kNone; }
  // Carries out the recorded request, if any, on the calling thread: after
  // the handler, from the user-interface thread's event loop, or on the
  // worker for smNone.
  void RunDeferredRequest();
  // Waits for the worker of a monitor that ended itself (smNone), unless it
  // is the calling thread.
  void ReapRetiredMonitor() noexcept;

  // Whether a changed Port or SyncMethod concerns an open device now.
  bool LiveOnDevice() const noexcept { return connected_ && !Loading() && !Designing(); }
  void StopEventMonitor() noexcept;
  // The close sequence for a device that went away: as ClosePort, except
  // that a failure to abort the transfers (the device is gone) does not keep
  // the port open. Runs on the opening thread.
  void CloseLostDevice();
  std::int32_t BeginTransfer(TransferKind Kind, void* Buffer, std::int32_t Count,
                             TransferRequest* Request);
  template <typename Begin>
  std::int32_t RunBlocking(Begin begin);

  TBaudRate baudRate_ = TBaudRate::br9600;
  std::int32_t customBaudRate_ = 9600;
  std::string port_ = "COM1";
  TStopBits stopBits_ = TStopBits::sbOneStopBit;
  TDataBits dataBits_ = TDataBits::dbEight;
  bool discardNull_ = false;
  char eventChar_ = '\0';
  TComEvents events_ = kAllComEvents;
  TSyncMethod syncMethod_ = TSyncMethod::smThreadSync;
  SettingGroupSet settingGroups_ = {SettingGroup::sgBasic};
  // Atomic: a close asked for by an smNone handler clears it on the worker
  // while the owning thread may be watching it.
  std::atomic<bool> connected_{false};
  std::int32_t batchDepth_ = 0;
  // The open's own configuration passes the batch guard.
  bool configuringOpen_ = false;
  // Within the running batch: an open sent every setting, and a setter was
  // held by the guard (after that open).
  bool sentAtOpenInBatch_ = false;
  bool heldInBatch_ = false;
  std::atomic<DeferredRequest> deferred_{DeferredRequest::kNone};

  std::unique_ptr<device::ComDevice> device_;
  // Declared after the device: a monitor never outlives it.
  EventMonitorFactory monitorFactory_ = DefaultEventMonitorFactory();
  std::unique_ptr<EventMonitor> monitor_;
  bool monitorRunning_ = false;
  // A monitor whose own worker closed the port (smNone), kept until that
  // worker has ended.
  std::mutex retiredMu_;
  std::unique_ptr<EventMonitor> retired_;

  // Declared in creation order; the owner back-reference lets their setters
  // reconfigure an open device.
  TComParity parity_{this};
  TComFlowControl flowControl_{this};
  TComTimeouts timeouts_{this};
  TComBuffer buffer_{this};
  // Declared last, so destroyed first: the notices run on a port that is
  // closed but otherwise whole.
  FreeNotices destroyNotices_;
};

// The class forms and programs hold; it adds nothing to TCustomComPort.
class TComPort : public TCustomComPort {
 public:
  using TCustomComPort::TCustomComPort;
};

}  // namespace cport
