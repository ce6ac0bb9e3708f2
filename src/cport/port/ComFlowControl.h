#pragma once
// Flow control settings of a port (its FlowControl property).
//
// Scalar setters compare first: an equal value does nothing. Otherwise they
// store and, when the object belongs to a port, run the port's
// ApplyLineSettings (see ComParity.h for when that reaches the device).
#include "cport/port/ComEnums.h"
#include "cport/port/Persistent.h"

namespace cport {

class TCustomComPort;

class TComFlowControl : public TPersistent {
 public:
  explicit TComFlowControl(TCustomComPort* Owner = nullptr) noexcept : owner_(Owner) {}
  TComFlowControl(const TComFlowControl&) = delete;
  TComFlowControl& operator=(const TComFlowControl&) = delete;

  const char* ClassName() const noexcept override { return "TComFlowControl"; }
  // Copies the ten fields from another TComFlowControl without applying;
  // EConvertError from any other class.
  void Assign(const TPersistent& Source) override;

  TCustomComPort* Owner() const noexcept { return owner_; }

  // Composite view of ControlRTS, OutCTSFlow, XonXoffIn and XonXoffOut:
  // fcHardware (RTS handshake + CTS, no XON/XOFF), fcSoftware (both XON/XOFF
  // only), fcNone (none of them), else fcCustom. DTR, DSR and the characters
  // play no part.
  TFlowControl FlowControl() const noexcept;
  // No equality test: fcCustom changes no field; the others first clear the
  // four fields, then set those of the scheme. Always runs ApplyLineSettings.
  void SetFlowControl(TFlowControl Value);

  bool OutCTSFlow() const noexcept { return outCTSFlow_; }
  void SetOutCTSFlow(bool Value);
  bool OutDSRFlow() const noexcept { return outDSRFlow_; }
  void SetOutDSRFlow(bool Value);
  TDTRFlowControl ControlDTR() const noexcept { return controlDTR_; }
  void SetControlDTR(TDTRFlowControl Value);
  TRTSFlowControl ControlRTS() const noexcept { return controlRTS_; }
  void SetControlRTS(TRTSFlowControl Value);
  bool XonXoffOut() const noexcept { return xonXoffOut_; }
  void SetXonXoffOut(bool Value);
  bool XonXoffIn() const noexcept { return xonXoffIn_; }
  void SetXonXoffIn(bool Value);
  // Received bytes are ignored while DSR is off.
  bool DSRSensitivity() const noexcept { return dsrSensitivity_; }
  void SetDSRSensitivity(bool Value);
  // Transmission continues after XOFF was sent.
  bool TxContinueOnXoff() const noexcept { return txContinueOnXoff_; }
  void SetTxContinueOnXoff(bool Value);
  char XonChar() const noexcept { return xonChar_; }
  void SetXonChar(char Value);
  char XoffChar() const noexcept { return xoffChar_; }
  void SetXoffChar(char Value);

 private:
  void Changed();

  TCustomComPort* owner_;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = TDTRFlowControl::dtrDisable;
  TRTSFlowControl controlRTS_ = TRTSFlowControl::rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  char xonChar_ = '\x11';
  char xoffChar_ = '\x13';
};

}  // namespace cport
