// Running the setup dialog for a port: what OK applies and when it reaches
// the device, what Cancel leaves, and the failures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "../device/PtyPair.h"
#include "SetupTestSupport.h"
#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"
#include "cport/device/fake/FakeComDevice.h"
#include "cport/setup/PortSetup.h"

namespace cport::testing {
namespace {

using device::FakeCall;
using device::FakeComDevice;
using Log = std::vector<std::string>;

QStringList Items(const TComComboBox& box) {
  QStringList items;
  for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
  return items;
}

// A port over an in-memory device; `fake` stays valid while the port lives.
struct FakePort {
  FakePort() {
    auto device = std::make_unique<FakeComDevice>();
    fake = device.get();
    port = std::make_unique<LoggedPort>(std::move(device));
  }
  FakeComDevice* fake = nullptr;
  std::unique_ptr<LoggedPort> port;
};

bool AnySetupFormLeft() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (dynamic_cast<TComSetupFrm*>(w)) return true;
  }
  return false;
}

TEST(EditPortSetup, OkWithoutChangeSendsEverySettingOnceToAnOpenPtyPortAndNothingToAClosedOne) {
  device::testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  FedPortNames names({"ttyUSB0", "ttyS0"});
  for (bool open : {true, false}) {
    SCOPED_TRACE(open ? "open port" : "closed port");
    LoggedPort port;
    port.SetPort(pty.path());
    if (open) port.OpenPort();
    ASSERT_EQ(port.Connected(), open);
    port.ClearLog();
    const std::string before = Describe(port);

    QStringList shown;
    std::string selected;
    DialogDriver driver([&](TComSetupFrm& form) {
      shown = Items(*form.Combo1);
      selected = form.Combo1->Text();
      form.Button1->click();
    });
    EditPortSetup(port);

    ASSERT_TRUE(driver.Shown());
    // The pty is no port of the machine's list: it shows as an extra entry,
    // selected, and OK keeps it.
    EXPECT_EQ(shown, (QStringList{"ttyS0", "ttyUSB0", QString::fromStdString(pty.path())}));
    EXPECT_EQ(selected, pty.path());
    const Log sent = open ? Log{"SetQueueSizes", "SetLineSettings", "SetTimeouts"} : Log{};
    EXPECT_EQ(port.Log(), sent);
    EXPECT_EQ(Describe(port), before);
  }
}

TEST(EditPortSetup, ListedFormOfANameThatDiffersInCaseIsSelectedAndOkSetsIt) {
  FedPortNames names({"COM2", "COM10", "COM1"});
  FakePort p;
  p.port->SetPort("com10");
  p.port->OpenPort();
  p.port->ClearLog();

  QStringList shown;
  std::string selected;
  DialogDriver driver([&](TComSetupFrm& form) {
    shown = Items(*form.Combo1);
    selected = form.Combo1->Text();
    form.Button1->click();
  });
  EditPortSetup(*p.port);

  EXPECT_EQ(shown, (QStringList{"COM1", "COM10", "COM2"}));
  EXPECT_EQ(selected, "COM10");
  EXPECT_EQ(p.port->Port(), "COM10");
  // The name text changed: the port closes and opens again, and the
  // reopened device gets its settings at the open, before any byte is read;
  // the boxes applied after the name make the batch's end send them again.
  EXPECT_EQ(p.port->Log(), (Log{"Close", "Open(COM10)", "SetQueueSizes", "SetLineSettings",
                                "SetTimeouts", "SetQueueSizes", "SetLineSettings",
                                "SetTimeouts"}));
  EXPECT_TRUE(p.port->Connected());
}

TEST(EditPortSetup, NewNameOnAnOpenPortReopensFirstAndTheOtherChangesReachTheNewDeviceOnce) {
  FedPortNames names({"COM1", "COM2"});
  FakePort p;
  p.port->OpenPort();
  p.port->ClearLog();

  DialogDriver driver([&](TComSetupFrm& form) {
    Pick(*form.Combo1, "COM2");
    Pick(*form.Combo2, "115200");
    Pick(*form.Combo3, "7");
    Pick(*form.Combo4, "2");
    Pick(*form.Combo5, "Even");
    Pick(*form.Combo6, "Software");
    // Picking alone applies nothing.
    EXPECT_EQ(p.port->Log(), Log{});
    form.Button1->click();
  });
  EditPortSetup(*p.port);

  // The reopened device gets every setting at its open, before any byte is
  // read; the other changes, applied after the name, reach it once at the
  // batch's end.
  EXPECT_EQ(p.port->Log(), (Log{"Close", "Open(COM2)", "SetQueueSizes", "SetLineSettings",
                                "SetTimeouts", "SetQueueSizes", "SetLineSettings",
                                "SetTimeouts"}));
  EXPECT_EQ(p.fake->OpenedName(), "COM2");
  const device::Dcb dcb = p.fake->LastDcb();
  EXPECT_EQ(dcb.BaudRate, 115200u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.StopBits, 2);
  EXPECT_EQ(dcb.Parity, 2);
  EXPECT_EQ(p.port->BaudRate(), TBaudRate::br115200);
  EXPECT_EQ(p.port->DataBits(), TDataBits::dbSeven);
  EXPECT_EQ(p.port->StopBits(), TStopBits::sbTwoStopBits);
  EXPECT_EQ(p.port->Parity().Bits(), TParityBits::prEven);
  EXPECT_EQ(p.port->FlowControl().FlowControl(), TFlowControl::fcSoftware);
}

