#pragma once
// The port at a glance, in the panel at the bottom of the right-hand panel
// (pnLeds): the open port and its framing ("ttyUSB0 9600 8N1", or
// "desconectada") on one row, and under it four lamps for the modem input
// lines CTS, DSR, RING and RLSD, lit while the line is on. Each lamp's tool
// tip names its line.
//
// Child objects, found by tests: the label "lbPorta" and the lamps "ledCTS",
// "ledDSR", "ledRING", "ledRLSD".
#include <QWidget>

#include <array>

#include "cport/port/ComEnums.h"

class QLabel;

class PortStatusPanel : public QWidget {
  Q_OBJECT

 public:
  explicit PortStatusPanel(QWidget* parent = nullptr);

  // A text wider than the panel is shown cut in the middle ("usb-FTDI…0
  // 9600 8N1"), whole in the tool tip.
  void setPortText(const QString& text);
  QString portText() const { return text_; }
  // The height of the two rows at the panel's font.
  int neededHeight() const;
  // All lamps off for an empty set (a closed port, or a line without modem
  // lines such as a pseudo-terminal).
  void setSignals(cport::LineSignals on);
  cport::LineSignals lit() const { return lit_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void showText();

  QLabel* port_;
  QString text_;
  std::array<QWidget*, 4> lamps_{};
  cport::LineSignals lit_;
};
