// The port object without a device: defaults, the apply guard, the settings
// batch, and the rules of Connected, Port and SyncMethod.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../SystemCodeText.h"
#include "../RecordingPort.h"
#include "../SharedFakeDevice.h"
#include "cport/errors/ApplicationException.h"
#include "cport/errors/ComError.h"
#include "cport/port/ComPort.h"
#include "cport/device/fake/FakeComDevice.h"

namespace cport {
namespace {

using testing::RecordingPort;
using Strings = std::vector<std::string>;

constexpr ComponentState kLoading{ComponentStateFlag::csLoading};
constexpr ComponentState kDesigning{ComponentStateFlag::csDesigning};

TEST(ComPortModel, NewPortHoldsTheDefaults) {
  TComPort port;
  EXPECT_EQ(port.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.DataBits(), TDataBits::dbEight);
  EXPECT_EQ(port.StopBits(), TStopBits::sbOneStopBit);
  EXPECT_EQ(port.Parity().Bits(), TParityBits::prNone);
  EXPECT_FALSE(port.Parity().Check());
  EXPECT_EQ(port.FlowControl().FlowControl(), TFlowControl::fcNone);
  EXPECT_EQ(port.FlowControl().ControlDTR(), TDTRFlowControl::dtrDisable);
  EXPECT_EQ(port.FlowControl().XonChar(), 17);
  EXPECT_EQ(port.FlowControl().XoffChar(), 19);
  EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
  EXPECT_EQ(port.Timeouts().ReadTotalMultiplier(), 0);
  EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 0);
  EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
  EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.Buffer().OutputSize(), 1024);
  EXPECT_EQ(port.Events().Bits(), 1023);
  EXPECT_EQ(port.SyncMethod(), TSyncMethod::smThreadSync);
  EXPECT_EQ(port.SettingGroups(), SettingGroupSet{SettingGroup::sgBasic});
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.DiscardNull());
  EXPECT_EQ(port.EventChar(), '\0');
  for (auto* owner : {port.Parity().Owner(), port.FlowControl().Owner(), port.Timeouts().Owner(),
                      port.Buffer().Owner()}) {
    EXPECT_EQ(owner, &port);
  }
}

TEST(ComPortModel, SetsAreBitsInElementOrder) {
  EXPECT_EQ((TComEvents{TComEvent::evRxChar, TComEvent::evRx80Full}).Bits(), 0x0201);
  EXPECT_EQ((TComErrors{TComError::ceTxFull}).Bits(), 0x80);
  EXPECT_EQ((LineSignals{LineSignal::lsDSR, LineSignal::lsRLSD}).Bits(), 0x0A);
  auto events = kAllComEvents;
  events.Exclude(TComEvent::evError);
  EXPECT_FALSE(events.Contains(TComEvent::evError));
  EXPECT_TRUE(events.Contains(TComEvent::evRLSD));
  EXPECT_EQ(events.Bits(), 1023 - 128);
}

TEST(ComPortModel, AClosedPortOnlyStores) {
  RecordingPort port;
  port.SetBaudRate(TBaudRate::br115200);
  port.Timeouts().SetReadInterval(0);
  port.Buffer().SetInputSize(4096);
  EXPECT_EQ(port.Applied(), Strings{});
  EXPECT_EQ(port.BaudRate(), TBaudRate::br115200);
}

TEST(ComPortModel, ApplyGuardNeedsConnectedNoBatchNoLoadingNoDesign) {
  RecordingPort port;
  EXPECT_FALSE(port.CanApplySettings());
  port.OpenPort();
  EXPECT_TRUE(port.CanApplySettings());
  port.BeginSettingsBatch();
  EXPECT_FALSE(port.CanApplySettings());
  port.EndSettingsBatch();
  port.SetComponentState(kLoading);
  EXPECT_FALSE(port.CanApplySettings());
  port.SetComponentState(kDesigning);
  EXPECT_FALSE(port.CanApplySettings());
  port.SetComponentState({});
  EXPECT_TRUE(port.CanApplySettings());
}

