// The port over the fake device: the open and close sequences with their
// failure points, settings reaching an open device, transfers and queries.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "../SharedFakeDevice.h"
#include "cport/errors/ComError.h"
#include "cport/port/ComPort.h"
#include "cport/port/LineFlagMapping.h"
#include "cport/device/LineFlags.h"

namespace cport {
namespace {

using device::FakeCall;
using Strings = std::vector<std::string>;

// One journal of device calls and events in the order they happened: before
// each event, the device calls made since the previous one are copied in.
class Journal {
 public:
  explicit Journal(std::shared_ptr<device::FakeComDevice> fake) : fake_(std::move(fake)) {}

  void Note(const std::string& entry) {
    Sync();
    entries_.push_back(entry);
  }
  Strings Take() {
    Sync();
    fake_->ClearCallLog();
    seen_ = 0;
    return std::exchange(entries_, {});
  }

 private:
  void Sync() {
    const auto calls = fake_->CallLog();
    for (; seen_ < calls.size(); ++seen_) entries_.push_back(calls[seen_]);
  }

  std::shared_ptr<device::FakeComDevice> fake_;
  std::size_t seen_ = 0;
  Strings entries_;
};

// A monitor that only notes its life in the journal.
class NotedMonitor : public EventMonitor {
 public:
  explicit NotedMonitor(Journal& journal) : journal_(journal) { journal_.Note("monitor+"); }
  ~NotedMonitor() override { journal_.Note("monitor-"); }

 private:
  Journal& journal_;
};

class PortOverFake : public ::testing::Test {
 protected:
  PortOverFake() {
    auto [f, d] = testing::MakeSharedFake();
    fake = f;
    journal = std::make_unique<Journal>(fake);
    port = std::make_unique<TComPort>(std::move(d));
    port->SetPort("COM3");
    port->SetEventMonitorFactory(
        [this](TCustomComPort&) { return std::make_unique<NotedMonitor>(*journal); });
    auto note = [this](const char* what) {
      return [this, what](TCustomComPort& sender) {
        EXPECT_EQ(&sender, port.get());
        journal->Note(what);
      };
    };
    auto signal = [this](const char* what) {
      return [this, what](TCustomComPort&, bool on) {
        journal->Note(std::string(what) + (on ? ":1" : ":0"));
      };
    };
    port->OnBeforeOpen = note("BeforeOpen");
    port->OnAfterOpen = note("AfterOpen");
    port->OnBeforeClose = note("BeforeClose");
    port->OnAfterClose = note("AfterClose");
    port->OnCTSChange = signal("CTS");
    port->OnDSRChange = signal("DSR");
    port->OnRLSDChange = signal("RLSD");
  }
  ~PortOverFake() override {
    // Handlers refer to the journal; close while it exists.
    try {
      port->ClosePort();
    } catch (...) {
    }
    port.reset();
  }

