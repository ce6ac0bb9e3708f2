#pragma once
// What the setup dialog's tests share: a port name list fed through the
// port list's seam, a user's pick in a list, a driver for the modal dialog,
// a forwarding device that logs what reaches the real one, and a text that
// holds every setting of a port.
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cport/port/ComPort.h"
#include "cport/port/PortList.h"
#include "cport/setup/ComComboBox.h"
#include "cport/setup/ComSetupFrm.h"

namespace cport::testing {

// Feeds ListSerialPorts these names (or this error) while it lives.
class FedPortNames {
 public:
  explicit FedPortNames(std::vector<std::string> names, std::error_code error = {})
      : previous_(SetPortNameSource([names, error](std::vector<std::string>& out) {
          if (!error) out = names;
          return error;
        })) {}
  ~FedPortNames() { SetPortNameSource(std::move(previous_)); }
  FedPortNames(const FedPortNames&) = delete;
  FedPortNames& operator=(const FedPortNames&) = delete;

 private:
  PortNameSource previous_;
};

// The user picks the item with exactly this text, with the keyboard: Home,
// then Down until it is reached (each step is a pick, as it is for a user).
inline void Pick(TComComboBox& box, const QString& text) {
  const int index = box.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  ASSERT_GE(index, 0) << text.toStdString() << " is not listed";
  QTest::keyClick(&box, Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(&box, Qt::Key_Down);
  ASSERT_EQ(box.currentIndex(), index);
}

// Runs `drive` on the setup dialog once it shows modally. `drive` ends it
// (Button1 or Button2); a dialog left open is cancelled, so that a failing
// test cannot hang. Shown() tells whether a dialog ever showed.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(TComSetupFrm&)> drive)
      : state_(std::make_shared<State>()) {
    QTimer::singleShot(0, [state = state_, drive = std::move(drive)] {
      auto* form = dynamic_cast<TComSetupFrm*>(QApplication::activeModalWidget());
      if (!form) return;
      state->shown = true;
      drive(*form);
      if (form->isVisible()) {
        ADD_FAILURE() << "the driver left the dialog open";
        form->reject();
      }
    });
  }
  // Lets a timer whose dialog never came run now, with nothing to drive.
  ~DialogDriver() { QCoreApplication::processEvents(); }

  bool Shown() const { return state_->shown; }

 private:
  struct State {
    bool shown = false;
  };
  std::shared_ptr<State> state_;
};

// A device that hands every call to another one and logs the calls that
// change the device ("Open(name)", "Close", "SetQueueSizes", "SetLineSettings",
// "SetTimeouts").
class LoggingDevice final : public device::ComDevice {
 public:
  using Sink = std::shared_ptr<std::vector<std::string>>;
  LoggingDevice(std::unique_ptr<device::ComDevice> inner, Sink log)
      : inner_(std::move(inner)), log_(std::move(log)) {}

  std::error_code Open(std::string_view name) noexcept override {
    Log("Open(" + std::string(name) + ")");
    return inner_->Open(name);
  }
  std::error_code Close() noexcept override {
    Log("Close");
    return inner_->Close();
  }
  bool IsOpen() const noexcept override { return inner_->IsOpen(); }
  std::error_code SetQueueSizes(std::uint32_t in, std::uint32_t out) noexcept override {
    Log("SetQueueSizes");
    return inner_->SetQueueSizes(in, out);
  }
  std::error_code SetLineSettings(const device::Dcb& dcb) noexcept override {
    Log("SetLineSettings");
    return inner_->SetLineSettings(dcb);
  }
  std::error_code SetTimeouts(const device::CommTimeouts& t) noexcept override {
    Log("SetTimeouts");
    return inner_->SetTimeouts(t);
  }
  std::error_code Purge(std::uint32_t flags) noexcept override {
    return inner_->Purge(flags);
  }
  std::error_code ClearErrors(device::LineStatus& status) noexcept override {
    return inner_->ClearErrors(status);
  }
  std::error_code GetModemStatus(std::uint32_t& status) noexcept override {
    return inner_->GetModemStatus(status);
  }
  std::error_code StartRead(void* buffer, std::uint32_t count, device::Transfer& transfer,
                            std::uint32_t& done) noexcept override {
    return inner_->StartRead(buffer, count, transfer, done);
  }
  std::error_code StartWrite(const void* data, std::uint32_t count, device::Transfer& transfer,
                             std::uint32_t& done) noexcept override {
    return inner_->StartWrite(data, count, transfer, done);
  }
  std::error_code WaitForTransfer(device::Transfer& transfer,
                                  std::uint32_t& done) noexcept override {
    return inner_->WaitForTransfer(transfer, done);
  }
  std::error_code SetEventMask(std::uint32_t mask) noexcept override {
    return inner_->SetEventMask(mask);
  }
  std::error_code WaitForLineEvents(const device::ManualResetEvent& stop,
                                    std::uint32_t& events) noexcept override {
    return inner_->WaitForLineEvents(stop, events);
  }

 private:
  void Log(std::string entry) noexcept {
    try {
      log_->push_back(std::move(entry));
    } catch (...) {
    }
  }

  std::unique_ptr<device::ComDevice> inner_;
  Sink log_;
};

// A port over `inner` (the platform's device by default) that logs what
// reaches the device. Watches no line events, so no event worker runs.
class LoggedPort : public TComPort {
 public:
  explicit LoggedPort(std::unique_ptr<device::ComDevice> inner = nullptr)
      : LoggedPort(std::make_shared<std::vector<std::string>>(), std::move(inner)) {}

  // The device calls since construction or the last ClearLog.
  const std::vector<std::string>& Log() const { return *log_; }
  void ClearLog() { log_->clear(); }

 private:
  LoggedPort(LoggingDevice::Sink log, std::unique_ptr<device::ComDevice> inner)
      : TComPort(std::make_unique<LoggingDevice>(
            inner ? std::move(inner) : device::CreatePlatformComDevice(), log)),
        log_(log) {
    SetEvents({});
  }

  LoggingDevice::Sink log_;
};

// Every setting of the port, in one text.
inline std::string Describe(const TCustomComPort& p) {
  const TComFlowControl& f = p.FlowControl();
  const TComParity& parity = p.Parity();
  std::ostringstream out;
  out << "port=" << p.Port() << " baud=" << int(p.BaudRate()) << " custom=" << p.CustomBaudRate()
      << " data=" << int(p.DataBits()) << " stop=" << int(p.StopBits())
      << " parity=" << int(parity.Bits()) << parity.Check() << parity.Replace()
      << int(parity.ReplaceChar()) << " flow=" << f.OutCTSFlow() << f.OutDSRFlow()
      << int(f.ControlDTR()) << int(f.ControlRTS()) << f.XonXoffOut() << f.XonXoffIn()
      << f.DSRSensitivity() << f.TxContinueOnXoff() << int(f.XonChar()) << int(f.XoffChar())
      << " connected=" << p.Connected();
  return out.str();
}

}  // namespace cport::testing
