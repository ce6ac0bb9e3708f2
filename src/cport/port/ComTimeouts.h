#pragma once
// Timeouts of a port in milliseconds (its Timeouts property), sent to the
// device as the COMMTIMEOUTS record. The defaults (-1, 0, 0, 100, 1000) make
// a read return at once with what has arrived and let a write take 100 ms
// per byte plus 1000 ms.
//
// Setters compare first; a change stores and, when the object belongs to a
// port, runs the port's ApplyTimeoutSettings.
#include <cstdint>

#include "cport/port/Persistent.h"

namespace cport {

class TCustomComPort;

class TComTimeouts : public TPersistent {
 public:
  explicit TComTimeouts(TCustomComPort* Owner = nullptr) noexcept : owner_(Owner) {}
  TComTimeouts(const TComTimeouts&) = delete;
  TComTimeouts& operator=(const TComTimeouts&) = delete;

  const char* ClassName() const noexcept override { return "TComTimeouts"; }
  // Copies the five fields from another TComTimeouts without applying;
  // EConvertError from any other class.
  void Assign(const TPersistent& Source) override;

  TCustomComPort* Owner() const noexcept { return owner_; }

  std::int32_t ReadInterval() const noexcept { return readInterval_; }
  void SetReadInterval(std::int32_t Value);
  std::int32_t ReadTotalMultiplier() const noexcept { return readTotalMultiplier_; }
  void SetReadTotalMultiplier(std::int32_t Value);
  std::int32_t ReadTotalConstant() const noexcept { return readTotalConstant_; }
  void SetReadTotalConstant(std::int32_t Value);
  std::int32_t WriteTotalMultiplier() const noexcept { return writeTotalMultiplier_; }
  void SetWriteTotalMultiplier(std::int32_t Value);
  std::int32_t WriteTotalConstant() const noexcept { return writeTotalConstant_; }
  void SetWriteTotalConstant(std::int32_t Value);

 private:
  void Changed();

  TCustomComPort* owner_;
  std::int32_t readInterval_ = -1;
  std::int32_t readTotalMultiplier_ = 0;
  std::int32_t readTotalConstant_ = 0;
  std::int32_t writeTotalMultiplier_ = 100;
  std::int32_t writeTotalConstant_ = 1000;
};

}  // namespace cport
