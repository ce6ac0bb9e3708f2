// The main window offscreen: layout, start-up, handlers and the receive log.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../cport/setup/SetupTestSupport.h"
#include "FakeUi.h"
#include "app/LogView.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"
#include "cport/errors/ComMessages.h"
#include "monitor/SettingsStore.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using cport::testing::DialogDriver;
using cport::testing::FedPortNames;

std::vector<std::string> Lines(monitor::LogStore& log) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < log.LineCount(); ++i) lines.push_back(log.LineText(i));
  return lines;
}

// Preset stored settings, and a record of what the window saved.
class PresetStore final : public monitor::SettingsStore {
 public:
  void Load(monitor::MonitorSettings& s, cport::TCustomComPort& port) override {
    ++loads;
    if (preset) s = *preset;
    if (!port_name.empty()) port.SetPort(port_name);
  }
  void Save(const monitor::MonitorSettings& s, cport::TCustomComPort&) override {
    ++saves;
    saved = s;
  }
  std::optional<monitor::MonitorSettings> preset;
  std::string port_name;
  int loads = 0, saves = 0;
  monitor::MonitorSettings saved{};
};

struct Window {
  explicit Window(PresetStore* store = nullptr)
      : form(MakeOptions(store)) {}
  static TfrmRiriredOz::Options MakeOptions(PresetStore* store) {
    TfrmRiriredOz::Options options;
    options.store = store;
    return options;
  }
  FakeUi ui;
  TfrmRiriredOz form;
};

}  // namespace

TEST(MainWindow, FirstStartShowsTheDefaults) {
  Window w;
  TfrmRiriredOz& f = w.form;
  EXPECT_EQ(f.windowTitle(), "Ririred OZ");
  EXPECT_EQ(f.minimumSize(), QSize(550, 360));
  EXPECT_EQ(f.cmbFormato->currentIndex(), 0);
  EXPECT_EQ(f.cmbFormato->currentText(), "String");
  EXPECT_FALSE(f.ckbAutoConectar->isChecked());
  EXPECT_TRUE(f.ckbAutoPageDown->isChecked());
  EXPECT_FALSE(f.ckbAutoLimparLog->isChecked());
  EXPECT_FALSE(f.ckbMostrarTempo->isChecked());
  EXPECT_TRUE(f.eInicio->text().isEmpty());
  EXPECT_TRUE(f.eFinal->text().isEmpty());
  EXPECT_EQ(f.Settings().Inicio, -1);
  EXPECT_EQ(f.Settings().Final, -1);
  EXPECT_TRUE(f.Settings().AutoPageDown);

  cport::TComPort& port = f.Serial();
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.BaudRate(), cport::TBaudRate::br9600);
  EXPECT_EQ(port.DataBits(), cport::TDataBits::dbEight);
  EXPECT_EQ(port.StopBits(), cport::TStopBits::sbOneStopBit);
  EXPECT_EQ(port.Parity().Bits(), cport::TParityBits::prNone);
  EXPECT_FALSE(port.Connected());

  EXPECT_EQ(f.bbtnConectar->text(), "&Conectar");
  EXPECT_TRUE(f.bbtnConectar->isDefault());
  EXPECT_TRUE(f.lbResultado->text().isEmpty());
  EXPECT_TRUE(w.ui.errors.isEmpty());
  EXPECT_TRUE(w.ui.uncaught.isEmpty());
}

TEST(MainWindow, StartsMaximizedOverItsRestoredBounds) {
  Window w;
  TfrmRiriredOz& f = w.form;
  EXPECT_EQ(f.geometry(), QRect(160, 142, 667, 417));
  f.ShowAtStart();  // what main() does
  QApplication::processEvents();
  EXPECT_TRUE(f.isMaximized());
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.normalGeometry(), QRect(160, 142, 667, 417));
  f.showNormal();
  QApplication::processEvents();
  EXPECT_FALSE(f.isMaximized());
  f.resize(100, 100);  // smaller than the minimum is not allowed
  EXPECT_GE(f.width(), 550);
  EXPECT_GE(f.height(), 360);
}

