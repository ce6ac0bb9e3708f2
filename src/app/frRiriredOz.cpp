#include "app/frRiriredOz.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <tuple>

#include "app/EvidenceSaver.h"
#include "app/FindBar.h"
#include "app/LogSaveJob.h"
#include "app/LogView.h"
#include "app/ProgramText.h"
#include "app/UiServices.h"
#include "cport/port/ComPort.h"
#include "cport/text/IntegerText.h"
#include "cport/qt/QtUiDispatcher.h"
#include "cport/setup/FitToText.h"
#include "cport/setup/PortSetup.h"
#include "monitor/ByteList.h"
#include "monitor/Cp1252.h"
#include "monitor/DescriptionFile.h"
#include "monitor/log/RtfWriter.h"
#include "monitor/SettingsStore.h"
#include "monitor/TimeOfDay.h"

namespace {

// The window's texts are Windows-1252 in the original design; here they are
// written as UTF-8 literals and shown as Unicode.
QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QColor ToQColor(monitor::Rgb rgb) {
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

template <typename W>
W* Make(QWidget* parent, const char* name) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QFrame* MakePanel(QWidget* parent, const char* name, bool raised) {
  auto* panel = Make<QFrame>(parent, name);
  if (raised) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
  } else {
    panel->setFrameStyle(QFrame::NoFrame);
  }
  return panel;
}

void SetLabelColour(QLabel* label, monitor::Rgb colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, ToQColor(colour));
  label->setPalette(palette);
}

}  // namespace

TfrmRiriredOz::TfrmRiriredOz(QWidget* parent) : TfrmRiriredOz(Options{}, parent) {}

TfrmRiriredOz::TfrmRiriredOz(Options options, QWidget* parent)
    : QWidget(parent),
      options_(std::move(options)),
      log_(options_.logOptions),
      decoder_(options_.timeOfDay ? options_.timeOfDay : monitor::LocalTimeOfDay),
      serial_(options_.makeDevice ? std::make_unique<cport::TComPort>(options_.makeDevice())
                                  : std::make_unique<cport::TComPort>()) {
  // Serial's line events are delivered on this thread, through the Qt
  // dispatcher; it must be there before the port first opens.
  cport::InstallQtUiDispatcher();
  serial_->SetName("Serial");
  serial_->OnRxChar = [this](cport::TCustomComPort& sender, int count) {
    SerialRxChar(sender, count);
  };
  // The button follows the port, also when the port closes by itself (its
  // device went away).
  serial_->OnAfterOpen = [this](cport::TCustomComPort&) {
    SetConnectButtonKind(false);
    if (line_) line_->PortOpened();
  };
  serial_->OnAfterClose = [this](cport::TCustomComPort&) {
    // A run the closed or lost port cut short is evidence too.
    CutRun();
    SetConnectButtonKind(true);
    if (line_) line_->PortClosed();
  };
  BuildControls();
  line_ = new PortLineMonitor(*serial_, log_, *memSerial, *pnPortStatus, settings_,
                              options_.timeOfDay ? options_.timeOfDay : monitor::LocalTimeOfDay,
                              this);
  // While a lost port is waited for, the button offers to stop waiting.
  connect(line_, &PortLineMonitor::reconnectingChanged, this,
          [this](bool on) { SetConnectButtonKind(!on && !serial_->Connected()); });
  evidence_ = std::make_unique<EvidenceSaver>(this, [this](const EvidenceSaver::Result& r) {
    if (r.ok) {
      evidence_failing_ = false;
      return;
    }
    if (evidence_failing_) return;
    evidence_failing_ = true;
    Ui().ShowError(this, Text("Não foi possível salvar o teste na pasta ") +
                             QString::fromStdString(r.folder.string()) + QStringLiteral(":\r\n") +
                             QString::fromUtf8(r.error.c_str()));
  });
  FormCreate();
}

TfrmRiriredOz::~TfrmRiriredOz() {
  FormClose();
  // The port goes first: closing it may still deliver events that reach the
  // log and its view, which must then still exist.
  if (line_) line_->ExpectClose();
  try {
    serial_.reset();
  } catch (...) {
    ReportUncaughtException(std::current_exception());
  }
  // A run still open is saved as interrupted, and every queued run written.
  CutRun();
  evidence_.reset();
  delete pnLocalizar;
  pnLocalizar = nullptr;
  delete memSerial;
  memSerial = nullptr;
}

