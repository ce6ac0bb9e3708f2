#include "cport/port/ComFlowControl.h"

#include "cport/port/ComPort.h"
#include "cport/port/StoreIfChanged.h"

namespace cport {

void TComFlowControl::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComFlowControl*>(&Source);
  if (!other) return TPersistent::Assign(Source);
  outCTSFlow_ = other->outCTSFlow_;
  outDSRFlow_ = other->outDSRFlow_;
  controlDTR_ = other->controlDTR_;
  controlRTS_ = other->controlRTS_;
  xonXoffOut_ = other->xonXoffOut_;
  xonXoffIn_ = other->xonXoffIn_;
  dsrSensitivity_ = other->dsrSensitivity_;
  txContinueOnXoff_ = other->txContinueOnXoff_;
  xonChar_ = other->xonChar_;
  xoffChar_ = other->xoffChar_;
}

TFlowControl TComFlowControl::FlowControl() const noexcept {
  using enum TFlowControl;
  const bool anyXonXoff = xonXoffIn_ || xonXoffOut_;
  if (controlRTS_ == TRTSFlowControl::rtsHandshake && outCTSFlow_ && !anyXonXoff) {
    return fcHardware;
  }
  if (controlRTS_ == TRTSFlowControl::rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) {
    return fcSoftware;
  }
  if (controlRTS_ == TRTSFlowControl::rtsDisable && !outCTSFlow_ && !anyXonXoff) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value) {
  using enum TFlowControl;
  if (Value != fcCustom) {
    controlRTS_ = TRTSFlowControl::rtsDisable;
    outCTSFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
    if (Value == fcHardware) {
      controlRTS_ = TRTSFlowControl::rtsHandshake;
      outCTSFlow_ = true;
    } else if (Value == fcSoftware) {
      xonXoffIn_ = true;
      xonXoffOut_ = true;
    }
  }
  Changed();
}

void TComFlowControl::SetOutCTSFlow(bool Value) {
  if (StoreIfChanged(outCTSFlow_, Value)) Changed();
}
void TComFlowControl::SetOutDSRFlow(bool Value) {
  if (StoreIfChanged(outDSRFlow_, Value)) Changed();
}
void TComFlowControl::SetControlDTR(TDTRFlowControl Value) {
  if (StoreIfChanged(controlDTR_, Value)) Changed();
}
void TComFlowControl::SetControlRTS(TRTSFlowControl Value) {
  if (StoreIfChanged(controlRTS_, Value)) Changed();
}
void TComFlowControl::SetXonXoffOut(bool Value) {
  if (StoreIfChanged(xonXoffOut_, Value)) Changed();
}
void TComFlowControl::SetXonXoffIn(bool Value) {
  if (StoreIfChanged(xonXoffIn_, Value)) Changed();
}
void TComFlowControl::SetDSRSensitivity(bool Value) {
  if (StoreIfChanged(dsrSensitivity_, Value)) Changed();
}
void TComFlowControl::SetTxContinueOnXoff(bool Value) {
  if (StoreIfChanged(txContinueOnXoff_, Value)) Changed();
}
void TComFlowControl::SetXonChar(char Value) {
  if (StoreIfChanged(xonChar_, Value)) Changed();
}
void TComFlowControl::SetXoffChar(char Value) {
  if (StoreIfChanged(xoffChar_, Value)) Changed();
}

void TComFlowControl::Changed() {
  if (owner_) owner_->ApplyLineSettings();
}

}  // namespace cport
