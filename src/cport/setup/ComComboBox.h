#pragma once
// TComComboBox: a drop-down list (the user can only pick listed texts) bound
// to one setting of one port through its TComSelect.
//
// Threads: the user-interface thread. Lifecycle: the box forgets a bound port
// that is destroyed before it (and then selects its first item); a box
// destroyed first withdraws its notice from the port. Errors: setting
// ComProperty to cpPort raises EComPort 23 when the port list cannot be read;
// ApplyToPort, and a pick with AutoApply on, raise what the port's setter
// raises.
#include <QComboBox>

#include <optional>
#include <string>

#include "cport/port/ComEnums.h"
#include "cport/port/FreeNotices.h"
#include "cport/setup/ComSelect.h"

namespace cport {

class TCustomComPort;

class TComComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComComboBox(QWidget* parent = nullptr);
  ~TComComboBox() override;

  TCustomComPort* ComPort() const noexcept { return select_.BoundPort(); }
  // A different port: binds it (none unbinds); a port is asked for a notice
  // of its destruction and the box then shows its current value.
  void SetComPort(TCustomComPort* Port);

  TComProperty ComProperty() const noexcept { return select_.BoundSetting(); }
  // Refills the items for the setting; then, when there are items, shows the
  // bound port's value, or selects the first item when no port is bound.
  void SetComProperty(TComProperty Value);

  bool AutoApply() const noexcept { return select_.AutoApply(); }
  void SetAutoApply(bool Value) noexcept { select_.SetAutoApply(Value); }

  // The selected item's text; empty when nothing is selected.
  std::string Text() const;
  // Selects the item with this text, ignoring case; a text not listed
  // changes nothing. Chooses nothing: the pending value stays.
  void SetText(const std::string& Value);

  // Selects the item that shows the port's current value (nothing selected
  // when none does); without a port or setting the selection stays.
  void RefreshFromPort();
  // Sets the port's setting to the value last chosen or refreshed.
  void ApplyToPort();

  const TComSelect& Select() const noexcept { return select_; }

 signals:
  // The user picked an item; its text is already the pending value (and
  // applied, with AutoApply on).
  void changed();

 private:
  void UserPicked();
  void PortDestroyed();
  void ShowIndex(std::optional<int> index);

  TComSelect select_{*this};
  std::optional<FreeNotices::Ticket> notice_;
};

}  // namespace cport
