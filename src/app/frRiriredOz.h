#pragma once
// The main window: connect and configure the port, watch the receive log,
// choose the display format and the options, clear and save the log, and
// read the verdict of a test run.
//
// Everything here runs on the user-interface thread, the port's received
// bytes included (they arrive through OnRxChar), apart from the workers of a
// save ("Salvar") and a copy, which read snapshots of the log.
//
// Test runs: in the "Ririred OZ" format the window counts this session's
// verdicts (lbContagem, beside the verdict; "Zerar contagem" resets them,
// "Limpar" does not) and, with an evidence folder chosen ("Salvar cada teste
// em…"), saves each run, from its test start to its verdict, as an RTF file
// of its own (EvidenceSaver). A run cut by "Limpar", a test start that clears
// the log, a new test start, a closed or lost port, or the window's close is
// saved as interrupted. A folder that cannot be written is reported once
// until a save there succeeds again; the option stays on.
//
// Ctrl+F (or "Localizar…") opens the find bar under the log (FindBar).
//
// The options and the port's settings are saved when the window closes and
// also as soon as the operator changes one of them (a check box, the format,
// an accepted line-break byte, the setup dialog's settings), so that a killed
// program loses none. A save that fails on a change is reported as the one
// at close is, once for as long as it keeps failing the same way.
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "app/CommandLine.h"
#include "app/PortLineMonitor.h"
#include "app/PortStatusPanel.h"
#include "app/RepeatedErrorFilter.h"
#include "monitor/CallerIdMessage.h"
#include "monitor/log/LogStore.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ReceivePresenter.h"
#include "monitor/ReportDecoder.h"
#include "monitor/RunRecord.h"
#include "monitor/RunTally.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class EvidenceSaver;
class FindBar;
class LogSaveJob;
class LogView;

namespace monitor {
class MonitorIni;
class SettingsStore;
}
namespace cport {
class TComPort;
class TCustomComPort;
namespace device {
class ComDevice;
}
}  // namespace cport

