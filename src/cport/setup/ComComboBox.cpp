#include "cport/setup/ComComboBox.h"

#include <exception>

#include "cport/errors/ApplicationException.h"
#include "cport/port/ComPort.h"

namespace cport {

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  // activated is the user's pick only, never a selection made in code.
  connect(this, &QComboBox::activated, this, [this] { UserPicked(); });
}

TComComboBox::~TComComboBox() {
  if (notice_) ComPort()->DestroyNotices().Remove(*notice_);
}

void TComComboBox::SetComPort(TCustomComPort* Port) {
  if (Port == ComPort()) return;
  if (notice_) ComPort()->DestroyNotices().Remove(*notice_);
  notice_.reset();
  select_.SetBoundPort(Port);
  if (!Port) return;
  notice_ = Port->DestroyNotices().Add([this] { PortDestroyed(); });
  RefreshFromPort();
}

void TComComboBox::SetComProperty(TComProperty Value) {
  select_.SetBoundSetting(Value);
  if (count() == 0) return;
  if (ComPort()) {
    RefreshFromPort();
  } else {
    setCurrentIndex(0);
  }
}

std::string TComComboBox::Text() const {
  return currentIndex() < 0 ? std::string() : currentText().toStdString();
}

void TComComboBox::SetText(const std::string& Value) {
  const int index = findText(QString::fromStdString(Value), Qt::MatchFixedString);
  if (index >= 0) setCurrentIndex(index);
}

void TComComboBox::RefreshFromPort() { ShowIndex(select_.RefreshFromPort()); }

void TComComboBox::ApplyToPort() { select_.ApplyChoice(); }

void TComComboBox::UserPicked() {
  // A pick arrives through Qt's event dispatch, which must not unwind: a
  // setter that fails under AutoApply goes to the application's report.
  try {
    select_.ChooseText(Text());
  } catch (const std::exception& error) {
    HandleApplicationException(error);
  }
  emit changed();
}

void TComComboBox::PortDestroyed() {
  notice_.reset();
  select_.SetBoundPort(nullptr);
  if (count() > 0) setCurrentIndex(0);
}

void TComComboBox::ShowIndex(std::optional<int> index) {
  if (index) setCurrentIndex(*index);
}

}  // namespace cport