  std::shared_ptr<device::FakeComDevice> fake;
  std::unique_ptr<Journal> journal;
  std::unique_ptr<TComPort> port;
};

const Strings kOpenSteps = {"BeforeOpen",
                            "Open(COM3)",
                            "SetQueueSizes(1024,1024)",
                            "SetLineSettings(9600)",
                            "SetTimeouts(4294967295,0,0,100,1000)",
                            "monitor+",
                            "AfterOpen",
                            "GetModemStatus()",
                            "CTS:1",
                            "GetModemStatus()",
                            "DSR:0",
                            "GetModemStatus()",
                            "RLSD:1"};
const Strings kCloseSteps = {"CTS:0",      "DSR:0",    "RLSD:0",  "BeforeClose",
                             "Purge(0x3)", "monitor-", "Close()", "AfterClose"};

TEST_F(PortOverFake, OneOpenAndCloseInOrder) {
  fake->SetModemStatus(device::kMsCtsOn | device::kMsRlsdOn);
  port->OpenPort();
  EXPECT_TRUE(port->Connected());
  EXPECT_TRUE(port->EventMonitorRunning());
  EXPECT_EQ(journal->Take(), kOpenSteps);
  port->OpenPort();
  port->SetConnected(true);
  EXPECT_EQ(journal->Take(), Strings{}) << "opening an open port does nothing";

  port->ClosePort();
  EXPECT_FALSE(port->Connected());
  EXPECT_FALSE(port->EventMonitorRunning());
  EXPECT_EQ(journal->Take(), kCloseSteps);
  port->ClosePort();
  EXPECT_EQ(journal->Take(), Strings{}) << "closing a closed port does nothing";
}

TEST_F(PortOverFake, EmptyEventsOpenWithoutAMonitor) {
  port->SetEvents({});
  port->OpenPort();
  EXPECT_FALSE(port->EventMonitorRunning());
  auto steps = kOpenSteps;
  std::erase(steps, "monitor+");
  steps[steps.size() - 5] = "CTS:0";
  steps[steps.size() - 1] = "RLSD:0";
  EXPECT_EQ(journal->Take(), steps);
  port->ClosePort();
  auto closing = kCloseSteps;
  std::erase(closing, "monitor-");
  EXPECT_EQ(journal->Take(), closing);
}

TEST_F(PortOverFake, WithoutAFactoryTheMonitorFlagStillFollowsEvents) {
  port->SetEventMonitorFactory(nullptr);
  port->OpenPort();
  EXPECT_TRUE(port->EventMonitorRunning());
  port->ClosePort();
  EXPECT_FALSE(port->EventMonitorRunning());
}

TEST_F(PortOverFake, AFailedOpenLeavesThePortClosedAfterOnlyBeforeOpen) {
  fake->FailCall(FakeCall::kOpen, EBUSY, 1);
  try {
    port->OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 1);
    EXPECT_EQ(e.SystemErrorCode(), EBUSY);
  }
  EXPECT_FALSE(port->Connected());
  EXPECT_EQ(journal->Take(), (Strings{"BeforeOpen", "Open(COM3)"}));
}

TEST_F(PortOverFake, AFailedApplyDuringOpenClosesTheDeviceAgain) {
  struct Case {
    FakeCall call;
    int code;
    std::size_t stepsBeforeClose;
  };
  for (const Case c : {Case{FakeCall::kSetQueueSizes, 9, 3}, Case{FakeCall::kSetLineSettings, 7, 4},
                       Case{FakeCall::kSetTimeouts, 8, 5}}) {
    SCOPED_TRACE(c.code);
    fake->FailCall(c.call, EIO, 1);
    try {
      port->OpenPort();
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), c.code);
      EXPECT_EQ(e.SystemErrorCode(), EIO);
    }
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(fake->IsOpen());
    Strings expected(kOpenSteps.begin(), kOpenSteps.begin() + c.stepsBeforeClose);
    expected.push_back("Close()");
    EXPECT_EQ(journal->Take(), expected);
  }
  port->OpenPort();
  EXPECT_TRUE(port->Connected()) << "the port opens again once the device agrees";
}

TEST_F(PortOverFake, AFailedMonitorStartClosesTheDeviceAgainAndLeavesAsEComPort) {
  const struct {
    std::function<void()> fail;
    std::int32_t systemCode;
  } cases[] = {
      {[] { throw std::system_error(EAGAIN, std::system_category(), "thread"); }, EAGAIN},
      {[] { throw std::runtime_error("no monitor today"); }, -1},
  };
  for (const auto& c : cases) {
    port->SetEventMonitorFactory([&](TCustomComPort&) -> std::unique_ptr<EventMonitor> {
      c.fail();
      return nullptr;
    });
    try {
      port->OpenPort();
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), 21);
      EXPECT_EQ(e.SystemErrorCode(), c.systemCode);
    }
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(port->EventMonitorRunning());
    EXPECT_FALSE(fake->IsOpen());
  }
}

TEST_F(PortOverFake, AFailedModemQueryAtOpenLeavesThePortOpen) {
  fake->FailCall(FakeCall::kGetModemStatus, EIO, 1);
  try {
    port->OpenPort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 11);
  }
  EXPECT_TRUE(port->Connected());
  EXPECT_TRUE(port->EventMonitorRunning());
  const auto steps = journal->Take();
  EXPECT_EQ(steps.back(), "GetModemStatus()");
  EXPECT_EQ(steps[steps.size() - 2], "AfterOpen");
}

