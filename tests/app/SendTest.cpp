// The two send rows of the lower panel, writing to a real pseudo-terminal.
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <string>

#include "../cport/device/PtyPair.h"
#include "FakeUi.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"

namespace {

using cport::device::testing::PtyPair;
using std::chrono::milliseconds;

const QString kNotConnected = QString::fromUtf8("Erro ao enviar dados.\r\nE necessário estar conectado.");
const QString kInvalid = QString::fromUtf8("Erro ao enviar dados.\r\nO buffer de dados é inválido.");

struct SendWindow {
  SendWindow() : form(MakeOptions()) {
    EXPECT_TRUE(pty.ok());
    form.Serial().SetPort(pty.path());
  }
  static TfrmRiriredOz::Options MakeOptions() {
    TfrmRiriredOz::Options options;
    options.localNow = [] { return monitor::LocalDateTime{12, 7, 23, 45}; };
    return options;
  }
  void Connect() {
    form.Serial().OpenPort();
    ASSERT_TRUE(form.Serial().Connected());
  }
  // What reached the other side of the line (nothing more arrives within
  // the short wait when `n` bytes are expected).
  std::string Sent(std::size_t n) {
    std::string got = pty.Receive(n);
    std::string extra = pty.Receive(1, milliseconds(20));
    return got + extra;
  }
  std::string Send(const char* utf8) {
    form.eEnviar->setText(QString::fromUtf8(utf8));
    form.btnEnviar->click();
    return pty.Receive(256, milliseconds(50));
  }
  PtyPair pty;
  FakeUi ui;
  TfrmRiriredOz form;
};

}  // namespace

TEST(SendRow, ByteListsAndQuotedStringsReachTheLine) {
  SendWindow w;
  w.Connect();
  const struct {
    const char* typed;
    std::string sent;
  } cases[] = {
      {"234 30 83", "\xEA\x1E\x53"},
      {"$23 $35 $34", "\x23\x35\x34"},
      {"0x41 X42", "AB"},
      {"256", std::string(1, '\0')},
      {"-1", "\xFF"},
      {"$1FF", "\xFF"},
      {"65 66 ", "AB"},
      {"\"ABC\"", "ABC"},
      {"ab\"cd", "b\"c"},
      {"\"", ""},
      {"", ""},
      {"\"ação\"", "a\xE7\xE3o"},  // sent as Windows-1252
  };
  for (const auto& c : cases) {
    EXPECT_EQ(w.Send(c.typed), c.sent) << c.typed;
  }
  EXPECT_TRUE(w.ui.errors.isEmpty());
}

TEST(SendRow, InvalidListsSendNothingAndSayWhy) {
  SendWindow w;
  w.Connect();
  for (const char* typed : {"1  2", "1\t2", "12 ab", " 1"}) {
    w.ui.errors.clear();
    EXPECT_EQ(w.Send(typed), "") << typed;
    ASSERT_EQ(w.ui.errors.size(), 1) << typed;
    EXPECT_EQ(w.ui.errors[0], kInvalid);
  }
  std::string many;
  for (int i = 0; i < 252; ++i) many += "1 ";
  many.pop_back();
  w.ui.errors.clear();
  EXPECT_EQ(w.Send(many.c_str()), "");
  EXPECT_EQ(w.ui.errors.size(), 1);
}

TEST(SendRow, NotConnectedIsReportedBeforeAnythingIsRead) {
  SendWindow w;
  EXPECT_EQ(w.Send("65"), "");
  ASSERT_EQ(w.ui.errors.size(), 1);
  EXPECT_EQ(w.ui.errors[0], kNotConnected);
}

TEST(SpecialSendRow, CallerIdMessageReachesTheLine) {
  SendWindow w;
  w.Connect();
  w.form.eEspecial->setText("abc");
  w.form.btnEnviarEsp->click();
  std::string expected(30, 'U');
  expected += "\x04\x0B" "12072345abc\x33";
  EXPECT_EQ(w.Sent(44), expected);

  w.form.eEspecial->setText(QString(209, 'x'));
  w.form.btnEnviarEsp->click();
  EXPECT_EQ(w.Sent(250).size(), 250u);
  EXPECT_TRUE(w.ui.errors.isEmpty());
}

TEST(SpecialSendRow, EmptyTooLongAndNotConnectedSendNothing) {
  SendWindow w;
  w.form.eEspecial->setText("");
  w.form.btnEnviarEsp->click();
  w.form.eEspecial->setText("123");
  w.form.btnEnviarEsp->click();
  ASSERT_EQ(w.ui.errors.size(), 2);
  EXPECT_EQ(w.ui.errors[0], QString::fromUtf8("Erro ao enviar buffer.\r\nBuffer vazio!"));
  EXPECT_EQ(w.ui.errors[1], kNotConnected);

  w.Connect();
  w.form.eEspecial->setText(QString(210, 'x'));
  w.form.btnEnviarEsp->click();
  EXPECT_EQ(w.pty.Receive(1, milliseconds(50)), "");
  ASSERT_EQ(w.ui.errors.size(), 3);
  EXPECT_TRUE(w.ui.errors[2].startsWith("Erro ao enviar buffer.\r\n"));
}

TEST(SpecialSendRow, FailedWriteGoesToTheDefaultReport) {
  SendWindow w;
  w.Connect();
  w.pty.CloseMaster();  // the line is gone
  w.form.eEspecial->setText("abc");
  w.form.btnEnviarEsp->click();
  ASSERT_EQ(w.ui.uncaught.size(), 1);
  EXPECT_TRUE(w.ui.uncaught[0].startsWith("WriteFile function failed")) << w.ui.uncaught[0].toStdString();
}
