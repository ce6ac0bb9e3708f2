#pragma once
// A port over a fake device that also writes its device and apply operations
// to a log, so the order of steps can be watched. Each apply entry records
// whether the apply guard let it through ("line" or "line(held)").
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SharedFakeDevice.h"
#include "cport/port/ComPort.h"
#include "cport/device/fake/FakeComDevice.h"

namespace cport::testing {

class RecordingPort : public TComPort {
 public:
  // Without an event monitor (no factory): these ports are about settings
  // and the open and close sequences, and need no dispatcher.
  RecordingPort() : RecordingPort(MakeSharedFake()) { SetEventMonitorFactory(nullptr); }

  // Closes while the log still exists; the base destructor would raise the
  // close events into a destroyed log.
  ~RecordingPort() override {
    try {
      ClosePort();
    } catch (...) {
    }
    OnBeforeOpen = OnAfterOpen = OnBeforeClose = OnAfterClose = nullptr;
    OnCTSChange = OnDSRChange = OnRLSDChange = nullptr;
  }

  std::shared_ptr<device::FakeComDevice> shared;
  device::FakeComDevice& fake;
  std::vector<std::string> log;

  // Entries of `log` that reached the device (guard passed).
  std::vector<std::string> Applied() const {
    std::vector<std::string> out;
    for (const auto& entry : log) {
      if (entry == "line" || entry == "timeouts" || entry == "buffer") out.push_back(entry);
    }
    return out;
  }

  void RecordEvents() {
    OnBeforeOpen = [this](TCustomComPort&) { log.push_back("BeforeOpen"); };
    OnAfterOpen = [this](TCustomComPort&) { log.push_back("AfterOpen"); };
    OnBeforeClose = [this](TCustomComPort&) { log.push_back("BeforeClose"); };
    OnAfterClose = [this](TCustomComPort&) { log.push_back("AfterClose"); };
    OnCTSChange = [this](TCustomComPort&, bool on) { log.push_back(on ? "CTS:1" : "CTS:0"); };
    OnDSRChange = [this](TCustomComPort&, bool on) { log.push_back(on ? "DSR:1" : "DSR:0"); };
    OnRLSDChange = [this](TCustomComPort&, bool on) { log.push_back(on ? "RLSD:1" : "RLSD:0"); };
  }

  using TCustomComPort::CanApplySettings;

 protected:
  void OpenDevice() override {
    log.push_back("OpenDevice");
    TComPort::OpenDevice();
  }
  void CloseDevice() override {
    log.push_back("CloseDevice");
    TComPort::CloseDevice();
  }
  void ApplyLineSettings() override {
    Record("line");
    TComPort::ApplyLineSettings();
  }
  void ApplyTimeoutSettings() override {
    Record("timeouts");
    TComPort::ApplyTimeoutSettings();
  }
  void ApplyBufferSettings() override {
    Record("buffer");
    TComPort::ApplyBufferSettings();
  }

 private:
  explicit RecordingPort(decltype(MakeSharedFake()) made)
      : TComPort(std::move(made.second)), shared(std::move(made.first)), fake(*shared) {}

  void Record(const std::string& group) {
    log.push_back(CanApplySettings() ? group : group + "(held)");
  }
};

}  // namespace cport::testing