TEST_F(PortOverFake, AFailedPurgeOnCloseLeavesThePortOpen) {
  port->OpenPort();
  journal->Take();
  fake->FailCall(FakeCall::kPurge, EIO, 1);
  try {
    port->ClosePort();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 5);
    EXPECT_EQ(e.SystemErrorCode(), EIO);
  }
  EXPECT_TRUE(port->Connected());
  EXPECT_TRUE(port->EventMonitorRunning());
  EXPECT_TRUE(fake->IsOpen());
  EXPECT_EQ(journal->Take(), Strings(kCloseSteps.begin(), kCloseSteps.begin() + 5));
  port->ClosePort();
  EXPECT_FALSE(port->Connected());
}

TEST_F(PortOverFake, SettersReachAnOpenDeviceAtOnce) {
  port->OpenPort();
  journal->Take();
  port->SetBaudRate(TBaudRate::br19200);
  EXPECT_EQ(fake->LastDcb().BaudRate, 19200u);
  port->Parity().SetBits(TParityBits::prOdd);
  EXPECT_EQ(fake->LastDcb().Parity, device::kOddParity);
  port->Timeouts().SetReadInterval(50);
  EXPECT_EQ(fake->LastTimeouts().ReadIntervalTimeout, 50u);
  port->Buffer().SetInputSize(4095);
  EXPECT_EQ(fake->InputQueueSize(), 4094u);
  port->SetEvents({TComEvent::evRxChar});
  EXPECT_EQ(journal->Take(), (Strings{"SetLineSettings(19200)", "SetLineSettings(19200)",
                                      "SetTimeouts(50,0,0,100,1000)", "SetQueueSizes(4094,1024)"}))
      << "Events is only stored";
}

TEST_F(PortOverFake, ABatchSendsEverythingOnceAtTheOuterEnd) {
  port->OpenPort();
  journal->Take();
  port->BeginSettingsBatch();
  port->BeginSettingsBatch();
  port->SetBaudRate(TBaudRate::br115200);
  port->SetDataBits(TDataBits::dbSeven);
  port->FlowControl().SetFlowControl(TFlowControl::fcHardware);
  port->Timeouts().SetWriteTotalConstant(10);
  port->Buffer().SetOutputSize(64);
  port->EndSettingsBatch();
  EXPECT_EQ(journal->Take(), Strings{});
  port->EndSettingsBatch();
  EXPECT_EQ(journal->Take(), (Strings{"SetQueueSizes(1024,64)", "SetLineSettings(115200)",
                                      "SetTimeouts(4294967295,0,0,100,10)"}));
  EXPECT_EQ(fake->LastDcb().ByteSize, 7);
  EXPECT_EQ(fake->LastDcb().RtsControl(), device::kRtsControlHandshake);
}

TEST_F(PortOverFake, ARefusedSettingKeepsTheValueAndTheOldConfiguration) {
  port->OpenPort();
  fake->FailCall(FakeCall::kSetLineSettings, EINVAL, 1);
  try {
    port->SetStopBits(TStopBits::sbOne5StopBits);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 7);
    EXPECT_EQ(e.SystemErrorCode(), EINVAL);
  }
  EXPECT_EQ(port->StopBits(), TStopBits::sbOne5StopBits);
  EXPECT_TRUE(port->Connected());
  EXPECT_EQ(fake->LastDcb().StopBits, device::kOneStopBit);
  try {
    port->Buffer().SetInputSize(-4);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 9);
    EXPECT_EQ(e.SystemErrorCode(), EINVAL);
  }
  EXPECT_EQ(port->Buffer().InputSize(), -4);
  EXPECT_THROW(port->Buffer().SetOutputSize(8), EComPort) << "-4 stays stored, refused again";
  EXPECT_TRUE(port->Connected());
}

TEST_F(PortOverFake, ANewNameReopensUnderThatName) {
  port->OpenPort();
  journal->Take();
  port->SetPort("COM7");
  const auto steps = journal->Take();
  EXPECT_EQ(Strings(steps.begin(), steps.begin() + kCloseSteps.size()), kCloseSteps);
  EXPECT_EQ(steps[kCloseSteps.size() + 1], "Open(COM7)");
  EXPECT_TRUE(port->Connected());
}