void TfrmRiriredOz::BuildControls() {
  setObjectName(QStringLiteral("frmRiriredOz"));
  setWindowTitle(QStringLiteral("Ririred OZ"));
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  setMinimumSize(550, 360);
  setGeometry(160, 142, 667, 417);

  // Panels: pnDireita on the right, pnEsquerda fills the rest; inside it the
  // log fills what pnAbaixo leaves at the bottom.
  auto* root = new QHBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  pnEsquerda = MakePanel(this, "pnEsquerda", false);
  pnDireita = MakePanel(this, "pnDireita", true);
  pnDireita->setFixedWidth(109);
  root->addWidget(pnEsquerda, 1);
  root->addWidget(pnDireita, 0);

  auto* left = new QVBoxLayout(pnEsquerda);
  left->setContentsMargins(0, 0, 0, 0);
  left->setSpacing(0);
  memSerial = new LogView(log_, pnEsquerda);
  memSerial->setObjectName(QStringLiteral("memSerial"));
  pnAbaixo = MakePanel(pnEsquerda, "pnAbaixo", true);
  pnAbaixo->setFixedHeight(57);
  pnLocalizar = new FindBar(log_, *memSerial, pnEsquerda);
  left->addWidget(memSerial, 1);
  left->addWidget(pnLocalizar, 0);
  left->addWidget(pnAbaixo, 0);

  QStyle* st = style();
  auto button = [&](const char* name, const char* caption, QRect geometry, const char* hint) {
    auto* b = Make<QPushButton>(pnDireita, name);
    b->setText(Text(caption));
    b->setGeometry(geometry);
    b->setToolTip(Text(hint));
    b->setAutoDefault(false);
    return b;
  };
  bbtnConectar = button("bbtnConectar", "&Conectar", {8, 6, 94, 28},
                        "Inicia ou para a comunição serial.");
  QFont captionFont(QStringLiteral("MS Sans Serif"));
  captionFont.setPixelSize(11);
  bbtnConectar->setFont(captionFont);
  QPalette captionPalette = bbtnConectar->palette();
  captionPalette.setColor(QPalette::ButtonText, Qt::black);
  bbtnConectar->setPalette(captionPalette);
  btnConfigurar = button("btnConfigurar", "Con&figurar", {8, 37, 94, 27},
                         "Configura a comunicação serial.");
  btnConfigurar->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
  btnLimpar = button("btnLimpar", "&Limpar", {8, 67, 94, 26}, "Limpa o Log serial.");
  btnLimpar->setIcon(st->standardIcon(QStyle::SP_TrashIcon));
  btnSalvar = button("btnSalvar", "&Salvar", {8, 96, 93, 26}, "Salva o Log serial.");
  btnSalvar->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
  btnFechar = button("btnFechar", "&Fechar", {8, 127, 93, 27}, "Fecha o aplicativo.");
  btnFechar->setIcon(st->standardIcon(QStyle::SP_DialogCloseButton));
  SetConnectButtonKind(true);

  auto check = [&](const char* name, const char* caption, QRect geometry, const char* hint) {
    auto* c = Make<QCheckBox>(pnDireita, name);
    c->setText(Text(caption));
    c->setGeometry(geometry);
    if (*hint) c->setToolTip(Text(hint));
    return c;
  };
  ckbAutoConectar = check("ckbAutoConectar", "Auto Conectar", {4, 159, 104, 17}, "");
  ckbAutoPageDown =
      check("ckbAutoPageDown", "Auto Page Down", {4, 176, 102, 17},
            "Simula a Tecla Page Down para sempre exibir o final do Log na tela.");
  ckbAutoLimparLog = check("ckbAutoLimparLog", "Auto Limpar Log", {4, 194, 97, 17}, "");
  ckbMostrarTempo = check("ckbMostrarTempo", "Mostrar Tempos", {4, 212, 97, 17}, "");

  lFormato = Make<QLabel>(pnDireita, "lFormato");
  lFormato->setText(QStringLiteral("Formato:"));
  lFormato->move(5, 232);
  lFormato->adjustSize();
  cmbFormato = Make<QComboBox>(pnDireita, "cmbFormato");
  cmbFormato->setEditable(true);
  cmbFormato->setInsertPolicy(QComboBox::NoInsert);
  cmbFormato->addItems({QStringLiteral("String"), QStringLiteral("Decimal"),
                        QStringLiteral("HexaDecimal"), QStringLiteral("Ririred OZ")});
  cmbFormato->setGeometry(4, 249, 94, 21);
  cmbFormato->setToolTip(Text("Seleciona o formato de impressão dos dados recebidos."));

  grbxQuebra = Make<QGroupBox>(pnDireita, "grbxQuebra");
  grbxQuebra->setTitle(QStringLiteral(" Quebra de Linha "));
  grbxQuebra->setGeometry(4, 274, 101, 66);
  lInicio = Make<QLabel>(grbxQuebra, "lInicio");
  lInicio->setText(Text("Com Ínicio:"));
  lInicio->move(3, 22);
  lInicio->adjustSize();
  lNoFinal = Make<QLabel>(grbxQuebra, "lNoFinal");
  lNoFinal->setText(QStringLiteral("Com Final:"));
  lNoFinal->move(3, 43);
  lNoFinal->adjustSize();
  eInicio = Make<QLineEdit>(grbxQuebra, "eInicio");
  eInicio->setGeometry(66, 14, 30, 21);
  eInicio->setToolTip(Text("Define o byte que ao antes de ser recebido quebra a linha no "
                           "Log.Para valores hexa use \"$\""));
  eFinal = Make<QLineEdit>(grbxQuebra, "eFinal");
  eFinal->setGeometry(66, 37, 30, 21);
  eFinal->setToolTip(Text("Define o byte que ao após ser recebido quebra a linha no "
                          "Log.Para valores hexa use \"$\"."));
  grbxQuebra->hide();

  pnLeds = MakePanel(pnDireita, "pnLeds", false);
  pnPortStatus = new PortStatusPanel(pnLeds);
  pnPortStatus->installEventFilter(this);
  actMostrarSinais = new QAction(ProgramText("Mostrar sinais da linha"), this);
  actMostrarSinais->setObjectName(QStringLiteral("actMostrarSinais"));
  actMostrarSinais->setCheckable(true);
  actLocalizar = new QAction(ProgramText("Localizar…"), this);
  actLocalizar->setObjectName(QStringLiteral("actLocalizar"));
  actLocalizar->setShortcut(QKeySequence::Find);
  actLocalizar->setShortcutContext(Qt::WindowShortcut);
  addAction(actLocalizar);  // Ctrl+F wherever the focus is in the window
  actZerarContagem = new QAction(ProgramText("Zerar contagem"), this);
  actZerarContagem->setObjectName(QStringLiteral("actZerarContagem"));
  actSalvarCadaTeste = new QAction(ProgramText("Salvar cada teste em…"), this);
  actSalvarCadaTeste->setObjectName(QStringLiteral("actSalvarCadaTeste"));
  actSalvarCadaTeste->setCheckable(true);
  pnDireita->installEventFilter(this);
  // The positions above are the design; captions at this machine's font may
  // need more room, and the panel widens with them.
  cport::KeepFittedToText(*pnDireita);

  // The lower panel: the verdict label, and the send rows that stay hidden.
  lbResultado = Make<QLabel>(pnAbaixo, "lbResultado");
  QFont resultFont(QStringLiteral("Arial"));
  resultFont.setPixelSize(43);
  resultFont.setBold(true);
  lbResultado->setFont(resultFont);
  lbResultado->setAutoFillBackground(true);
  lbResultado->setBackgroundRole(QPalette::Button);
  // With the button-face background Qt would draw the text in ButtonText;
  // the verdict's colour is the label's WindowText.
  lbResultado->setForegroundRole(QPalette::WindowText);
  SetLabelColour(lbResultado, monitor::kBlue);
  lbResultado->move(177, 5);
  lbResultado->setText(QStringLiteral("RESULTADO"));
  lbResultado->adjustSize();
  // Left of the verdict, in the room before it (the verdict starts at 177):
  // small, wrapped, never over it.
  lbContagem = Make<QLabel>(pnAbaixo, "lbContagem");
  lbContagem->setGeometry(8, 4, 165, 49);
  lbContagem->setWordWrap(true);
  lbContagem->setTextFormat(Qt::RichText);
  lbContagem->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  Label1 = Make<QLabel>(pnAbaixo, "Label1");
  Label1->setText(QStringLiteral("Envio:"));
  Label1->move(8, 8);
  Label1->adjustSize();
  eEnviar = Make<QLineEdit>(pnAbaixo, "eEnviar");
  eEnviar->setGeometry(48, 4, 393, 21);
  eEnviar->setToolTip(Text(
      "Para Strings digite o valor entre aspas Ex: \"Uma String\", para bytes decimais "
      "escreva os valores com espaços. Ex: 234 30 83. Para valores hexa use \"$\" na frente. "
      "Ex: $23 $35 $34"));
  const QIcon sendGlyph = st->standardIcon(QStyle::SP_ArrowRight);
  btnEnviar = Make<QPushButton>(pnAbaixo, "btnEnviar");
  btnEnviar->setText(QStringLiteral("&Enviar"));
  btnEnviar->setIcon(sendGlyph);
  btnEnviar->setGeometry(448, 4, 75, 22);
  btnEnviar->setToolTip(QStringLiteral("Envia o buffer digitado."));
  lEspecial = Make<QLabel>(pnAbaixo, "lEspecial");
  lEspecial->setText(QStringLiteral("Envio Especial:"));
  lEspecial->move(9, 33);
  lEspecial->adjustSize();
  eEspecial = Make<QLineEdit>(pnAbaixo, "eEspecial");
  eEspecial->setGeometry(87, 30, 202, 21);
  lTipo = Make<QLabel>(pnAbaixo, "lTipo");
  lTipo->setText(QStringLiteral("Tipo: "));
  lTipo->move(295, 36);
  lTipo->adjustSize();
  cmbTipo = Make<QComboBox>(pnAbaixo, "cmbTipo");
  cmbTipo->addItem(QStringLiteral("FSK"));
  cmbTipo->setGeometry(326, 31, 114, 21);
  btnEnviarEsp = Make<QPushButton>(pnAbaixo, "btnEnviarEsp");
  btnEnviarEsp->setText(QStringLiteral("En&viar"));
  btnEnviarEsp->setIcon(sendGlyph);
  btnEnviarEsp->setGeometry(448, 31, 75, 22);
  btnEnviarEsp->setToolTip(QStringLiteral("Envia o buffer digitado."));
  for (QWidget* w : std::array<QWidget*, 8>{Label1, eEnviar, btnEnviar, lEspecial, eEspecial,
                                            lTipo, cmbTipo, btnEnviarEsp}) {
    w->hide();
  }
  pnAbaixo->installEventFilter(this);

  // Tab order, as the design numbers it within each panel.
  const std::array<QWidget*, 13> order{bbtnConectar, btnConfigurar, btnLimpar, btnSalvar,
                                       btnFechar,    cmbFormato,    eInicio,   eFinal,
                                       ckbAutoPageDown, ckbAutoConectar, ckbAutoLimparLog,
                                       ckbMostrarTempo, memSerial};
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
  setTabOrder(memSerial, eEnviar);
  setTabOrder(eEnviar, btnEnviar);
  setTabOrder(btnEnviar, eEspecial);
  setTabOrder(eEspecial, cmbTipo);
  setTabOrder(cmbTipo, btnEnviarEsp);

  // Handlers. Check boxes and edits also run when the program sets them;
  // the format box only when the operator changes it.
  auto guarded = [](auto handler) { return [handler] { RunGuarded(handler); }; };
  connect(bbtnConectar, &QPushButton::clicked, this, guarded([this] { bbtnConectarClick(); }));
  connect(btnConfigurar, &QPushButton::clicked, this, guarded([this] { btnConfigurarClick(); }));
  connect(btnLimpar, &QPushButton::clicked, this, guarded([this] { btnLimparClick(); }));
  connect(btnSalvar, &QPushButton::clicked, this, guarded([this] { btnSalvarClick(); }));
  connect(btnFechar, &QPushButton::clicked, this, guarded([this] { btnFecharClick(); }));
  connect(ckbAutoConectar, &QCheckBox::toggled, this, [this](bool on) {
    settings_.AutoConectar = on;
    if (!on && line_) line_->StopReconnecting();
    SaveSettingsOnChange();
  });
  connect(ckbAutoPageDown, &QCheckBox::toggled, this, [this](bool on) {
    settings_.AutoPageDown = on;
    memSerial->setFollowEnd(on);
    SaveSettingsOnChange();
  });
  connect(ckbAutoLimparLog, &QCheckBox::toggled, this, [this](bool on) {
    settings_.AutoLimparLog = on;
    SaveSettingsOnChange();
  });
  connect(ckbMostrarTempo, &QCheckBox::toggled, this, [this](bool on) {
    settings_.MostrarTempo = on;
    SaveSettingsOnChange();
  });
  connect(actMostrarSinais, &QAction::toggled, this, [this](bool on) {
    settings_.MostrarSinais = on;
    SaveSettingsOnChange();
  });
  connect(actLocalizar, &QAction::triggered, this, [this] { pnLocalizar->open(); });
  connect(actZerarContagem, &QAction::triggered, this, [this] {
    tally_.Reset();
    ShowTally();
  });
  connect(actSalvarCadaTeste, &QAction::triggered, this,
          [this](bool on) { RunGuarded([&] { ChooseEvidenceFolder(on); }); });
  memSerial->setFindAction(actLocalizar);
  memSerial->addMenuAction(actZerarContagem);
  memSerial->addMenuAction(actSalvarCadaTeste);
  memSerial->addMenuAction(actMostrarSinais);
  connect(cmbFormato, &QComboBox::activated, this, [this] { cmbFormatoChange(); });
  connect(cmbFormato->lineEdit(), &QLineEdit::textEdited, this, [this] { cmbFormatoChange(); });
  connect(eInicio, &QLineEdit::textChanged, this, [this] { eInicioChange(); });
  connect(eFinal, &QLineEdit::textChanged, this, [this] { eFinalChange(); });
  connect(btnEnviar, &QPushButton::clicked, this, guarded([this] { btnEnviarClick(); }));
  connect(btnEnviarEsp, &QPushButton::clicked, this, guarded([this] { btnEnviarEspClick(); }));
  // A selection too large for the clipboard, saved instead.
  connect(memSerial, &LogView::saveRequested, this,
          [this](const monitor::LogRange& range) { RunGuarded([&] { SaveLog(range); }); });

  // Enter runs the default button (the connect button while it has the OK
  // kind); Esc runs the cancel button, btnConfigurar.
  for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
    auto* enter = new QShortcut(QKeySequence(key), this);
    connect(enter, &QShortcut::activated, this, [this] {
      // A focused button takes Enter itself, as on the desktop it came from.
      if (auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
          focused && focused->window() == this) {
        focused->click();
      } else if (bbtnConectar->isDefault()) {
        bbtnConectar->click();
      }
    });
  }
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    // Esc stops a running search first, wherever the focus is.
    if (pnLocalizar->searching()) return pnLocalizar->cancel();
    btnConfigurar->click();
  });
}

