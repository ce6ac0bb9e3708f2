#include "cport/port/ComParity.h"

#include "cport/port/ComPort.h"
#include "cport/port/StoreIfChanged.h"

namespace cport {

void TComParity::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComParity*>(&Source);
  if (!other) return TPersistent::Assign(Source);
  bits_ = other->bits_;
  check_ = other->check_;
  replace_ = other->replace_;
  replaceChar_ = other->replaceChar_;
}

void TComParity::SetBits(TParityBits Value) {
  if (StoreIfChanged(bits_, Value)) Changed();
}
void TComParity::SetCheck(bool Value) {
  if (StoreIfChanged(check_, Value)) Changed();
}
void TComParity::SetReplace(bool Value) {
  if (StoreIfChanged(replace_, Value)) Changed();
}
void TComParity::SetReplaceChar(char Value) {
  if (StoreIfChanged(replaceChar_, Value)) Changed();
}

void TComParity::Changed() {
  if (owner_) owner_->ApplyLineSettings();
}

}  // namespace cport