TEST_F(PortOverFake, BlockingTransfers) {
  port->OpenPort();
  fake->ClearCallLog();
  EXPECT_EQ(port->WriteText("AT\r"), 3);
  const unsigned char bytes[] = {0xFA, 0x00, 0xAA};
  EXPECT_EQ(port->WriteBlock(bytes, 3), 3);
  EXPECT_EQ(port->WriteBlock(bytes, 0), 0);
  EXPECT_EQ(fake->Written(), std::string("AT\r\xFA\x00\xAA", 6));

  fake->PushReceived("ABCD");
  EXPECT_EQ(port->BytesWaiting(), 4);
  char in[10] = {};
  EXPECT_EQ(port->ReadBlock(in, 10), 4) << "a read takes what has arrived";
  EXPECT_EQ(std::string(in, 4), "ABCD");
  EXPECT_EQ(port->ReadBlock(in, 10), 0);
  const auto calls = fake->CallLog();
  EXPECT_EQ(Strings(calls.end() - 3, calls.end()),
            (Strings{"StartRead(10)", "WaitForTransfer()", "ClearErrors()"}))
      << "a completed read queries the receive queue once";
}

TEST_F(PortOverFake, AnEmptyTextTouchesNothingEvenOnAClosedPort) {
  EXPECT_EQ(port->WriteText(""), 0);
  EXPECT_EQ(port->BeginWriteText("", nullptr), 0) << "the request is not examined";
  EXPECT_EQ(fake->CallLog(), Strings{});
}

TEST_F(PortOverFake, AnEmptyRequestIsCode4BeforeAnyDeviceCall) {
  port->OpenPort();
  fake->ClearCallLog();
  char buffer[4] = {};
  for (auto call : {+[](TCustomComPort&p, char*b) { p.BeginWrite(b, 4, nullptr); },
                    +[](TCustomComPort&p, char*b) { p.BeginRead(b, 4, nullptr); },
                    +[](TCustomComPort&p, char*b) { p.BeginWriteText(b, nullptr); },
                    +[](TCustomComPort&p, char*) { p.WaitForTransfer(nullptr); }}) {
    buffer[0] = 'x';
    try {
      call(*port, buffer);
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), 4);
      EXPECT_EQ(e.SystemErrorCode(), -1);
      EXPECT_STREQ(e.what(), "Invalid Async parameter");
    }
  }
  EXPECT_EQ(fake->CallLog(), Strings{});
}

TEST_F(PortOverFake, ANegativeCountIsARefusedStart) {
  port->OpenPort();
  fake->ClearCallLog();
  char buffer[4];
  try {
    port->WriteBlock(buffer, -1);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 2);
    EXPECT_EQ(e.SystemErrorCode(), EINVAL);
  }
  try {
    port->ReadBlock(buffer, -5);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 3);
  }
  EXPECT_EQ(fake->CallLog(), Strings{});
}

TEST_F(PortOverFake, StartedTransfersCompleteInTheWaitOrAreCancelled) {
  port->OpenPort();
  fake->SetCompleteAtOnce(false);
  std::unique_ptr<TransferRequest> write;
  std::unique_ptr<TransferRequest> read;
  NewTransfer(write);
  NewTransfer(read);
  EXPECT_EQ(write->Kind(), TransferKind::tkWrite);
  EXPECT_EQ(port->WaitForTransfer(write.get()), 0) << "a new request is complete with 0";

  EXPECT_EQ(port->BeginWriteText("hello", write.get()), 0);
  char in[8] = {};
  EXPECT_EQ(port->BeginRead(in, 8, read.get()), 0);
  EXPECT_EQ(read->Kind(), TransferKind::tkRead);
  fake->PushReceived("xyz");
  EXPECT_EQ(port->WaitForTransfer(write.get()), 5);
  EXPECT_EQ(port->WaitForTransfer(read.get()), 3);
  EXPECT_EQ(std::string(in, 3), "xyz");

  // The same requests serve the next transfers; a purge aborts them.
  EXPECT_EQ(port->BeginRead(in, 8, read.get()), 0);
  EXPECT_EQ(port->BeginWrite("ab", 2, write.get()), 0);
  port->CancelTransfers();
  for (auto* request : {read.get(), write.get()}) {
    try {
      port->WaitForTransfer(request);
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), request == read.get() ? 3 : 2);
      EXPECT_EQ(e.SystemErrorCode(), ECANCELED);
    }
  }
  ReleaseTransfer(read);
  EXPECT_EQ(read, nullptr);
}

