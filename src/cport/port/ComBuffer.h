#pragma once
// Sizes in bytes of the device's receive and transmit queues (a port's Buffer
// property).
//
// A setter given a value different from the current one stores it, lowers a
// positive odd value by one (1025 becomes 1024: a positive size is always
// even) and, when the object belongs to a port, runs the port's
// ApplyBufferSettings. An equal value does nothing.
#include <cstdint>

#include "cport/port/Persistent.h"

namespace cport {

class TCustomComPort;

class TComBuffer : public TPersistent {
 public:
  explicit TComBuffer(TCustomComPort* Owner = nullptr) noexcept : owner_(Owner) {}
  TComBuffer(const TComBuffer&) = delete;
  TComBuffer& operator=(const TComBuffer&) = delete;

  const char* ClassName() const noexcept override { return "TComBuffer"; }
  // Copies both sizes from another TComBuffer as they are (no rounding, no
  // apply); EConvertError from any other class.
  void Assign(const TPersistent& Source) override;

  TCustomComPort* Owner() const noexcept { return owner_; }

  std::int32_t InputSize() const noexcept { return inputSize_; }
  void SetInputSize(std::int32_t Value);
  std::int32_t OutputSize() const noexcept { return outputSize_; }
  void SetOutputSize(std::int32_t Value);

 private:
  void SetSize(std::int32_t& size, std::int32_t value);

  TCustomComPort* owner_;
  std::int32_t inputSize_ = 1024;
  std::int32_t outputSize_ = 1024;
};

}  // namespace cport