TEST(MainWindow, ControlsAreLaidOutWithTheirCaptionsAndHints) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.show();
  struct Row {
    const char* name;
    QRect geometry;
    const char* caption;
    const char* hint;
  };
  const Row rows[] = {
      {"bbtnConectar", {8, 6, 94, 28}, "&Conectar", "Inicia ou para a comunição serial."},
      {"btnConfigurar", {8, 37, 94, 27}, "Con&figurar", "Configura a comunicação serial."},
      {"btnLimpar", {8, 67, 94, 26}, "&Limpar", "Limpa o Log serial."},
      {"btnSalvar", {8, 96, 93, 26}, "&Salvar", "Salva o Log serial."},
      {"btnFechar", {8, 127, 93, 27}, "&Fechar", "Fecha o aplicativo."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto* b = f.findChild<QPushButton*>(row.name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->geometry(), row.geometry);
    EXPECT_EQ(b->text(), QString::fromUtf8(row.caption));
    EXPECT_EQ(b->toolTip(), QString::fromUtf8(row.hint));
    EXPECT_TRUE(b->isVisible());
  }
  EXPECT_EQ(f.ckbAutoPageDown->toolTip(),
            QString::fromUtf8("Simula a Tecla Page Down para sempre exibir o final do Log na tela."));
  // The designed width, or wider where this machine's font needs it for the
  // captions (WindowCaptionsTest).
  EXPECT_GE(f.pnDireita->width(), 109);
  EXPECT_EQ(f.pnAbaixo->height(), 57);
  EXPECT_EQ(f.memSerial->objectName(), "memSerial");
  EXPECT_EQ(f.cmbFormato->count(), 4);
  EXPECT_EQ(f.cmbFormato->itemText(3), "Ririred OZ");
  EXPECT_TRUE(f.cmbFormato->isEditable());
  EXPECT_EQ(f.lbResultado->font().family(), "Arial");
  EXPECT_EQ(f.lbResultado->font().pixelSize(), 43);
  EXPECT_TRUE(f.lbResultado->font().bold());
  EXPECT_EQ(f.lbResultado->pos(), QPoint(177, 5));

  // Hidden at start, and nothing shows them; they still exist with handlers.
  for (const char* name : {"grbxQuebra", "Label1", "eEnviar", "btnEnviar", "lEspecial",
                           "eEspecial", "lTipo", "cmbTipo", "btnEnviarEsp"}) {
    auto* widget = f.findChild<QWidget*>(name);
    ASSERT_NE(widget, nullptr) << name;
    EXPECT_FALSE(widget->isVisible()) << name;
  }
  EXPECT_TRUE(f.lbResultado->isVisible());
}

TEST(MainWindow, LowerPanelLaysOutTheSendRowsForItsWidth) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.resize(600 + f.pnDireita->width(), 417);  // pnAbaixo takes what pnDireita leaves
  f.show();
  QApplication::processEvents();
  ASSERT_EQ(f.pnAbaixo->width(), 600);
  EXPECT_EQ(f.eEnviar->width(), 465);
  EXPECT_EQ(f.btnEnviar->x(), 520);
  EXPECT_EQ(f.btnEnviarEsp->x(), 520);
  EXPECT_EQ(f.eEspecial->width(), 275);
  EXPECT_EQ(f.lTipo->x(), 370);
  EXPECT_EQ(f.cmbTipo->x(), 400);
  EXPECT_EQ(f.lbResultado->pos(), QPoint(177, 5));
  EXPECT_EQ(f.eEnviar->y(), 4);
}

TEST(MainWindow, ByteFormatsGiveOneLinePerByte) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Bytes{72, 105, 13, 10});
  EXPECT_EQ(Lines(f.Log()), (std::vector<std::string>{"H", "i", " CHR(13) ", " CHR(10) "}));

  f.btnLimparClick();
  f.Settings().Formato = 2;
  f.PresentReceived(Bytes{0, 255});
  EXPECT_EQ(Lines(f.Log()), (std::vector<std::string>{"00 ", "FF "}));

  f.btnLimparClick();
  f.Settings().Formato = 1;
  f.Settings().Inicio = 2;
  f.Settings().Final = 3;
  f.PresentReceived(Bytes{1, 2, 3, 4});
  EXPECT_EQ(Lines(f.Log()), (std::vector<std::string>{"1 ", "", "2 ", "3 ", "", "4 "}));

  f.btnLimparClick();
  f.Settings().Formato = 9;
  f.Settings().Inicio = f.Settings().Final = -1;
  f.PresentReceived(Bytes{65, 66});
  EXPECT_EQ(Lines(f.Log()), (std::vector<std::string>{" ", " "}));
}