void TfrmRiriredOz::FormCreate() {
  monitor::SetStartDefaults(settings_);
  if (options_.store) options_.store->Load(settings_, *serial_);
  ApplyOverrides();

  try {
    const std::filesystem::path dir =
        options_.programDir.empty()
            ? std::filesystem::path(QCoreApplication::applicationDirPath().toStdString())
            : options_.programDir;
    monitorIni_ = std::make_unique<monitor::MonitorIni>(monitor::DescriptionFilePath(dir));
  } catch (const std::exception& e) {
    Ui().ShowError(this, Text("Erro ao carregar arquivo \"RiriredOz.ini\".Erro") +
                             QString::fromUtf8(e.what()));
  }

  // An index outside the list selects nothing and leaves Formato as it is.
  cmbFormato->setCurrentIndex(settings_.Formato < cmbFormato->count() ? settings_.Formato : -1);
  if (settings_.Inicio != -1) eInicio->setText(QString::number(settings_.Inicio));
  if (settings_.Final != -1) eFinal->setText(QString::number(settings_.Final));
  ckbAutoConectar->setChecked(settings_.AutoConectar);
  ckbAutoPageDown->setChecked(settings_.AutoPageDown);
  ckbAutoLimparLog->setChecked(settings_.AutoLimparLog);
  ckbMostrarTempo->setChecked(settings_.MostrarTempo);
  actMostrarSinais->setChecked(settings_.MostrarSinais);
  actSalvarCadaTeste->setChecked(!settings_.PastaEvidencias.empty());
  actSalvarCadaTeste->setToolTip(QString::fromStdString(settings_.PastaEvidencias));
  memSerial->setFollowEnd(settings_.AutoPageDown);
  // From here on a changed option is the operator's, and is saved.
  settings_shown_ = true;

  if (settings_.AutoConectar || options_.overrides.connect) {
    try {
      bbtnConectarClick();
    } catch (...) {
      // A failed automatic connect is reported like a failed click; the
      // window opens disconnected and the result label keeps its design text.
      ReportUncaughtException(std::current_exception());
      return;
    }
  }
  lbResultado->setText(QString());
  lbResultado->adjustSize();
}

