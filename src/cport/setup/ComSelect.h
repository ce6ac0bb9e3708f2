#pragma once
// TComSelect: the logic behind a list that edits one setting of one port.
// It fills the list with the setting's texts, keeps the value chosen in it
// (the pending value) and moves that value to and from the port. Created and
// owned by one TComComboBox, whose item list it fills.
//
// Threads: the user-interface thread. Errors: ApplyChoice raises what the
// port's setter raises (EComPort); SetBoundSetting(cpPort) raises what
// ListSerialPorts raises (EComPort 23). Nothing else throws.
#include <optional>
#include <string>

#include "cport/port/ComEnums.h"

class QComboBox;

namespace cport {

class TCustomComPort;

// Whether a chosen port name is ever set on a port: an empty one is not (the
// port keeps the name it has).
inline bool IsSettablePortName(const std::string& Name) noexcept { return !Name.empty(); }

class TComSelect {
 public:
  // `items` is the list this selector fills; it must outlive the selector.
  explicit TComSelect(QComboBox& items) noexcept : items_(items) {}
  TComSelect(const TComSelect&) = delete;
  TComSelect& operator=(const TComSelect&) = delete;

  TComProperty BoundSetting() const noexcept { return setting_; }
  // Stores the setting and refills the items: none for cpNone, the machine's
  // ports for cpPort, the texts of the setting's values otherwise ("Custom"
  // first for the baud rate).
  void SetBoundSetting(TComProperty Value);

  TCustomComPort* BoundPort() const noexcept { return port_; }
  // Only stores; binding and notices are the combo box's business.
  void SetBoundPort(TCustomComPort* Port) noexcept { port_ = Port; }

  bool AutoApply() const noexcept { return autoApply_; }
  void SetAutoApply(bool Value) noexcept { autoApply_ = Value; }

  // Sets the pending value of the bound setting from the text (the text
  // itself for cpPort, its parse otherwise; nothing for cpNone); then, with
  // auto apply on, ApplyChoice.
  void ChooseText(const std::string& Text);
  // With a port bound, sets its bound setting to the pending value through
  // the port's own setter. A pending port name that is empty is never set.
  void ApplyChoice();
  // With a port bound and a setting other than cpNone: the index of the item
  // that shows the port's current value (ignoring case), or -1; a found item
  // also becomes the pending value. For cpPort a current name that is not
  // listed is appended as an extra item (replacing an earlier extra one), so
  // a pty path or an unplugged adapter still shows and is kept. nullopt when
  // nothing is bound: the selection stays as it is.
  std::optional<int> RefreshFromPort();

  // The pending values; each starts at the zero value of its type.
  const std::string& PendingPort() const noexcept { return pendingPort_; }
  TBaudRate PendingBaudRate() const noexcept { return pendingBaudRate_; }
  TDataBits PendingDataBits() const noexcept { return pendingDataBits_; }
  TStopBits PendingStopBits() const noexcept { return pendingStopBits_; }
  TParityBits PendingParity() const noexcept { return pendingParity_; }
  TFlowControl PendingFlowControl() const noexcept { return pendingFlowControl_; }

 private:
  std::string CurrentPortText() const;
  void StorePending(const std::string& Text);

  QComboBox& items_;
  TComProperty setting_ = TComProperty::cpNone;
  TCustomComPort* port_ = nullptr;
  bool autoApply_ = false;
  // The port name appended by RefreshFromPort, if any.
  std::optional<std::string> extraPort_;
  std::string pendingPort_;
  TBaudRate pendingBaudRate_ = TBaudRate::brCustom;
  TDataBits pendingDataBits_ = TDataBits::dbFive;
  TStopBits pendingStopBits_ = TStopBits::sbOneStopBit;
  TParityBits pendingParity_ = TParityBits::prNone;
  TFlowControl pendingFlowControl_ = TFlowControl::fcHardware;
};

}  // namespace cport
