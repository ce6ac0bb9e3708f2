#include "app/PortStatusPanel.h"

#include <QLabel>
#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace {

// One lamp: a small rounded box with the line's short name, green while the
// line is on, grey while it is off.
class SignalLamp : public QWidget {
 public:
  SignalLamp(const QString& name, QWidget* parent) : QWidget(parent), name_(name) {
    QFont small = font();
    small.setPixelSize(9);
    setFont(small);
  }
  void setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.setBrush(on_ ? QColor(0x20, 0xC0, 0x20) : QColor(0xD0, 0xD0, 0xD0));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(on_ ? Qt::white : QColor(0x50, 0x50, 0x50));
    painter.drawText(rect(), Qt::AlignCenter, name_);
  }

 private:
  QString name_;
  bool on_ = false;
};

struct LampInfo {
  cport::LineSignal signal;
  const char* object_name;
  const char* caption;
  const char* tool_tip;
};

constexpr LampInfo kLamps[] = {
    {cport::LineSignal::lsCTS, "ledCTS", "CTS", "CTS: pronto para enviar (Clear To Send)"},
    {cport::LineSignal::lsDSR, "ledDSR", "DSR", "DSR: modem pronto (Data Set Ready)"},
    {cport::LineSignal::lsRing, "ledRING", "RI", "RING: indicador de chamada (Ring Indicator)"},
    {cport::LineSignal::lsRLSD, "ledRLSD", "CD",
     "RLSD: portadora detectada (Receive Line Signal Detect)"},
};

}  // namespace

PortStatusPanel::PortStatusPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("pnPortStatus"));
  port_ = new QLabel(this);
  port_->setObjectName(QStringLiteral("lbPorta"));
  text_ = QStringLiteral("desconectada");
  for (std::size_t i = 0; i < lamps_.size(); ++i) {
    auto* lamp = new SignalLamp(QString::fromLatin1(kLamps[i].caption), this);
    lamp->setObjectName(QString::fromLatin1(kLamps[i].object_name));
    lamp->setToolTip(QString::fromUtf8(kLamps[i].tool_tip));
    lamps_[i] = lamp;
  }
}

void PortStatusPanel::setPortText(const QString& text) {
  text_ = text;
  port_->setToolTip(text);
  showText();
}

void PortStatusPanel::showText() {
  port_->setText(port_->fontMetrics().elidedText(text_, Qt::ElideMiddle, port_->width()));
}

namespace {
constexpr int kLampHeight = 14;
constexpr int kGap = 2;
}  // namespace

int PortStatusPanel::neededHeight() const {
  return port_->sizeHint().height() + kGap + kLampHeight + kGap;
}

void PortStatusPanel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) showText();
}

void PortStatusPanel::setSignals(cport::LineSignals on) {
  lit_ = on;
  for (std::size_t i = 0; i < lamps_.size(); ++i)
    static_cast<SignalLamp*>(lamps_[i])->setOn(on.Contains(kLamps[i].signal));
}

void PortStatusPanel::resizeEvent(QResizeEvent*) {
  // The text row on top, the lamps below it, sharing the width.
  const int w = width();
  const int text_height = port_->sizeHint().height();
  port_->setGeometry(kGap, 0, w - 2 * kGap, text_height);
  const int lamp_w = std::max(8, (w - 2 * kGap - kGap * 3) / 4);
  for (std::size_t i = 0; i < lamps_.size(); ++i)
    lamps_[i]->setGeometry(kGap + static_cast<int>(i) * (lamp_w + kGap), text_height + kGap,
                           lamp_w, kLampHeight);
  showText();
}