TEST(MainWindow, RiriredOzFormatBreaksBeforeInicioOnlyAndShowsNoBytes) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.Settings().Formato = 3;
  f.Settings().Inicio = 250;
  f.Settings().Final = 250;
  f.PresentReceived(Bytes{1, 250, 2, 250});
  EXPECT_EQ(Lines(f.Log()), (std::vector<std::string>{"", ""}));
}

TEST(MainWindow, ClearEmptiesTheLogAndResetsTheLabel) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Bytes{1, 2, 3});
  f.lbResultado->setText("APROVADA");
  f.btnLimpar->click();
  EXPECT_EQ(f.Log().LineCount(), 0u);
  EXPECT_TRUE(f.lbResultado->text().isEmpty());
  EXPECT_EQ(f.lbResultado->palette().color(QPalette::WindowText), QColor(0, 128, 0));
  EXPECT_EQ(f.Log().InsertionColour(), monitor::kBlue);
}

TEST(MainWindow, SaveAddsTheProposedExtensionAndWritesRtf) {
  Window w;
  TfrmRiriredOz& f = w.form;
  QTemporaryDir dir;
  f.PresentReceived(Bytes{'O', 'K'});
  w.ui.saveAnswer = dir.filePath("captura");
  f.btnSalvar->click();
  EXPECT_EQ(w.ui.lastFilter, "*.txt");
  EXPECT_EQ(w.ui.lastSuffix, "txt");
  EXPECT_TRUE(QTest::qWaitFor([&] { return !f.findChild<QWidget*>("dlgSalvando"); }));
  QFile file(dir.filePath("captura.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().startsWith("{\\rtf1"));
  EXPECT_TRUE(w.ui.uncaught.isEmpty());

  w.ui.saveAnswer.reset();  // cancelled: nothing happens
  f.btnSalvar->click();
  EXPECT_TRUE(w.ui.uncaught.isEmpty());
}

TEST(MainWindow, SaveFailureGoesToTheDefaultReportAndKeepsTheLog) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Bytes{'x'});
  w.ui.saveAnswer = QStringLiteral("/nonexistent-dir/sub/log.txt");
  f.btnSalvar->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.ui.uncaught.isEmpty(); }));
  EXPECT_EQ(w.ui.uncaught.size(), 1);
  EXPECT_EQ(f.Log().LineCount(), 1u);
}

TEST(MainWindow, LineBreakEditsParseTheIntegerRuleAndKeepTheValueOnError) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.eInicio->setText("$0D");
  EXPECT_EQ(f.Settings().Inicio, 13);
  f.eInicio->setText("$");
  EXPECT_EQ(f.Settings().Inicio, 13);
  ASSERT_EQ(w.ui.plain.size(), 1);
  EXPECT_EQ(w.ui.plain[0], QString::fromUtf8("Byte de Quebra de Linha Inicial Inválido!"));
  f.eInicio->setText("");
  EXPECT_EQ(f.Settings().Inicio, -1);
  f.eFinal->setText("300");
  EXPECT_EQ(f.Settings().Final, 300);
  f.eFinal->setText("1 ");
  EXPECT_EQ(f.Settings().Final, 300);
  ASSERT_EQ(w.ui.plain.size(), 2);
  EXPECT_EQ(w.ui.plain[1], QString::fromUtf8("Byte de Quebra de Linha Final Inválido!"));
}

TEST(MainWindow, FormatBoxFollowsTheOperatorOnly) {
  PresetStore store;
  monitor::MonitorSettings s{};
  monitor::SetStartDefaults(s);
  s.Formato = 2;
  store.preset = s;
  Window w(&store);
  TfrmRiriredOz& f = w.form;
  EXPECT_EQ(f.cmbFormato->currentIndex(), 2);  // selected by the program at start
  f.cmbFormato->setCurrentIndex(0);            // by program: no handler
  EXPECT_EQ(f.Settings().Formato, 2);

  // The operator: arrow keys on the box, then a text that names no item.
  QTest::keyClick(f.cmbFormato, Qt::Key_Down);
  EXPECT_EQ(f.cmbFormato->currentIndex(), 1);
  EXPECT_EQ(f.Settings().Formato, 1);
  QTest::keyClick(f.cmbFormato, Qt::Key_Up);
  EXPECT_EQ(f.Settings().Formato, 0);
  f.cmbFormato->lineEdit()->selectAll();
  QTest::keyClicks(f.cmbFormato->lineEdit(), "xyz");
  EXPECT_EQ(f.Settings().Formato, 255);
}

