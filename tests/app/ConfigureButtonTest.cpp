// The configure button runs the port setup dialog on Serial.
#include <QPushButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "../cport/setup/SetupTestSupport.h"
#include "FakeUi.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "cport/errors/ComMessages.h"

namespace {

using cport::testing::DialogDriver;
using cport::testing::FedPortNames;
using cport::testing::Pick;

struct Window {
  FakeUi ui;
  TfrmRiriredOz form;
};

TEST(ConfigureButton, OkAppliesTheChosenSettingsToSerial) {
  FedPortNames names({"ttyUSB0", "ttyS0"});
  Window w;
  DialogDriver driver([](cport::TComSetupFrm& form) {
    EXPECT_EQ(form.Combo1->Text(), "COM1");  // Serial's name, not a port of this machine
    Pick(*form.Combo1, "ttyUSB0");
    Pick(*form.Combo2, "115200");
    form.Button1->click();
  });
  w.form.btnConfigurar->click();
  EXPECT_TRUE(driver.Shown());
  EXPECT_EQ(w.form.Serial().Port(), "ttyUSB0");
  EXPECT_EQ(w.form.Serial().BaudRate(), cport::TBaudRate::br115200);
  EXPECT_TRUE(w.ui.uncaught.isEmpty());
}

TEST(ConfigureButton, AnUnreadablePortListReachesTheDefaultReport) {
  FedPortNames names({}, std::error_code(EACCES, std::system_category()));
  Window w;
  DialogDriver driver([](cport::TComSetupFrm& form) { form.Button2->click(); });
  w.form.btnConfigurar->click();
  QCoreApplication::processEvents();
  EXPECT_FALSE(driver.Shown());
  EXPECT_EQ(w.ui.uncaught,
            QStringList{QString("Registry error (system error %1: %2)")
                            .arg(EACCES)
                            .arg(QString::fromStdString(cport::SystemErrorText(EACCES)))});
  EXPECT_EQ(w.form.Serial().Port(), "COM1");
}

}  // namespace
