#pragma once
// A port whose device operations and apply operations only write to a log,
// so the model's rules can be watched without a device. Each apply entry
// records whether the apply guard let it through ("line" vs "line(held)").
#include <string>
#include <vector>

#include "cport/ComError.h"
#include "cport/ComPort.h"

namespace cport::testing {

class RecordingPort : public TComPort {
 public:
  std::vector<std::string> log;

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

  // The apply group ("line", "timeouts", "buffer") or "open" that fails
  // next with the given EComPort code, once.
  std::string failOn;
  PortError failCode = PortError::SetStateFailed;

 protected:
  void OpenDevice() override {
    log.push_back("OpenDevice");
    FailIfAsked("open");
  }
  void CloseDevice() override { log.push_back("CloseDevice"); }
  void ApplyLineSettings() override { Record("line"); }
  void ApplyTimeoutSettings() override { Record("timeouts"); }
  void ApplyBufferSettings() override { Record("buffer"); }

 private:
  void Record(const std::string& group) {
    log.push_back(CanApplySettings() ? group : group + "(held)");
    if (CanApplySettings()) FailIfAsked(group);
  }
  void FailIfAsked(const std::string& what) {
    if (failOn != what) return;
    failOn.clear();
    throw EComPort(failCode, 31);
  }
};

}  // namespace cport::testing