TEST_F(PortOverFake, FailuresCarryTheirCodes) {
  port->OpenPort();
  char buffer[4] = {};
  struct Case {
    FakeCall call;
    std::function<void()> run;
    int code;
  };
  const Case cases[] = {
      {FakeCall::kStartWrite, [&] { port->WriteBlock(buffer, 4); }, 2},
      {FakeCall::kWaitForTransfer, [&] { port->WriteText("x"); }, 2},
      {FakeCall::kStartRead, [&] { port->ReadBlock(buffer, 4); }, 3},
      {FakeCall::kWaitForTransfer, [&] { port->ReadBlock(buffer, 4); }, 3},
      {FakeCall::kClearErrors, [&] { port->ReadBlock(buffer, 4); }, 10},
      {FakeCall::kClearErrors, [&] { port->BytesWaiting(); }, 10},
      {FakeCall::kClearErrors, [&] { port->TakeLineErrors(); }, 10},
      {FakeCall::kGetModemStatus, [&] { port->ModemSignals(); }, 11},
      {FakeCall::kPurge, [&] { port->CancelTransfers(); }, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    fake->FailCall(c.call, EPIPE, 1);
    try {
      c.run();
      FAIL() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), c.code);
      EXPECT_EQ(e.SystemErrorCode(), EPIPE);
    }
  }
}

TEST_F(PortOverFake, AClosedPortRaisesEachOperationsOwnCode) {
  char buffer[4];
  try {
    port->BytesWaiting();
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.PortErrorCode(), 10);
    EXPECT_EQ(e.SystemErrorCode(), EBADF);
  }
  EXPECT_THROW(port->WriteBlock(buffer, 4), EComPort);
  EXPECT_THROW(port->ModemSignals(), EComPort);
}

TEST_F(PortOverFake, QueriesMapTheDeviceWords) {
  port->OpenPort();
  fake->SetModemStatus(0x30);
  EXPECT_EQ(port->ModemSignals(), (LineSignals{LineSignal::lsCTS, LineSignal::lsDSR}));
  fake->AddLineErrors(device::kCeRxParity | device::kCeFrame);
  EXPECT_EQ(port->TakeLineErrors(), TComErrors{TComError::ceFrame});
  EXPECT_EQ(port->TakeLineErrors(), TComErrors{}) << "taking the errors clears them";
  port->Parity().SetCheck(true);
  fake->AddLineErrors(device::kCeRxParity | device::kCeFrame);
  EXPECT_EQ(port->TakeLineErrors(), (TComErrors{TComError::ceFrame, TComError::ceRxParity}));
  fake->AddLineErrors(device::kCeOverrun);
  fake->PushReceived("12");
  EXPECT_EQ(port->BytesWaiting(), 2);
  EXPECT_EQ(port->TakeLineErrors(), TComErrors{}) << "BytesWaiting dropped the flags";
}

TEST(LineFlagMapping, ModemStatusBits) {
  using enum LineSignal;
  EXPECT_EQ(ModemStatusToSignals(0x30), (LineSignals{lsCTS, lsDSR}));
  EXPECT_EQ(ModemStatusToSignals(0xF0), (LineSignals{lsCTS, lsDSR, lsRing, lsRLSD}));
  EXPECT_EQ(ModemStatusToSignals(0x40), LineSignals{lsRing});
  EXPECT_EQ(ModemStatusToSignals(0x80), LineSignals{lsRLSD});
  EXPECT_EQ(ModemStatusToSignals(0xFF0F), LineSignals{});
}

TEST(LineFlagMapping, LineErrorFlags) {
  using enum TComError;
  using namespace device;
  struct Case {
    std::uint32_t flags;
    bool check;
    TComErrors expected;
  };
  const Case cases[] = {
      {kCeRxParity | kCeFrame, true, {ceFrame, ceRxParity}},
      {kCeRxParity | kCeFrame, false, {ceFrame}},
      {kCeTxFull | kCeMode, false, {ceTxFull, ceMode}},
      {kCeOverrun | kCeRxOver | kCeBreak | kCeIoe, false, {ceOverrun, ceRxOver, ceBreak, ceIO}},
      {0x0020 | 0x0040 | 0x0200, true, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LineErrorsToComErrors(c.flags, c.check), c.expected) << std::hex << c.flags;
  }
}

}  // namespace
}  // namespace cport
