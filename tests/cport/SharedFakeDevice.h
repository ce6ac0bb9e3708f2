#pragma once
// A device that forwards every call to a FakeComDevice the test keeps, so the
// fake can be inspected after the port that owned the device is gone.
#include <memory>
#include <utility>

#include "cport/device/fake/FakeComDevice.h"

namespace cport::testing {

class SharedFakeDevice final : public device::ComDevice {
 public:
  explicit SharedFakeDevice(std::shared_ptr<device::FakeComDevice> fake) : fake_(std::move(fake)) {}

  std::error_code Open(std::string_view name) noexcept override { return fake_->Open(name); }
  std::error_code Close() noexcept override { return fake_->Close(); }
  bool IsOpen() const noexcept override { return fake_->IsOpen(); }
  std::error_code SetQueueSizes(std::uint32_t in, std::uint32_t out) noexcept override {
    return fake_->SetQueueSizes(in, out);
  }
  std::error_code SetLineSettings(const device::Dcb& dcb) noexcept override {
    return fake_->SetLineSettings(dcb);
  }
  std::error_code SetTimeouts(const device::CommTimeouts& t) noexcept override {
    return fake_->SetTimeouts(t);
  }
  std::error_code Purge(std::uint32_t flags) noexcept override { return fake_->Purge(flags); }
  std::error_code ClearErrors(device::LineStatus& status) noexcept override {
    return fake_->ClearErrors(status);
  }
  std::error_code GetModemStatus(std::uint32_t& status) noexcept override {
    return fake_->GetModemStatus(status);
  }
  std::error_code StartRead(void* buffer, std::uint32_t count, device::Transfer& transfer,
                            std::uint32_t& done) noexcept override {
    return fake_->StartRead(buffer, count, transfer, done);
  }
  std::error_code StartWrite(const void* data, std::uint32_t count, device::Transfer& transfer,
                             std::uint32_t& done) noexcept override {
    return fake_->StartWrite(data, count, transfer, done);
  }
  std::error_code WaitForTransfer(device::Transfer& transfer,
                                  std::uint32_t& done) noexcept override {
    return fake_->WaitForTransfer(transfer, done);
  }
  std::error_code SetEventMask(std::uint32_t mask) noexcept override {
    return fake_->SetEventMask(mask);
  }
  std::error_code WaitForLineEvents(const device::ManualResetEvent& stop,
                                    std::uint32_t& events) noexcept override {
    return fake_->WaitForLineEvents(stop, events);
  }

 private:
  std::shared_ptr<device::FakeComDevice> fake_;
};

// A new fake and a device for a port that forwards to it.
inline std::pair<std::shared_ptr<device::FakeComDevice>, std::unique_ptr<device::ComDevice>>
MakeSharedFake() {
  auto fake = std::make_shared<device::FakeComDevice>();
  return {fake, std::make_unique<SharedFakeDevice>(fake)};
}

}  // namespace cport::testing
