#include "cport/setup/ComSelect.h"

#include <QComboBox>

#include "cport/port/ComPort.h"
#include "cport/port/ComTexts.h"
#include "cport/port/PortList.h"

namespace cport {
namespace {

// Port names and the setting texts are byte strings; the names the system
// gives are ASCII or UTF-8.
QString ToQ(const std::string& text) { return QString::fromStdString(text); }

template <typename Table, typename TextOf>
void AddTexts(QComboBox& items, const Table& table, TextOf textOf) {
  for (const auto& row : table) items.addItem(ToQ(textOf(row.value)));
}

}  // namespace

void TComSelect::SetBoundSetting(TComProperty Value) {
  using enum TComProperty;
  setting_ = Value;
  items_.clear();
  extraPort_.reset();
  switch (Value) {
    case cpNone:
      break;
    case cpPort: {
      std::vector<std::string> names;
      ListSerialPorts(names);
      for (const auto& name : names) items_.addItem(ToQ(name));
      break;
    }
    case cpBaudRate:
      AddTexts(items_, kBaudRateTable, BaudRateText);
      break;
    case cpDataBits:
      AddTexts(items_, kDataBitsTable, DataBitsText);
      break;
    case cpStopBits:
      AddTexts(items_, kStopBitsTable, StopBitsText);
      break;
    case cpParity:
      AddTexts(items_, kParityTable, ParityText);
      break;
    case cpFlowControl:
      AddTexts(items_, kFlowControlTable, FlowControlText);
      break;
  }
}

void TComSelect::StorePending(const std::string& Text) {
  using enum TComProperty;
  switch (setting_) {
    case cpNone:
      break;
    case cpPort:
      pendingPort_ = Text;
      break;
    case cpBaudRate:
      pendingBaudRate_ = ParseBaudRate(Text);
      break;
    case cpDataBits:
      pendingDataBits_ = ParseDataBits(Text);
      break;
    case cpStopBits:
      pendingStopBits_ = ParseStopBits(Text);
      break;
    case cpParity:
      pendingParity_ = ParseParity(Text);
      break;
    case cpFlowControl:
      pendingFlowControl_ = ParseFlowControl(Text);
      break;
  }
}

void TComSelect::ChooseText(const std::string& Text) {
  StorePending(Text);
  if (autoApply_) ApplyChoice();
}

void TComSelect::ApplyChoice() {
  using enum TComProperty;
  if (!port_) return;
  switch (setting_) {
    case cpNone:
      break;
    case cpPort:
      // Nothing chosen yet: the port keeps the name it has rather than lose
      // it to an empty one.
      if (IsSettablePortName(pendingPort_)) port_->SetPort(pendingPort_);
      break;
    case cpBaudRate:
      port_->SetBaudRate(pendingBaudRate_);
      break;
    case cpDataBits:
      port_->SetDataBits(pendingDataBits_);
      break;
    case cpStopBits:
      port_->SetStopBits(pendingStopBits_);
      break;
    case cpParity:
      port_->Parity().SetBits(pendingParity_);
      break;
    case cpFlowControl:
      port_->FlowControl().SetFlowControl(pendingFlowControl_);
      break;
  }
}

std::string TComSelect::CurrentPortText() const {
  using enum TComProperty;
  switch (setting_) {
    case cpNone:
      break;
    case cpPort:
      return port_->Port();
    case cpBaudRate:
      return BaudRateText(port_->BaudRate());
    case cpDataBits:
      return DataBitsText(port_->DataBits());
    case cpStopBits:
      return StopBitsText(port_->StopBits());
    case cpParity:
      return ParityText(port_->Parity().Bits());
    case cpFlowControl:
      return FlowControlText(port_->FlowControl().FlowControl());
  }
  return {};
}

std::optional<int> TComSelect::RefreshFromPort() {
  if (!port_ || setting_ == TComProperty::cpNone) return std::nullopt;
  const std::string current = CurrentPortText();
  if (setting_ == TComProperty::cpPort) {
    // The extra item is always the last one; it goes once the port's name
    // is no longer exactly the one it shows.
    if (extraPort_ && *extraPort_ != current) {
      items_.removeItem(items_.count() - 1);
      extraPort_.reset();
    }
  }
  int index = items_.findText(ToQ(current), Qt::MatchFixedString);  // ignores case
  if (index < 0 && setting_ == TComProperty::cpPort && !current.empty()) {
    items_.addItem(ToQ(current));
    extraPort_ = current;
    index = items_.count() - 1;
  }
  if (index >= 0) StorePending(items_.itemText(index).toStdString());
  return index;
}

}  // namespace cport