void TfrmRiriredOz::FormClose() {
  if (closed_) return;
  closed_ = true;
  // A save still running is cancelled: it leaves no file, and its thread
  // ends within a step of lines.
  save_.reset();
  if (line_) line_->StopReconnecting();
  SaveSettings();
  // Receive events that still arrive before the port goes find no reader
  // and describe every code as "***".
  monitorIni_.reset();
}

void TfrmRiriredOz::ShowAtStart() { showMaximized(); }

void TfrmRiriredOz::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TfrmRiriredOz::SetConnectButtonKind(bool okKind) {
  // The kind first, then the caption: the caption is always ours.
  bbtnConectar->setIcon(
      style()->standardIcon(okKind ? QStyle::SP_DialogOkButton : QStyle::SP_BrowserStop));
  bbtnConectar->setDefault(okKind);
  bbtnConectar->setText(okKind ? QStringLiteral("&Conectar") : QStringLiteral("&Desconectar"));
}

void TfrmRiriredOz::bbtnConectarClick() {
  // "Desconectar" while a lost port is waited for stops the wait.
  if (line_->Reconnecting()) {
    line_->StopReconnecting();
    SetConnectButtonKind(true);
    return;
  }
  if (!serial_->Connected()) {
    serial_->OpenPort();
    SetConnectButtonKind(false);
  } else {
    ClosePortOnPurpose();
    SetConnectButtonKind(true);
  }
}

