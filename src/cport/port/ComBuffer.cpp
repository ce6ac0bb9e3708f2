#include "cport/port/ComBuffer.h"

#include "cport/port/ComPort.h"
#include "cport/port/StoreIfChanged.h"

namespace cport {

void TComBuffer::Assign(const TPersistent& Source) {
  const auto* other = dynamic_cast<const TComBuffer*>(&Source);
  if (!other) return TPersistent::Assign(Source);
  inputSize_ = other->inputSize_;
  outputSize_ = other->outputSize_;
}

void TComBuffer::SetInputSize(std::int32_t Value) { SetSize(inputSize_, Value); }
void TComBuffer::SetOutputSize(std::int32_t Value) { SetSize(outputSize_, Value); }

void TComBuffer::SetSize(std::int32_t& size, std::int32_t value) {
  // The comparison is with the value as given, so 1025 on a 1024 queue still
  // reaches the device (as 1024).
  if (!StoreIfChanged(size, value)) return;
  if (size > 0 && size % 2 == 1) --size;
  if (owner_) owner_->ApplyBufferSettings();
}

}  // namespace cport
