// The main window with the real settings store over a registry file in a
// temporary directory: closing and starting again, changes stored at once,
// connecting at start, and store failures at start, on a change and at close.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <filesystem>
#include <string>

#include "../cport/TempDir.h"
#include "../cport/device/PtyPair.h"
#include "../cport/setup/SetupTestSupport.h"
#include "FakeUi.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "monitor/RegistrySettingsStore.h"

namespace {

namespace fs = std::filesystem;
using cport::testing::ReadBytes;
using cport::testing::TempDir;
using cport::testing::WriteBytes;

const QString kPrefix = QString::fromUtf8("Erro ao salvar configuraþ§es do CTI.Erro: ");
const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n";

// One run of the program: the window over a store in `directory`, reporting
// as main() does.
struct ProgramRun {
  explicit ProgramRun(const fs::path& directory, CommandLineOverrides overrides = {})
      : store(
            [](const std::string& text) { Ui().ShowError(nullptr, QString::fromStdString(text)); },
            directory),
        form(MakeOptions(&store, std::move(overrides))) {}
  static TfrmRiriredOz::Options MakeOptions(monitor::SettingsStore* store,
                                            CommandLineOverrides overrides) {
    TfrmRiriredOz::Options options;
    options.store = store;
    options.overrides = std::move(overrides);
    return options;
  }
  FakeUi ui;
  monitor::RegistrySettingsStore store;
  TfrmRiriredOz form;
};

class SettingsStoreWindow : public ::testing::Test {
 protected:
  fs::path Directory() const { return dir / "RiriredOZ"; }
  fs::path File() const { return Directory() / "HKEY_LOCAL_MACHINE.reg"; }
  TempDir dir;
};

TEST_F(SettingsStoreWindow, ClosingAndStartingAgainBringsBackEveryOptionAndPortSetting) {
  {
    ProgramRun first(Directory());
    TfrmRiriredOz& f = first.form;
    f.show();
    f.cmbFormato->setCurrentIndex(3);  // as the operator picks it
    emit f.cmbFormato->activated(3);
    f.eInicio->setText("$0D");
    f.eFinal->setText("10");
    f.ckbAutoPageDown->setChecked(false);
    f.ckbAutoLimparLog->setChecked(true);
    f.ckbMostrarTempo->setChecked(true);
    f.Serial().SetPort("/dev/ttyS4");
    f.Serial().SetBaudRate(cport::TBaudRate::br19200);
    f.Serial().SetStopBits(cport::TStopBits::sbTwoStopBits);
    f.Serial().SetDataBits(cport::TDataBits::dbSeven);
    f.Serial().Parity().SetBits(cport::TParityBits::prOdd);
    f.close();
    EXPECT_TRUE(first.ui.errors.isEmpty());
  }
  ProgramRun second(Directory());
  TfrmRiriredOz& f = second.form;
  EXPECT_TRUE(second.ui.errors.isEmpty());
  EXPECT_EQ(f.cmbFormato->currentIndex(), 3);
  EXPECT_EQ(f.eInicio->text(), "13");
  EXPECT_EQ(f.eFinal->text(), "10");
  EXPECT_FALSE(f.ckbAutoConectar->isChecked());
  EXPECT_FALSE(f.ckbAutoPageDown->isChecked());
  EXPECT_TRUE(f.ckbAutoLimparLog->isChecked());
  EXPECT_TRUE(f.ckbMostrarTempo->isChecked());
  EXPECT_EQ(f.Serial().Port(), "/dev/ttyS4");
  EXPECT_EQ(f.Serial().BaudRate(), cport::TBaudRate::br19200);
  EXPECT_EQ(f.Serial().StopBits(), cport::TStopBits::sbTwoStopBits);
  EXPECT_EQ(f.Serial().DataBits(), cport::TDataBits::dbSeven);
  EXPECT_EQ(f.Serial().Parity().Bits(), cport::TParityBits::prOdd);
  EXPECT_FALSE(f.Serial().Connected());
}

// What a killed program leaves: every option the operator changed, and the
// port settings chosen in the setup dialog, are stored before any close.
TEST_F(SettingsStoreWindow, EachChangeIsStoredAtOnce) {
  cport::testing::FedPortNames names({"ttyS4"});
  ProgramRun first(Directory());
  TfrmRiriredOz& f = first.form;
  f.show();
  f.ckbMostrarTempo->click();
  QTest::keyClick(f.cmbFormato, Qt::Key_Down);
  QTest::keyClicks(f.eFinal, "10");
  cport::testing::DialogDriver driver([](cport::TComSetupFrm& form) {
    cport::testing::Pick(*form.Combo1, "ttyS4");
    cport::testing::Pick(*form.Combo2, "19200");
    form.Button1->click();
  });
  f.btnConfigurar->click();
  ASSERT_TRUE(driver.Shown());

  ProgramRun second(Directory());
  EXPECT_TRUE(second.form.ckbMostrarTempo->isChecked());
  EXPECT_EQ(second.form.cmbFormato->currentIndex(), 1);
  EXPECT_EQ(second.form.eFinal->text(), "10");
  EXPECT_EQ(second.form.Serial().Port(), "ttyS4");
  EXPECT_EQ(second.form.Serial().BaudRate(), cport::TBaudRate::br19200);
  EXPECT_TRUE(second.ui.errors.isEmpty()) << second.ui.errors.join("\n").toStdString();
}

// A full disk or an unwritable place: one box for a run of failing changes,
// and the close reports as it always has.
TEST_F(SettingsStoreWindow, AChangeThatKeepsFailingToSaveIsReportedOnce) {
  WriteBytes(dir / "plain", "");
  ProgramRun run(dir / "plain" / "RiriredOZ");
  TfrmRiriredOz& f = run.form;
  f.show();
  f.ckbMostrarTempo->click();
  f.ckbMostrarTempo->click();
  f.ckbAutoLimparLog->click();
  ASSERT_EQ(run.ui.errors.size(), 1);
  EXPECT_TRUE(run.ui.errors[0].startsWith(kPrefix + "Failed to set data for 'Port'"));
  f.close();
  EXPECT_EQ(run.ui.errors.size(), 2);
  EXPECT_EQ(run.ui.errors[1], run.ui.errors[0]);
}

TEST_F(SettingsStoreWindow, AutoConectarOpensAPresentPortAtStart) {
  cport::device::testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  WriteBytes(File(),
             kHead + "\"Port\"=\"" + pty.path() + "\"\r\n\"AutoConectar\"=dword:00000001\r\n");
  ProgramRun run(Directory());
  TfrmRiriredOz& f = run.form;
  EXPECT_TRUE(run.ui.uncaught.isEmpty()) << run.ui.uncaught.join("\n").toStdString();
  EXPECT_TRUE(f.Serial().Connected());
  EXPECT_EQ(f.bbtnConectar->text(), "&Desconectar");
  EXPECT_TRUE(f.ckbAutoConectar->isChecked());
  EXPECT_TRUE(f.lbResultado->text().isEmpty());
}

TEST_F(SettingsStoreWindow, AutoConectarWithTheDeviceGoneReportsOnceAndOpensDisconnected) {
  WriteBytes(File(),
             kHead + "\"Port\"=\"/nonexistent/ttyRIRIRED\"\r\n\"AutoConectar\"=dword:00000001\r\n");
  ProgramRun run(Directory());
  TfrmRiriredOz& f = run.form;
  ASSERT_EQ(run.ui.uncaught.size(), 1);
  EXPECT_TRUE(run.ui.uncaught[0].startsWith("Unable to open com port"));
  EXPECT_TRUE(run.ui.errors.isEmpty());
  EXPECT_FALSE(f.Serial().Connected());
  EXPECT_EQ(f.bbtnConectar->text(), "&Conectar");
  EXPECT_EQ(f.lbResultado->text(), "RESULTADO");
}

// A hand-edited value of the wrong type among eleven good ones: reported at
// start, and the close writes back the eleven as they were, with the
// window's value in place of the bad one.
TEST_F(SettingsStoreWindow, OneBadValueAmongElevenGoodOnesCostsOnlyItself) {
  const std::string head = kHead + "\"Port\"=\"COM2\"\r\n";
  const std::string tail =
      "\"StopBits\"=dword:00000002\r\n\"DataBits\"=dword:00000002\r\n"
      "\"Parity\"=dword:00000001\r\n\"Formato\"=dword:00000001\r\n"
      "\"Inicio\"=dword:0000000d\r\n\"Final\"=dword:0000000a\r\n"
      "\"AutoConectar\"=dword:00000000\r\n\"AutoPageDown\"=dword:00000000\r\n"
      "\"AutoLimparLog\"=dword:00000001\r\n\"MostrarTempo\"=dword:00000001\r\n";
  WriteBytes(File(), head + "\"BaudRate\"=\"115200\"\r\n" + tail);
  {
    ProgramRun run(Directory());
    TfrmRiriredOz& f = run.form;
    ASSERT_EQ(run.ui.errors.size(), 1);
    EXPECT_EQ(run.ui.errors[0], kPrefix + "Invalid data type for 'BaudRate'");
    EXPECT_EQ(f.Serial().BaudRate(), cport::TBaudRate::br9600);
    EXPECT_EQ(f.Serial().StopBits(), cport::TStopBits::sbTwoStopBits);
    EXPECT_EQ(f.cmbFormato->currentIndex(), 1);
    EXPECT_EQ(f.eFinal->text(), "10");
    EXPECT_FALSE(f.ckbAutoPageDown->isChecked());
    EXPECT_TRUE(f.ckbMostrarTempo->isChecked());
    f.show();
    f.close();
    EXPECT_EQ(run.ui.errors.size(), 1);
  }
  EXPECT_EQ(ReadBytes(File()), head + "\"BaudRate\"=dword:00000007\r\n" + tail);
}

TEST_F(SettingsStoreWindow, AnUnwritableLocationReportsPortOnceAndTheWindowStillCloses) {
  WriteBytes(dir / "plain", "");
  ProgramRun run(dir / "plain" / "RiriredOZ");
  TfrmRiriredOz& f = run.form;
  f.show();
  EXPECT_TRUE(f.close());
  EXPECT_FALSE(f.isVisible());
  ASSERT_EQ(run.ui.errors.size(), 1);
  EXPECT_EQ(run.ui.errors[0],
            kPrefix + "Failed to set data for 'Port': " +
                QString::fromStdString(
                    (dir / "plain" / "RiriredOZ" / "HKEY_LOCAL_MACHINE.reg").string()) +
                ": Not a directory");
  EXPECT_TRUE(run.ui.uncaught.isEmpty());
}

// The command line's port, speed and format hold for that run only: a save
// (at a change, at close) stores what was loaded, until the operator changes
// that setting in the window.
TEST_F(SettingsStoreWindow, CommandLineSettingsAreNotStoredUnlessTheOperatorChangesThem) {
  WriteBytes(File(), kHead + "\"Port\"=\"ttyS4\"\r\n\"BaudRate\"=dword:00000007\r\n"
                             "\"Formato\"=dword:00000001\r\n");
  CommandLineOverrides overrides;
  overrides.port = "/dev/ttyUSB3";
  overrides.baudRate = cport::TBaudRate::brCustom;
  overrides.customBaudRate = 250000;
  overrides.formato = monitor::kFormatoRiriredOz;
  {
    ProgramRun run(Directory(), overrides);
    TfrmRiriredOz& f = run.form;
    EXPECT_EQ(f.Serial().Port(), "/dev/ttyUSB3");
    EXPECT_EQ(f.Serial().CustomBaudRate(), 250000);
    EXPECT_EQ(f.cmbFormato->currentIndex(), 3);
    f.ckbMostrarTempo->setChecked(true);  // saved at once, beside the loaded port
    const std::string saved = ReadBytes(File());
    EXPECT_NE(saved.find("\"Port\"=\"ttyS4\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"BaudRate\"=dword:00000007"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"Formato\"=dword:00000001"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"MostrarTempo\"=dword:00000001"), std::string::npos) << saved;
    f.cmbFormato->setCurrentIndex(2);  // the operator's own choice is stored
    emit f.cmbFormato->activated(2);
    f.close();
  }
  const std::string saved = ReadBytes(File());
  EXPECT_NE(saved.find("\"Port\"=\"ttyS4\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"Formato\"=dword:00000002"), std::string::npos) << saved;
}

}  // namespace