void TfrmRiriredOz::ClosePortOnPurpose() {
  line_->ExpectClose();
  try {
    serial_->ClosePort();
  } catch (...) {
    line_->ExpectClose(false);  // still open: a later close is a loss again
    throw;
  }
}

void TfrmRiriredOz::btnConfigurarClick() {
  // The stored port settings; saved again only when the dialog changed one.
  const auto stored = [this] {
    return std::make_tuple(serial_->Port(), serial_->BaudRate(), serial_->StopBits(),
                           serial_->DataBits(), serial_->Parity().Bits());
  };
  const auto before = stored();
  const std::int32_t custom_before = serial_->CustomBaudRate();
  // A new port name for an open port closes and reopens it: no loss.
  line_->ExpectClose();
  try {
    cport::ExecuteSetupDialog(*serial_);
  } catch (...) {
    line_->ExpectClose(false);
    throw;
  }
  line_->ExpectClose(false);
  line_->SettingsChanged();
  // A setting the operator changed here is theirs now, whatever the command
  // line said.
  if (serial_->Port() != std::get<0>(before)) stored_under_override_.port.reset();
  if (serial_->BaudRate() != std::get<1>(before) || serial_->CustomBaudRate() != custom_before)
    stored_under_override_.baud.reset();
  if (stored() != before) SaveSettingsOnChange();
}

