#include "cport/port/ComTimeouts.h"

#include "cport/port/ComPort.h"
#include "cport/port/StoreIfChanged.h"

namespace cport {

void TComTimeouts::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComTimeouts*>(&Source);
  if (!other) return TPersistent::Assign(Source);
  readInterval_ = other->readInterval_;
  readTotalMultiplier_ = other->readTotalMultiplier_;
  readTotalConstant_ = other->readTotalConstant_;
  writeTotalMultiplier_ = other->writeTotalMultiplier_;
  writeTotalConstant_ = other->writeTotalConstant_;
}

void TComTimeouts::SetReadInterval(std::int32_t Value) {
  if (StoreIfChanged(readInterval_, Value)) Changed();
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t Value) {
  if (StoreIfChanged(readTotalMultiplier_, Value)) Changed();
}
void TComTimeouts::SetReadTotalConstant(std::int32_t Value) {
  if (StoreIfChanged(readTotalConstant_, Value)) Changed();
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t Value) {
  if (StoreIfChanged(writeTotalMultiplier_, Value)) Changed();
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t Value) {
  if (StoreIfChanged(writeTotalConstant_, Value)) Changed();
}

void TComTimeouts::Changed() {
  if (owner_) owner_->ApplyTimeoutSettings();
}

}  // namespace cport