class TfrmRiriredOz : public QWidget,
                     private monitor::ReportByteSink,
                     private monitor::ReportSink {
  Q_OBJECT

 public:
  struct Options {
    // The device Serial works on; the platform's serial device when empty
    // (tests give an in-memory one).
    std::function<std::unique_ptr<cport::device::ComDevice>()> makeDevice;
    // Loads the options at start and saves them on each change and at
    // close; nothing is loaded or saved when null.
    monitor::SettingsStore* store = nullptr;
    // The local time of day as a fraction of a day, for the report decoder.
    std::function<double()> timeOfDay;
    // Where RiriredOz.ini is looked for; the executable's directory if empty.
    std::filesystem::path programDir;
    // The local date and time the caller-ID message carries.
    std::function<monitor::LocalDateTime()> localNow;
    // The receive log's memory bound and spill directory (tests use tiny
    // bounds).
    monitor::LogStoreOptions logOptions;
    // What the command line sets for this run (CommandLine.h): applied over
    // the loaded settings, and never stored unless the operator changes that
    // setting in the window.
    CommandLineOverrides overrides;
  };

  explicit TfrmRiriredOz(QWidget* parent = nullptr);
  TfrmRiriredOz(Options options, QWidget* parent = nullptr);
  ~TfrmRiriredOz() override;

  cport::TComPort& Serial() { return *serial_; }
  monitor::MonitorSettings& Settings() { return settings_; }
  monitor::LogStore& Log() { return log_; }
  monitor::ReportDecoder& Decoder() { return decoder_; }
  // The description file reader; null before FormCreate and after FormClose.
  monitor::MonitorIni* MonitorIni() { return monitorIni_.get(); }

  // The receive handler bound to Serial's OnRxChar: reads the Count bytes
  // waiting (at most one buffer of 1024 per pass) and presents them.
  void SerialRxChar(cport::TCustomComPort& sender, int count);
  // Presents bytes as one receive event does. With AutoPageDown set, the
  // log then follows its end (see LogView): no key is pressed and the focus
  // stays where it is. A first failure to keep the log on disk is then
  // reported once, from the event loop.
  void PresentReceived(std::span<const std::uint8_t> bytes);

  // Shows the window as the program starts it: maximized, over its restored
  // bounds.
  void ShowAtStart();

  // Handlers, public so that tests can run them as their controls do.
  void bbtnConectarClick();
  void btnConfigurarClick();
  void btnFecharClick();
  void btnLimparClick();
  // Asks for a file name and saves the log, as it is then, in the
  // background (LogSaveJob); nothing when a save is still running.
  void btnSalvarClick();
  void cmbFormatoChange();
  void eInicioChange();
  void eFinalChange();
  void AnalisaRecebimento(std::uint8_t byte) override;
  void pnAbaixoCanResize(int newWidth);
  void btnEnviarClick();
  void btnEnviarEspClick();

  static constexpr int kReceiveBufferSize = 1024;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void FormCreate();
  void FormClose();
  void SetConnectButtonKind(bool okKind);
  void ParseLineBreak(QLineEdit* edit, std::int32_t& setting, const char* invalidMessage);
  void ShowReceived();
  void SetResultado(const QString& text, monitor::Rgb colour);
  void SaveLog(const monitor::LogRange& range);
  void ReportSpillFailure();
  void SaveSettingsOnChange();

  // What decoded report frames do to the window.
  void ClearLog() override;
  void SetInsertionColour(monitor::Rgb colour) override;
  void AppendLine(std::string_view cp1252Text) override;
  void SetResultLabel(std::string_view text, monitor::Rgb colour) override;
  void RunStarted() override;
  void RunEnded(bool approved) override;

  // The open run, cut before the log loses its lines or the port goes.
  void CutRun();
  void SaveRun(const monitor::FinishedRun& run);
  void ShowTally();
  void ChooseEvidenceFolder(bool on);

  // The window's members, named as the operator-facing design names them.
 public:
  QFrame* pnDireita = nullptr;
  QFrame* pnEsquerda = nullptr;
  QFrame* pnAbaixo = nullptr;
  LogView* memSerial = nullptr;
  QPushButton* bbtnConectar = nullptr;
  QPushButton* btnConfigurar = nullptr;
  QPushButton* btnLimpar = nullptr;
  QPushButton* btnSalvar = nullptr;
  QPushButton* btnFechar = nullptr;
  QCheckBox* ckbAutoConectar = nullptr;
  QCheckBox* ckbAutoPageDown = nullptr;
  QCheckBox* ckbAutoLimparLog = nullptr;
  QCheckBox* ckbMostrarTempo = nullptr;
  QLabel* lFormato = nullptr;
  QComboBox* cmbFormato = nullptr;
  QGroupBox* grbxQuebra = nullptr;
  QLabel* lInicio = nullptr;
  QLabel* lNoFinal = nullptr;
  QLineEdit* eInicio = nullptr;
  QLineEdit* eFinal = nullptr;
  QFrame* pnLeds = nullptr;
  // In pnLeds: the open port, its framing and its modem lines.
  PortStatusPanel* pnPortStatus = nullptr;
  // The log's context menu entry that shows modem-line changes in the log.
  QAction* actMostrarSinais = nullptr;
  // The log's context menu: "Localizar…" (Ctrl+F), "Zerar contagem" and
  // "Salvar cada teste em…" (checked while an evidence folder is set).
  QAction* actLocalizar = nullptr;
  QAction* actZerarContagem = nullptr;
  QAction* actSalvarCadaTeste = nullptr;
  // Under the log: the find bar.
  FindBar* pnLocalizar = nullptr;
  // In pnAbaixo, left of the verdict: the counts of this session's runs.
  QLabel* lbContagem = nullptr;
  QLabel* lbResultado = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* eEnviar = nullptr;
  QPushButton* btnEnviar = nullptr;
  QLabel* lEspecial = nullptr;
  QLineEdit* eEspecial = nullptr;
  QLabel* lTipo = nullptr;
  QComboBox* cmbTipo = nullptr;
  QPushButton* btnEnviarEsp = nullptr;

 private:
  Options options_;
  monitor::MonitorSettings settings_{};
  monitor::LogStore log_;
  monitor::ReportDecoder decoder_;
  std::unique_ptr<monitor::MonitorIni> monitorIni_;
  std::unique_ptr<cport::TComPort> serial_;
  std::unique_ptr<LogSaveJob> save_;
  monitor::RunTally tally_;
  monitor::RunTracker runs_;
  std::unique_ptr<EvidenceSaver> evidence_;
  bool evidence_failing_ = false;  // reported; quiet until a save succeeds
  RepeatedErrorFilter settings_errors_;
  bool settings_shown_ = false;  // FormCreate has put the loaded settings in the controls
  // The loaded values a command-line override hides, stored in its place
  // until the operator changes that setting in the window.
  struct StoredUnderOverride {
    std::optional<std::string> port;
    std::optional<std::pair<cport::TBaudRate, std::int32_t>> baud;
    std::optional<std::uint8_t> formato;
  } stored_under_override_;
  void ApplyOverrides();
  void SaveSettings();
  bool closed_ = false;
  // Marked lines, the status panel and reconnection; made once the controls
  // exist, before the port first opens.
  PortLineMonitor* line_ = nullptr;
  // Closes the port as the operator asked (no loss to report).
  void ClosePortOnPurpose();
  void PlacePortStatus();
};