void TfrmRiriredOz::ApplyOverrides() {
  const CommandLineOverrides& o = options_.overrides;
  if (o.port) {
    stored_under_override_.port = serial_->Port();
    serial_->SetPort(*o.port);
  }
  if (o.baudRate) {
    stored_under_override_.baud = std::make_pair(serial_->BaudRate(), serial_->CustomBaudRate());
    if (*o.baudRate == cport::TBaudRate::brCustom) serial_->SetCustomBaudRate(o.customBaudRate);
    serial_->SetBaudRate(*o.baudRate);
  }
  if (o.formato) {
    stored_under_override_.formato = settings_.Formato;
    settings_.Formato = *o.formato;
  }
}

void TfrmRiriredOz::SaveSettings() {
  if (!options_.store) return;
  const StoredUnderOverride& kept = stored_under_override_;
  if (!kept.port && !kept.baud && !kept.formato) return options_.store->Save(settings_, *serial_);
  // What this run's command line set goes to the store as it was loaded.
  monitor::MonitorSettings settings = settings_;
  if (kept.formato) settings.Formato = *kept.formato;
  cport::TComPort port;
  port.SetPort(kept.port ? *kept.port : serial_->Port());
  port.SetCustomBaudRate(kept.baud ? kept.baud->second : serial_->CustomBaudRate());
  port.SetBaudRate(kept.baud ? kept.baud->first : serial_->BaudRate());
  port.SetStopBits(serial_->StopBits());
  port.SetDataBits(serial_->DataBits());
  port.Parity().SetBits(serial_->Parity().Bits());
  options_.store->Save(settings, port);
}

void TfrmRiriredOz::SaveSettingsOnChange() {
  if (!options_.store || !settings_shown_ || closed_) return;
  // The store reports its own failures, through Ui(): the filter keeps a
  // full disk from popping a box at every click.
  settings_errors_.Run([this] { SaveSettings(); });
}

void TfrmRiriredOz::btnFecharClick() {
  line_->StopReconnecting();
  if (serial_->Connected()) ClosePortOnPurpose();
  close();
}

void TfrmRiriredOz::cmbFormatoChange() {
  // An edited text that names no item leaves no item selected: index -1,
  // stored in 8 bits as 255.
  int index = cmbFormato->currentIndex();
  if (cmbFormato->isEditable() && cmbFormato->currentText() != cmbFormato->itemText(index)) {
    index = cmbFormato->findText(cmbFormato->currentText(), Qt::MatchExactly);
  }
  const auto formato = static_cast<std::uint8_t>(index);
  if (formato == settings_.Formato) return;
  settings_.Formato = formato;
  stored_under_override_.formato.reset();
  SaveSettingsOnChange();
}

void TfrmRiriredOz::ParseLineBreak(QLineEdit* edit, std::int32_t& setting,
                                   const char* invalidMessage) {
  const QString text = edit->text();
  const std::int32_t before = setting;
  if (text.isEmpty()) {
    setting = -1;
  } else if (const auto value = cport::ParseIntegerText(text.toStdString())) {
    // Non-ASCII text never matches the rule, so UTF-8 is as good as cp1252.
    setting = *value;
  } else {
    Ui().ShowPlain(this, Text(invalidMessage));
  }
  if (setting != before) SaveSettingsOnChange();
}

void TfrmRiriredOz::eInicioChange() {
  ParseLineBreak(eInicio, settings_.Inicio, "Byte de Quebra de Linha Inicial Inválido!");
}

void TfrmRiriredOz::eFinalChange() {
  ParseLineBreak(eFinal, settings_.Final, "Byte de Quebra de Linha Final Inválido!");
}

void TfrmRiriredOz::pnAbaixoCanResize(int newWidth) {
  eEnviar->resize(newWidth - 135, eEnviar->height());
  btnEnviar->move(newWidth - 80, btnEnviar->y());
  eEspecial->resize(newWidth - 325, eEspecial->height());
  lTipo->move(newWidth - 230, lTipo->y());
  cmbTipo->move(newWidth - 200, cmbTipo->y());
  btnEnviarEsp->move(newWidth - 80, btnEnviarEsp->y());
}