TEST(ComPortModel, BatchesNestAndOnlyTheOutermostEndAppliesOnce) {
  RecordingPort port;
  port.OpenPort();
  port.log.clear();
  port.EndSettingsBatch();
  EXPECT_TRUE(port.log.empty()) << "an end without a begin does nothing";

  port.BeginSettingsBatch();
  port.BeginSettingsBatch();
  port.SetBaudRate(TBaudRate::br19200);
  port.Parity().SetBits(TParityBits::prEven);
  port.Timeouts().SetReadInterval(10);
  port.Buffer().SetOutputSize(512);
  EXPECT_EQ(port.Applied(), Strings{}) << "nothing reaches the device inside a batch";
  port.EndSettingsBatch();
  EXPECT_EQ(port.Applied(), Strings{});
  port.log.clear();
  port.EndSettingsBatch();
  EXPECT_EQ(port.log, (Strings{"buffer", "line", "timeouts"}));
  port.EndSettingsBatch();
  EXPECT_EQ(port.log.size(), 3u);

  port.log.clear();
  port.SetDataBits(TDataBits::dbSeven);
  EXPECT_EQ(port.log, Strings{"line"}) << "after the batch setters apply again";
}

TEST(ComPortModel, BatchOnAClosedPortAppliesNothing) {
  RecordingPort port;
  port.BeginSettingsBatch();
  port.SetBaudRate(TBaudRate::br300);
  port.EndSettingsBatch();
  EXPECT_EQ(port.Applied(), Strings{});
}

TEST(ComPortModel, OpenAppliesEverythingAndRepeatedOpenOrCloseDoesNothing) {
  RecordingPort port;
  port.RecordEvents();
  port.ClosePort();
  EXPECT_TRUE(port.log.empty());
  port.OpenPort();
  ASSERT_TRUE(port.Connected());
  const auto opened = port.log;
  EXPECT_EQ(std::vector(opened.begin(), opened.begin() + 5),
            (Strings{"BeforeOpen", "OpenDevice", "buffer", "line", "timeouts"}));
  port.OpenPort();
  EXPECT_EQ(port.log, opened);
  port.ClosePort();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.log.back(), "AfterClose");
  const auto closed = port.log;
  port.ClosePort();
  EXPECT_EQ(port.log, closed);
}

TEST(ComPortModel, FailedApplyDuringOpenClosesTheDeviceAgain) {
  RecordingPort port;
  port.RecordEvents();
  port.fake.FailCall(device::FakeCall::kSetTimeouts, 31, 1);
  try {
    port.OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 8);
    EXPECT_EQ(e.SystemErrorCode(), 31);
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.log,
            (Strings{"BeforeOpen", "OpenDevice", "buffer", "line", "timeouts", "CloseDevice"}));
}

TEST(ComPortModel, FailedOpenRaisesOnlyBeforeOpen) {
  RecordingPort port;
  port.RecordEvents();
  port.fake.FailCall(device::FakeCall::kOpen, 31, 1);
  EXPECT_THROW(port.OpenPort(), EComPort);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.log, (Strings{"BeforeOpen", "OpenDevice"}));
}

TEST(ComPortModel, FailedApplyOnASetterKeepsTheValueAndThePortOpen) {
  RecordingPort port;
  port.OpenPort();
  port.fake.FailCall(device::FakeCall::kSetLineSettings, 22, 1);
  EXPECT_THROW(port.SetStopBits(TStopBits::sbTwoStopBits), EComPort);
  EXPECT_EQ(port.StopBits(), TStopBits::sbTwoStopBits);
  EXPECT_TRUE(port.Connected());
}

TEST(ComPortModel, ConnectedSetterOpensClosesAndIgnoresEqualValues) {
  RecordingPort port;
  port.SetConnected(false);
  EXPECT_TRUE(port.log.empty());
  port.SetConnected(true);
  EXPECT_TRUE(port.Connected());
  const auto opened = port.log.size();
  port.SetConnected(true);
  EXPECT_EQ(port.log.size(), opened);
  port.SetConnected(false);
  EXPECT_FALSE(port.Connected());
}

TEST(ComPortModel, DesigningNeverOpensOrCloses) {
  RecordingPort port;
  port.SetComponentState(kDesigning);
  port.OpenPort();
  EXPECT_FALSE(port.Connected());
  port.SetConnected(true);
  EXPECT_TRUE(port.Connected()) << "only the flag is stored";
  EXPECT_TRUE(port.log.empty());
  port.ClosePort();
  EXPECT_TRUE(port.Connected());
  port.Loaded();
  EXPECT_TRUE(port.log.empty()) << "the end of loading opens nothing while designing";
  port.SetConnected(false);
  port.SetComponentState({});
}

TEST(ComPortModel, EndOfLoadingOpensAStoredConnectedPort) {
  RecordingPort port;
  port.RecordEvents();
  port.SetComponentState(kLoading);
  port.SetConnected(true);
  port.SetBaudRate(TBaudRate::br57600);
  EXPECT_EQ(port.log, Strings{"line(held)"}) << "a loading port holds its settings";
  EXPECT_TRUE(port.Connected());
  port.log.clear();
  port.Loaded();
  EXPECT_FALSE(port.Loading());
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(std::vector(port.log.begin(), port.log.begin() + 5),
            (Strings{"BeforeOpen", "OpenDevice", "buffer", "line", "timeouts"}));
}

