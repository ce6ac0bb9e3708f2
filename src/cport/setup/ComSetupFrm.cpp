#include "cport/setup/ComSetupFrm.h"

#include <QFont>
#include <QKeySequence>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <initializer_list>

#include "cport/errors/ComTranslation.h"
#include "cport/setup/ComComboBox.h"
#include "cport/setup/FitToText.h"
#include "cport/setup/FormTranslation.h"

namespace cport {
namespace {

template <typename W>
W* Make(QWidget* parent, const char* name) {
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int top) {
  auto* label = Make<QLabel>(parent, name);
  label->setText(QString::fromLatin1(text));
  label->move(8, top);
  label->adjustSize();
  return label;
}

TComComboBox* MakeCombo(QWidget* parent, const char* name, TComProperty setting, int top) {
  auto* combo = Make<TComComboBox>(parent, name);
  combo->move(80, top);
  combo->resize(129, combo->sizeHint().height());
  combo->SetComProperty(setting);
  return combo;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int left) {
  auto* button = Make<QPushButton>(parent, name);
  button->setText(QString::fromLatin1(text));
  button->setGeometry(left, 184, 75, 25);
  return button;
}

}  // namespace

TComSetupFrm::TComSetupFrm(QWidget* parent) : QDialog(parent) {
  using enum TComProperty;
  setObjectName(QStringLiteral("ComSetupFrm"));
  setWindowTitle(QStringLiteral("Setup"));
  // MS Sans Serif at 8 points is 11 pixels on the 96 dpi desktop it was
  // drawn for; fontconfig picks the nearest face it has.
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);
  setFixedSize(231, 216);  // the client area; a fixed dialog border

  GroupBox1 = Make<QGroupBox>(this, "GroupBox1");
  GroupBox1->setTitle(QStringLiteral(" Settings "));
  GroupBox1->setGeometry(8, 8, 217, 169);
  Label1 = MakeLabel(GroupBox1, "Label1", "Port", 24);
  Label2 = MakeLabel(GroupBox1, "Label2", "Baud rate", 48);
  Label3 = MakeLabel(GroupBox1, "Label3", "Data bits", 72);
  Label4 = MakeLabel(GroupBox1, "Label4", "Stop bits", 96);
  Label5 = MakeLabel(GroupBox1, "Label5", "Parity", 120);
  Label6 = MakeLabel(GroupBox1, "Label6", "Flow control", 144);
  // Setting the property fills each list; the port list is read here.
  Combo1 = MakeCombo(GroupBox1, "Combo1", cpPort, 16);
  Combo2 = MakeCombo(GroupBox1, "Combo2", cpBaudRate, 40);
  Combo3 = MakeCombo(GroupBox1, "Combo3", cpDataBits, 64);
  Combo4 = MakeCombo(GroupBox1, "Combo4", cpStopBits, 88);
  Combo5 = MakeCombo(GroupBox1, "Combo5", cpParity, 112);
  Combo6 = MakeCombo(GroupBox1, "Combo6", cpFlowControl, 136);

  Button1 = MakeButton(this, "Button1", "OK", 70);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  Button2 = MakeButton(this, "Button2", "Cancel", 150);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  // The group box's lists first, in their order, then OK and Cancel.
  QWidget* previous = Combo1;
  for (QWidget* next : std::initializer_list<QWidget*>{Combo2, Combo3, Combo4, Combo5, Combo6,
                                                       Button1, Button2}) {
    setTabOrder(previous, next);
    previous = next;
  }
  Combo1->setFocus();

  FormCreate();
  // The layout above is the design; the translated texts at this machine's
  // font may need more room.
  KeepFittedToText(*this);
}

TComSetupFrm::~TComSetupFrm() = default;

std::array<TComComboBox*, 6> TComSetupFrm::Combos() const {
  return {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6};
}

void TComSetupFrm::FormCreate() {
  // The lists hold port names and setting values: data, not words.
  TranslateFormTexts(*this, kComPortTextDomain,
                     {QStringLiteral("Combo1"), QStringLiteral("Combo2"), QStringLiteral("Combo3"),
                      QStringLiteral("Combo4"), QStringLiteral("Combo5"),
                      QStringLiteral("Combo6")});
}

void TComSetupFrm::keyPressEvent(QKeyEvent* event) {
  // The form has no cancel button: Escape does not close it (QDialog would
  // reject on Escape by itself).
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace cport