bool TfrmRiriredOz::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (watched == pnAbaixo) {
      pnAbaixoCanResize(pnAbaixo->width());
    } else if (watched == pnDireita) {
      PlacePortStatus();
    }
  } else if (event->type() == QEvent::FontChange && watched == pnPortStatus) {
    PlacePortStatus();
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmRiriredOz::PlacePortStatus() {
  // pnLeds: aligned to the bottom of the right-hand panel, as high as the
  // port status it holds needs at its font.
  const QRect inner = pnDireita->contentsRect();
  const int height = pnPortStatus->neededHeight();
  pnLeds->setGeometry(inner.left(), inner.bottom() + 1 - height, inner.width(), height);
  pnPortStatus->setGeometry(0, 0, inner.width(), height);
}

void TfrmRiriredOz::SerialRxChar(cport::TCustomComPort& sender, int count) {
  std::array<std::uint8_t, kReceiveBufferSize> buffer;
  bool shown = false;
  // At most one buffer per pass, and passes until the reported count is
  // read: the line-event wait reports only bytes that arrive, so bytes left
  // in the port would wait for the next byte, which may never come. Only the
  // bytes actually delivered are shown; a short read ends the event.
  for (int left = count; left > 0;) {
    const int wanted = left < kReceiveBufferSize ? left : kReceiveBufferSize;
    const int got = sender.ReadBlock(buffer.data(), wanted);
    if (got > 0) {
      const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(got));
      monitor::PresentBytes(bytes, settings_, log_, this);
      shown = true;
    }
    if (got < wanted) break;
    left -= wanted;
  }
  if (shown) {
    // Before the view looks: taking in what the spill writer did may drop lines.
    ReportSpillFailure();
    ShowReceived();
  }
}

void TfrmRiriredOz::PresentReceived(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  monitor::PresentBytes(bytes, settings_, log_, this);
  ReportSpillFailure();
  ShowReceived();
}

void TfrmRiriredOz::ReportSpillFailure() {
  const std::optional<std::string> reason = log_.TakeSpillFailure();
  if (!reason) return;
  const QString text = Text("Não foi possível guardar o registro em disco: ") +
                       QString::fromStdString(*reason) +
                       Text(".\r\nAs linhas mais antigas foram descartadas.");
  // Shown from the event loop, once this receive event has returned: the
  // message box's own loop then does not run inside the port's handler.
  QTimer::singleShot(0, this, [this, text] { Ui().ShowError(this, text); });
}

void TfrmRiriredOz::ShowReceived() {
  // "Auto Page Down" keeps the end in view through the view itself: a key
  // pressed on whatever has the focus would walk a focused list (the format
  // box, the setup dialog's) and miss the log while another window is
  // active. The setting is read at every batch, so a change made any way
  // takes effect with the next bytes.
  memSerial->setFollowEnd(settings_.AutoPageDown);
  memSerial->contentsChanged();
}

void TfrmRiriredOz::AnalisaRecebimento(std::uint8_t byte) {
  decoder_.AnalisaRecebimento(byte, settings_, monitorIni_.get(), *this);
}

void TfrmRiriredOz::ClearLog() {
  CutRun();
  log_.Clear();
  memSerial->contentsChanged();
}

void TfrmRiriredOz::SetInsertionColour(monitor::Rgb colour) { log_.SetInsertionColour(colour); }

void TfrmRiriredOz::AppendLine(std::string_view cp1252Text) { log_.AppendLine(cp1252Text); }

void TfrmRiriredOz::SetResultLabel(std::string_view text, monitor::Rgb colour) {
  SetResultado(QString::fromStdString(monitor::Cp1252ToUtf8(text)), colour);
}

void TfrmRiriredOz::SetResultado(const QString& text, monitor::Rgb colour) {
  SetLabelColour(lbResultado, colour);
  lbResultado->setText(text);
  lbResultado->adjustSize();
}

void TfrmRiriredOz::btnLimparClick() {
  CutRun();
  log_.Clear();
  memSerial->contentsChanged();
  log_.SetInsertionColour(monitor::kBlue);
  SetResultado(QString(), monitor::kGreen);
}

void TfrmRiriredOz::RunStarted() {
  if (auto cut = runs_.Started(log_.LineCount() - 1, monitor::LocalStamp(), log_.DropCount()))
    SaveRun(*cut);
}

void TfrmRiriredOz::RunEnded(bool approved) {
  tally_.Record(approved);
  ShowTally();
  if (auto run = runs_.Ended(log_.LineCount() - 1, approved, log_.DropCount())) SaveRun(*run);
}

void TfrmRiriredOz::CutRun() {
  if (auto run = runs_.Cut(log_.LineCount(), log_.DropCount())) SaveRun(*run);
}

void TfrmRiriredOz::SaveRun(const monitor::FinishedRun& run) {
  if (settings_.PastaEvidencias.empty() || !evidence_) return;
  // The snapshot shares the log's pages: taking it costs the unfinished
  // page's copy, and the file is written on the saver's thread.
  const monitor::LogRange lines{run.first_line, 0, run.last_line,
                                std::numeric_limits<std::size_t>::max()};
  try {
    evidence_->Save(log_.Snapshot(), lines, std::filesystem::path(settings_.PastaEvidencias),
                    monitor::EvidenceBaseName(run.started, run.outcome));
  } catch (...) {
    ReportUncaughtException(std::current_exception());
  }
}

