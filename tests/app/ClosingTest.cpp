// Closing: "Fechar" closes an open port and the window, the title bar's
// close saves the settings while connected, and a port that fails to close
// is reported and stays open.
#include <QCheckBox>
#include <QPushButton>
#include <QWindow>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

#include "../cport/SharedFakeDevice.h"
#include "../cport/TempDir.h"
#include "../cport/device/PtyPair.h"
#include "FakeUi.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "monitor/RegistrySettingsStore.h"

namespace {

using cport::device::FakeCall;
using cport::device::FakeComDevice;
using cport::device::testing::PtyPair;
using cport::testing::ReadBytes;
using cport::testing::SharedFakeDevice;
using cport::testing::TempDir;

TEST(Closing, FecharClosesTheOpenPortAndTheWindow) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  FakeUi ui;
  TfrmRiriredOz f;
  f.Serial().SetPort(pty.path());
  f.show();
  f.bbtnConectar->click();
  ASSERT_TRUE(f.Serial().Connected());
  f.btnFechar->click();
  EXPECT_FALSE(f.Serial().Connected());
  EXPECT_FALSE(f.isVisible());
  EXPECT_TRUE(ui.uncaught.isEmpty()) << ui.uncaught.join("\n").toStdString();
}

TEST(Closing, TheTitleBarCloseWhileConnectedSavesTheSettings) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TempDir dir;
  FakeUi ui;
  monitor::RegistrySettingsStore store(
      [&ui](const std::string& text) { ui.ShowError(nullptr, QString::fromStdString(text)); },
      dir / "RiriredOZ");
  TfrmRiriredOz::Options options;
  options.store = &store;
  TfrmRiriredOz f(options);
  f.Serial().SetPort(pty.path());
  f.Serial().SetBaudRate(cport::TBaudRate::br19200);
  f.show();
  f.bbtnConectar->click();
  ASSERT_TRUE(f.Serial().Connected());
  f.ckbMostrarTempo->click();

  // What the window manager's close button does.
  ASSERT_NE(f.windowHandle(), nullptr);
  EXPECT_TRUE(f.windowHandle()->close());
  EXPECT_FALSE(f.isVisible());
  const std::string saved = ReadBytes(dir / "RiriredOZ" / "HKEY_LOCAL_MACHINE.reg");
  EXPECT_NE(saved.find("\"Port\"=\"" + pty.path() + "\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"BaudRate\"=dword:00000009"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"MostrarTempo\"=dword:00000001"), std::string::npos) << saved;
  EXPECT_TRUE(ui.errors.isEmpty()) << ui.errors.join("\n").toStdString();
}

TEST(Closing, APortThatFailsToCloseIsReportedAndStaysOpen) {
  auto fake = std::make_shared<FakeComDevice>();
  TfrmRiriredOz::Options options;
  options.makeDevice = [fake] { return std::make_unique<SharedFakeDevice>(fake); };
  FakeUi ui;
  TfrmRiriredOz f(options);
  f.show();
  f.bbtnConectar->click();
  ASSERT_TRUE(f.Serial().Connected());

  fake->FailCall(FakeCall::kPurge, EIO, 1);
  f.bbtnConectar->click();
  ASSERT_EQ(ui.uncaught.size(), 1);
  EXPECT_TRUE(ui.uncaught[0].startsWith("PurgeComm function failed"))
      << ui.uncaught[0].toStdString();
  EXPECT_TRUE(f.Serial().Connected());
  EXPECT_EQ(f.bbtnConectar->text(), "&Desconectar");

  fake->FailCall(FakeCall::kPurge, EIO, 1);
  f.btnFechar->click();
  EXPECT_EQ(ui.uncaught.size(), 2);
  EXPECT_TRUE(f.Serial().Connected());
  EXPECT_TRUE(f.isVisible()) << "the window closes only once the port has";
  f.btnFechar->click();
  EXPECT_FALSE(f.Serial().Connected());
  EXPECT_FALSE(f.isVisible());
}

}  // namespace
