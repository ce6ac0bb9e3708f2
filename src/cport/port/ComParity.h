#pragma once
// Parity settings of a port (its Parity property).
//
// Each setter compares first: an equal value does nothing. Otherwise it
// stores the value and, when the object belongs to a port, runs the port's
// ApplyLineSettings, which reaches the device only when the port is open and
// no settings batch is running; its EComPort leaves the setter with the new
// value stored.
#include "cport/port/ComEnums.h"
#include "cport/port/Persistent.h"

namespace cport {

class TCustomComPort;

class TComParity : public TPersistent {
 public:
  // A free-standing object (no owner) only holds values, for instance to be
  // handed to TCustomComPort::SetParity.
  explicit TComParity(TCustomComPort* Owner = nullptr) noexcept : owner_(Owner) {}
  TComParity(const TComParity&) = delete;
  TComParity& operator=(const TComParity&) = delete;

  const char* ClassName() const noexcept override { return "TComParity"; }
  // From a TComParity: copies the four fields; no setter runs, nothing is
  // applied, the owner stays. From any other class: EConvertError.
  void Assign(const TPersistent& Source) override;

  TCustomComPort* Owner() const noexcept { return owner_; }

  TParityBits Bits() const noexcept { return bits_; }
  void SetBits(TParityBits Value);
  // The device checks received parity.
  bool Check() const noexcept { return check_; }
  void SetCheck(bool Value);
  // With Check: bytes with a parity error are replaced by ReplaceChar.
  bool Replace() const noexcept { return replace_; }
  void SetReplace(bool Value);
  char ReplaceChar() const noexcept { return replaceChar_; }
  void SetReplaceChar(char Value);

 private:
  void Changed();

  TCustomComPort* owner_;
  TParityBits bits_ = TParityBits::prNone;
  bool check_ = false;
  bool replace_ = false;
  char replaceChar_ = '\0';
};

}  // namespace cport