TEST(ComPortModel, AFailingOpenAtEndOfLoadingGoesToTheExceptionReport) {
  std::vector<std::string> reported;
  const auto previous = SetApplicationExceptionHandler(
      [&](const std::exception& e) { reported.emplace_back(e.what()); });
  {
    RecordingPort port;
    port.SetComponentState(kLoading);
    port.SetConnected(true);
    port.fake.FailCall(device::FakeCall::kOpen, 31, 1);
    EXPECT_NO_THROW(port.Loaded());
    EXPECT_FALSE(port.Connected());
  }
  SetApplicationExceptionHandler(previous);
  EXPECT_EQ(reported, Strings{"Unable to open com port" + testing::SystemCodeText(31)});
}

TEST(ComPortModel, SyncMethodCannotChangeOnAnOpenPort) {
  RecordingPort port;
  port.SetSyncMethod(TSyncMethod::smNone);
  EXPECT_EQ(port.SyncMethod(), TSyncMethod::smNone);
  port.OpenPort();
  EXPECT_NO_THROW(port.SetSyncMethod(TSyncMethod::smNone));
  try {
    port.SetSyncMethod(TSyncMethod::smWindowSync);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 14);
    EXPECT_EQ(e.SystemErrorCode(), -1);
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
  }
  EXPECT_EQ(port.SyncMethod(), TSyncMethod::smNone);
  port.SetComponentState(kLoading);
  port.SetSyncMethod(TSyncMethod::smWindowSync);
  EXPECT_EQ(port.SyncMethod(), TSyncMethod::smWindowSync);
  port.SetComponentState({});
}

TEST(ComPortModel, NewPortNameReopensAnOpenPort) {
  RecordingPort port;
  port.RecordEvents();
  port.SetPort("COM1");
  port.SetPort("COM2");
  EXPECT_TRUE(port.log.empty()) << "a closed port only stores";
  port.OpenPort();
  port.log.clear();
  port.SetPort("COM2");
  EXPECT_TRUE(port.log.empty());
  port.SetPort("com2");
  EXPECT_EQ(port.Port(), "com2") << "names compare case and all";
  ASSERT_FALSE(port.log.empty());
  EXPECT_EQ(port.log.front(), "CTS:0");
  EXPECT_TRUE(port.Connected());
  const auto closeAt = std::find(port.log.begin(), port.log.end(), "CloseDevice");
  const auto openAt = std::find(port.log.begin(), port.log.end(), "OpenDevice");
  EXPECT_LT(closeAt, openAt);

  port.fake.FailCall(device::FakeCall::kOpen, 2, 1);
  EXPECT_THROW(port.SetPort("COM9"), EComPort);
  EXPECT_EQ(port.Port(), "COM9");
  EXPECT_FALSE(port.Connected());
}

TEST(ComPortModel, DestroyingAnOpenPortRaisesTheCloseEvents) {
  std::vector<std::string> events;
  auto [fake, dev] = testing::MakeSharedFake();
  {
    TComPort port(std::move(dev));
    port.SetEvents({});
    port.OpenPort();
    port.OnBeforeClose = [&](TCustomComPort&) { events.push_back("BeforeClose"); };
    port.OnAfterClose = [&](TCustomComPort& sender) {
      events.push_back("AfterClose");
      EXPECT_FALSE(sender.Connected());
    };
    EXPECT_TRUE(fake->IsOpen());
  }
  EXPECT_EQ(events, (Strings{"BeforeClose", "AfterClose"}));
  EXPECT_FALSE(fake->IsOpen());
}

TEST(ComPortModel, DestroyingAPortWhoseCloseFailsStillReleasesTheDevice) {
  std::vector<std::string> reported;
  const auto previous = SetApplicationExceptionHandler(
      [&](const std::exception& e) { reported.emplace_back(e.what()); });
  auto [fake, dev] = testing::MakeSharedFake();
  {
    TComPort port(std::move(dev));
    port.SetEvents({});
    port.OpenPort();
    fake->FailCall(device::FakeCall::kPurge, 5);
  }
  SetApplicationExceptionHandler(previous);
  EXPECT_FALSE(fake->IsOpen());
  EXPECT_EQ(reported, Strings{"PurgeComm function failed" + testing::SystemCodeText(5)});
}

}  // namespace
}  // namespace cport