TEST(EditPortSetup, CancelOrClosingTheWindowLeavesEveryPropertyAfterSeveralChanges) {
  FedPortNames names({"COM1", "COM2"});
  const struct {
    const char* how;
    void (*end)(TComSetupFrm&);
  } cases[] = {
      {"Cancel", [](TComSetupFrm& form) { form.Button2->click(); }},
      {"window closed", [](TComSetupFrm& form) { form.close(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    FakePort p;
    p.port->SetBaudRate(TBaudRate::br19200);
    p.port->FlowControl().SetFlowControl(TFlowControl::fcHardware);
    p.port->OpenPort();
    p.port->ClearLog();
    const std::string before = Describe(*p.port);

    DialogDriver driver([&](TComSetupFrm& form) {
      Pick(*form.Combo1, "COM2");
      Pick(*form.Combo2, "300");
      Pick(*form.Combo3, "5");
      Pick(*form.Combo4, "1.5");
      Pick(*form.Combo5, "Mark");
      Pick(*form.Combo6, "None");
      c.end(form);
    });
    EditPortSetup(*p.port);

    ASSERT_TRUE(driver.Shown());
    EXPECT_EQ(Describe(*p.port), before);
    EXPECT_EQ(p.port->Log(), Log{});
  }
}

TEST(EditPortSetup, CustomBaudRateAndFlowControlShowAsCustomAndOkKeepsThem) {
  FedPortNames names({"COM1"});
  FakePort p;
  p.port->SetBaudRate(TBaudRate::brCustom);
  p.port->SetCustomBaudRate(12345);
  TComFlowControl& flow = p.port->FlowControl();
  flow.SetControlRTS(TRTSFlowControl::rtsEnable);
  flow.SetOutCTSFlow(true);
  flow.SetXonXoffIn(true);
  flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
  flow.SetOutDSRFlow(true);
  ASSERT_EQ(flow.FlowControl(), TFlowControl::fcCustom);
  const std::string before = Describe(*p.port);

  std::string baud, flowText;
  DialogDriver driver([&](TComSetupFrm& form) {
    baud = form.Combo2->Text();
    flowText = form.Combo6->Text();
    form.Button1->click();
  });
  EditPortSetup(*p.port);

  EXPECT_EQ(baud, "Custom");
  EXPECT_EQ(flowText, "Custom");
  EXPECT_EQ(Describe(*p.port), before);
}

TEST(EditPortSetup, FailedApplyStopsTheRestEndsTheBatchAndLeavesAfterTheDialogIsGone) {
  FedPortNames names({"COM1", "COM2"});
  FakePort p;
  p.port->OpenPort();

  DialogDriver driver([&](TComSetupFrm& form) {
    Pick(*form.Combo1, "COM2");
    Pick(*form.Combo2, "115200");
    p.fake->FailCall(FakeCall::kOpen, ENOENT, 1);
    form.Button1->click();
  });
  try {
    EditPortSetup(*p.port);
    ADD_FAILURE() << "no error";
  } catch (const EComPort& error) {
    EXPECT_EQ(error.PortErrorCode(), 1);
    EXPECT_EQ(error.SystemErrorCode(), ENOENT);
    EXPECT_FALSE(AnySetupFormLeft());
  }
  EXPECT_EQ(p.port->Port(), "COM2");
  EXPECT_FALSE(p.port->Connected());
  EXPECT_EQ(p.port->BaudRate(), TBaudRate::br9600);  // after the failure: not applied

  // The batch has ended: a setting on the reopened port reaches the device.
  p.port->OpenPort();
  p.port->ClearLog();
  p.port->SetBaudRate(TBaudRate::br19200);
  EXPECT_EQ(p.port->Log(), Log{"SetLineSettings"});
}

TEST(EditPortSetup, UnreadablePortListRaisesRegistryErrorWithoutShowingTheDialog) {
  FedPortNames names({}, std::error_code(EACCES, std::system_category()));
  FakePort p;
  p.port->OpenPort();
  p.port->ClearLog();
  const std::string before = Describe(*p.port);
  {
    DialogDriver driver([](TComSetupFrm& form) { form.Button1->click(); });
    try {
      EditPortSetup(*p.port);
      ADD_FAILURE() << "no error";
    } catch (const EComPort& error) {
      EXPECT_EQ(error.PortErrorCode(), 23);
      EXPECT_EQ(error.SystemErrorCode(), EACCES);
      EXPECT_EQ(std::string(error.what()), "Registry error (system error " +
                                               std::to_string(EACCES) + ": " +
                                               SystemErrorText(EACCES) + ")");
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(driver.Shown());
  }
  EXPECT_FALSE(AnySetupFormLeft());
  EXPECT_EQ(p.port->Log(), Log{});
  EXPECT_EQ(Describe(*p.port), before);
}

}  // namespace
}  // namespace cport::testing
