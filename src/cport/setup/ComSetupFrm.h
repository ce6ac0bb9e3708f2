#pragma once
// TComSetupFrm: the port setup dialog. Six drop-down lists in the group box
// " Settings " (port, baud rate, data bits, stop bits, parity, flow control),
// OK (the default button: Enter presses it) and Cancel. Escape presses
// nothing; closing the window is a Cancel.
//
// Construction lays the form out, fills the lists (the port list is read at
// this moment: EComPort 23 leaves the constructor when it cannot be) and
// runs FormCreate, which translates the texts through the text domain
// "cport". The lists are not bound to any port: EditPortSetup (PortSetup.h)
// binds them, runs the dialog and applies the choices.
//
// The positions and sizes are the design and the least the dialog takes:
// where a translated caption at this machine's font needs more room, its
// control, the group box and the dialog grow (FitToText.h).
//
// Threads: the user-interface thread.
#include <QDialog>

#include <array>

class QGroupBox;
class QLabel;
class QPushButton;

namespace cport {

class TComComboBox;

class TComSetupFrm : public QDialog {
 public:
  explicit TComSetupFrm(QWidget* parent = nullptr);
  ~TComSetupFrm() override;

  // Port, baud rate, data bits, stop bits, parity, flow control: the order
  // in which they are bound, refreshed and applied.
  std::array<TComComboBox*, 6> Combos() const;

  // The form's members, named as the form's design names them.
  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  TComComboBox* Combo1 = nullptr;
  TComComboBox* Combo2 = nullptr;
  TComComboBox* Combo3 = nullptr;
  TComComboBox* Combo4 = nullptr;
  TComComboBox* Combo5 = nullptr;
  TComComboBox* Combo6 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormCreate();
};

}  // namespace cport