TEST(MainWindow, StoredSettingsAreShownAtStart) {
  PresetStore store;
  monitor::MonitorSettings s{};
  s.Formato = 7;
  s.Inicio = 13;
  s.Final = -1;
  s.AutoPageDown = false;
  s.MostrarTempo = true;
  store.preset = s;
  Window w(&store);
  TfrmRiriredOz& f = w.form;
  EXPECT_EQ(store.loads, 1);
  EXPECT_EQ(f.cmbFormato->currentIndex(), -1);
  EXPECT_EQ(f.Settings().Formato, 7);
  EXPECT_EQ(f.eInicio->text(), "13");
  EXPECT_EQ(f.Settings().Inicio, 13);
  EXPECT_TRUE(f.eFinal->text().isEmpty());
  EXPECT_FALSE(f.ckbAutoPageDown->isChecked());
  EXPECT_TRUE(f.ckbMostrarTempo->isChecked());
  EXPECT_TRUE(w.ui.plain.isEmpty());

  f.close();
  EXPECT_EQ(store.saves, 1);
  EXPECT_EQ(store.saved.Formato, 7);
  EXPECT_EQ(store.saved.Inicio, 13);
}

TEST(MainWindow, AutoConnectToAMissingPortReportsOnceAndOpensDisconnected) {
  PresetStore store;
  monitor::MonitorSettings s{};
  monitor::SetStartDefaults(s);
  s.AutoConectar = true;
  store.preset = s;
  store.port_name = "/nonexistent/ttyRIRIRED";
  Window w(&store);
  TfrmRiriredOz& f = w.form;
  ASSERT_EQ(w.ui.uncaught.size(), 1);
  EXPECT_TRUE(w.ui.uncaught[0].startsWith("Unable to open com port")) << w.ui.uncaught[0].toStdString();
  EXPECT_FALSE(f.Serial().Connected());
  EXPECT_EQ(f.bbtnConectar->text(), "&Conectar");
  EXPECT_EQ(f.lbResultado->text(), "RESULTADO");
}

TEST(MainWindow, FailedConnectClickIsReportedAndTheButtonKeepsItsKind) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.Serial().SetPort("/nonexistent/ttyRIRIRED");
  f.bbtnConectar->click();
  ASSERT_EQ(w.ui.uncaught.size(), 1);
  EXPECT_EQ(w.ui.uncaught[0].toStdString(),
            "Unable to open com port (system error 2: " + cport::SystemErrorText(2) + ")");
  EXPECT_EQ(f.bbtnConectar->text(), "&Conectar");
  EXPECT_TRUE(f.bbtnConectar->isDefault());
}

TEST(MainWindow, EscOpensTheSetupDialog) {
  FedPortNames names({"ttyS0"});
  Window w;
  TfrmRiriredOz& f = w.form;
  f.show();
  QApplication::setActiveWindow(&f);
  if (!QTest::qWaitForWindowActive(&f, 1000)) GTEST_SKIP() << "the window cannot be activated here";
  f.cmbFormato->setFocus();
  DialogDriver driver([](cport::TComSetupFrm& form) { form.Button2->click(); });
  QTest::keyClick(f.cmbFormato, Qt::Key_Escape);
  EXPECT_TRUE(driver.Shown());
  EXPECT_TRUE(w.ui.uncaught.isEmpty());
}

TEST(MainWindow, EnterRunsTheFocusedButtonOrElseTheConnectButton) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.Serial().SetPort("/nonexistent/ttyRIRIRED");
  f.show();
  QApplication::setActiveWindow(&f);
  // A bare X server without a window manager never activates the window,
  // and shortcuts only reach an active one.
  if (!QTest::qWaitForWindowActive(&f, 1000)) GTEST_SKIP() << "the window cannot be activated here";
  f.PresentReceived(Bytes{1, 2});

  f.btnLimpar->setFocus();
  QTest::keyClick(f.btnLimpar, Qt::Key_Return);
  EXPECT_EQ(f.Log().LineCount(), 0u);
  EXPECT_TRUE(w.ui.uncaught.isEmpty()) << "the connect button did not run";

  f.ckbMostrarTempo->setFocus();
  QTest::keyClick(f.ckbMostrarTempo, Qt::Key_Return);
  ASSERT_EQ(w.ui.uncaught.size(), 1) << "the default button tried to connect";
  EXPECT_TRUE(w.ui.uncaught[0].startsWith("Unable to open com port"));
}