void TfrmRiriredOz::ShowTally() {
  if (tally_.Empty()) {
    lbContagem->clear();
    return;
  }
  auto coloured = [](const std::string& cp1252, monitor::Rgb colour) {
    return QStringLiteral("<span style=\"color:#%1\">%2</span>")
        .arg(colour, 6, 16, QLatin1Char('0'))
        .arg(QString::fromStdString(monitor::Cp1252ToUtf8(cp1252)).toHtmlEscaped());
  };
  const QString separator = QString::fromStdString(monitor::Cp1252ToUtf8(monitor::kTallySeparator));
  QString text = coloured(monitor::ApprovedText(tally_.Approved()), monitor::kGreen) + separator +
                 coloured(monitor::RejectedText(tally_.Rejected()), monitor::kRed);
  if (tally_.Streak() > 1) {
    text += QStringLiteral("<br>") +
            coloured(monitor::StreakText(tally_.Streak()),
                     tally_.StreakApproved() ? monitor::kGreen : monitor::kRed);
  }
  lbContagem->setText(text);
}

void TfrmRiriredOz::ChooseEvidenceFolder(bool on) {
  if (on) {
    const auto folder =
        Ui().AskFolder(this, QString::fromStdString(settings_.PastaEvidencias));
    if (!folder) {
      actSalvarCadaTeste->setChecked(false);
      return;
    }
    settings_.PastaEvidencias = folder->toStdString();
  } else {
    settings_.PastaEvidencias.clear();
  }
  evidence_failing_ = false;
  actSalvarCadaTeste->setToolTip(QString::fromStdString(settings_.PastaEvidencias));
  SaveSettingsOnChange();
}

void TfrmRiriredOz::btnSalvarClick() { SaveLog(monitor::LogRange{}); }

void TfrmRiriredOz::SaveLog(const monitor::LogRange& range) {
  if (save_ && save_->Running()) return;
  const auto name = Ui().AskSaveFileName(this, QStringLiteral("*.txt"), QStringLiteral("txt"));
  if (!name) return;
  QString path = *name;
  // A name typed without an extension gets the proposed one.
  if (std::filesystem::path(path.toStdString()).extension().empty()) path += QStringLiteral(".txt");
  // The dialog's event loop may have started another save meanwhile.
  if (save_ && save_->Running()) return;
  save_.reset();
  // A failed save reaches the default report, as any failed command does;
  // posted, so that its message box does not run inside the job's poll.
  save_ = std::make_unique<LogSaveJob>(
      log_.Snapshot(), std::filesystem::path(path.toStdString()), range, this,
      [this](std::exception_ptr error) {
        if (error)
          QTimer::singleShot(0, this, [error] { ReportUncaughtException(error); });
      });
}

void TfrmRiriredOz::btnEnviarClick() {
  if (!serial_->Connected()) {
    Ui().ShowError(this, Text("Erro ao enviar dados.\r\nE necessário estar conectado."));
    return;
  }
  const std::string text = monitor::Utf8ToCp1252(eEnviar->text().toStdString());
  if (monitor::IsQuotedText(text)) {
    // A failed write here goes to the default report, not to the message.
    serial_->WriteText(monitor::QuotedPayload(text));
    return;
  }
  const QString invalid = Text("Erro ao enviar dados.\r\nO buffer de dados é inválido.");
  const auto bytes = monitor::ParseByteList(text);
  if (!bytes) {
    Ui().ShowError(this, invalid);
    return;
  }
  if (bytes->empty()) return;
  // A single byte is sent too: dropping it would report success for nothing.
  try {
    serial_->WriteBlock(bytes->data(), static_cast<std::int32_t>(bytes->size()));
  } catch (const std::exception&) {
    Ui().ShowError(this, invalid);
  }
}

void TfrmRiriredOz::btnEnviarEspClick() {
  const std::string text = monitor::Utf8ToCp1252(eEspecial->text().toStdString());
  if (text.empty()) {
    Ui().ShowError(this, Text("Erro ao enviar buffer.\r\nBuffer vazio!"));
    return;
  }
  if (text.size() > monitor::kCallerIdMaxText) {
    Ui().ShowError(this, Text("Erro ao enviar buffer.\r\nTexto muito longo: o máximo é de "
                              "209 caracteres."));
    return;
  }
  const auto message = monitor::BuildCallerIdMessage(
      text, options_.localNow ? options_.localNow() : monitor::LocalNow());
  if (!serial_->Connected()) {
    Ui().ShowError(this, Text("Erro ao enviar dados.\r\nE necessário estar conectado."));
    return;
  }
  serial_->WriteBlock(message.data(), static_cast<std::int32_t>(message.size()));
}
