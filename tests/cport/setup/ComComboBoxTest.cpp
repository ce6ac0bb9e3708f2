// The bound drop-down list: filling, showing the port's value, applying a
// pick, and forgetting a port that goes first.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "SetupTestSupport.h"
#include "cport/errors/ApplicationException.h"
#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"
#include "cport/device/fake/FakeComDevice.h"

namespace cport::testing {
namespace {

using enum TComProperty;

std::unique_ptr<LoggedPort> NewFakePort() {
  return std::make_unique<LoggedPort>(std::make_unique<device::FakeComDevice>());
}

TEST(TComComboBox, FillsPerSettingAndSelectsThePortsValueOrElseTheFirstItem) {
  FedPortNames names({"ttyS1", "ttyS0"});
  auto port = NewFakePort();
  port->SetPort("ttyS1");
  port->SetBaudRate(TBaudRate::br57600);
  port->SetDataBits(TDataBits::dbSix);
  port->SetStopBits(TStopBits::sbOne5StopBits);
  port->Parity().SetBits(TParityBits::prSpace);
  port->FlowControl().SetFlowControl(TFlowControl::fcHardware);
  const struct {
    TComProperty setting;
    int count;
    const char* first;
    const char* portValue;
  } cases[] = {
      {cpPort, 2, "ttyS0", "ttyS1"},      {cpBaudRate, 16, "Custom", "57600"},
      {cpDataBits, 4, "5", "6"},          {cpStopBits, 3, "1", "1.5"},
      {cpParity, 5, "None", "Space"},     {cpFlowControl, 4, "Hardware", "Hardware"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    TComComboBox unbound;
    unbound.SetComProperty(c.setting);
    EXPECT_EQ(unbound.count(), c.count);
    EXPECT_EQ(unbound.Text(), c.first);
    EXPECT_FALSE(unbound.isEditable());

    TComComboBox bound;
    bound.SetComPort(port.get());
    bound.SetComProperty(c.setting);
    EXPECT_EQ(bound.Text(), c.portValue);

    // Binding after filling shows the port's value as well.
    unbound.SetComPort(port.get());
    EXPECT_EQ(unbound.Text(), c.portValue);
  }
  TComComboBox none;
  none.SetComPort(port.get());
  none.SetComProperty(cpNone);
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(none.Text(), "");
}

TEST(TComComboBox, PickedTextReachesThePortThroughEachSettersOwnSetting) {
  FedPortNames names({"ttyS0", "ttyUSB0"});
  const struct {
    TComProperty setting;
    const char* pick;
    std::string (*read)(const TCustomComPort&);
    const char* expected;
  } cases[] = {
      {cpPort, "ttyUSB0", [](const TCustomComPort& p) { return p.Port(); }, "ttyUSB0"},
      {cpBaudRate, "128000",
       [](const TCustomComPort& p) { return std::to_string(int(p.BaudRate())); }, "14"},
      {cpDataBits, "7", [](const TCustomComPort& p) { return std::to_string(int(p.DataBits())); },
       "2"},
      {cpStopBits, "2", [](const TCustomComPort& p) { return std::to_string(int(p.StopBits())); },
       "2"},
      {cpParity, "Odd",
       [](const TCustomComPort& p) { return std::to_string(int(p.Parity().Bits())); }, "1"},
      {cpFlowControl, "Software",
       [](const TCustomComPort& p) {
         return std::to_string(int(p.FlowControl().FlowControl()));
       },
       "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pick);
    for (bool autoApply : {false, true}) {
      auto port = NewFakePort();
      const std::string before = c.read(*port);
      TComComboBox box;
      box.SetComProperty(c.setting);
      box.SetComPort(port.get());
      box.SetAutoApply(autoApply);
      int changes = 0;
      QObject::connect(&box, &TComComboBox::changed, [&] { ++changes; });
      Pick(box, c.pick);
      EXPECT_GE(changes, 1);
      EXPECT_EQ(c.read(*port), autoApply ? c.expected : before) << "auto apply " << autoApply;
      box.ApplyToPort();
      EXPECT_EQ(c.read(*port), c.expected);
    }
  }
}

TEST(TComComboBox, SettingTextSelectsIgnoringCaseAndChoosesNothing) {
  auto port = NewFakePort();
  TComComboBox box;
  box.SetComProperty(cpParity);
  box.SetComPort(port.get());
  box.SetText("eVeN");
  EXPECT_EQ(box.Text(), "Even");
  box.SetText("Evens");
  EXPECT_EQ(box.Text(), "Even");
  // Selecting in code is no pick: the pending value is still the port's.
  box.ApplyToPort();
  EXPECT_EQ(port->Parity().Bits(), TParityBits::prNone);
}

TEST(TComComboBox, ForgetsAPortDestroyedFirstAndWithdrawsFromOneThatOutlivesIt) {
  auto first = NewFakePort();
  auto second = NewFakePort();
  first->SetBaudRate(TBaudRate::br300);
  auto box = std::make_unique<TComComboBox>();
  box->SetComProperty(cpBaudRate);
  box->SetComPort(first.get());
  box->SetComPort(second.get());
  first.reset();  // no longer bound: nothing to tell the box
  EXPECT_EQ(box->ComPort(), second.get());
  EXPECT_EQ(box->Text(), "9600");

  second.reset();
  EXPECT_EQ(box->ComPort(), nullptr);
  EXPECT_EQ(box->currentIndex(), 0);
  box->ApplyToPort();  // nothing bound: nothing to do

  auto third = NewFakePort();
  box->SetComPort(third.get());
  EXPECT_EQ(third->DestroyNotices().Count(), 1u);
  box.reset();
  EXPECT_EQ(third->DestroyNotices().Count(), 0u);
}

TEST(TComComboBox, UnlistedPortNameShowsAsOneExtraEntryThatFollowsTheName) {
  FedPortNames names({"ttyS0"});
  auto port = NewFakePort();
  port->SetPort("/dev/pts/7");
  TComComboBox box;
  box.SetComProperty(cpPort);
  box.SetComPort(port.get());
  EXPECT_EQ(box.count(), 2);
  EXPECT_EQ(box.Text(), "/dev/pts/7");

  port->SetPort("/dev/pts/8");
  box.RefreshFromPort();
  EXPECT_EQ(box.count(), 2);
  EXPECT_EQ(box.itemText(1), "/dev/pts/8");
  EXPECT_EQ(box.Text(), "/dev/pts/8");

  port->SetPort("TTYS0");  // listed, in another case: no extra entry
  box.RefreshFromPort();
  EXPECT_EQ(box.count(), 1);
  EXPECT_EQ(box.Text(), "ttyS0");

  // A port without a name: nothing selected, and applying keeps the name.
  port->SetPort("");
  box.RefreshFromPort();
  EXPECT_EQ(box.Text(), "");
  port->SetPort("COM5");
  box.ApplyToPort();
  EXPECT_EQ(port->Port(), "ttyS0");  // the pending name from the last refresh
}

TEST(TComComboBox, FailedAutoApplyGoesToTheApplicationReportNotThroughQt) {
  auto fake = std::make_unique<device::FakeComDevice>();
  device::FakeComDevice* device = fake.get();
  LoggedPort port(std::move(fake));
  port.OpenPort();
  std::vector<std::string> reported;
  auto previous = SetApplicationExceptionHandler(
      [&](const std::exception& error) { reported.push_back(error.what()); });
  TComComboBox box;
  box.SetComProperty(cpBaudRate);
  box.SetComPort(&port);
  box.SetAutoApply(true);
  device->FailCall(device::FakeCall::kSetLineSettings, EIO);
  Pick(box, "Custom");
  SetApplicationExceptionHandler(std::move(previous));
  device->ClearFailures();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "SetCommState function failed (system error " + std::to_string(EIO) +
                             ": " + SystemErrorText(EIO) + ")");
  EXPECT_EQ(port.BaudRate(), TBaudRate::brCustom);  // stored, though not sent
}

}  // namespace
}  // namespace cport::testing
