#pragma once
// A scroll bar that repaints only when what it shows changes: its slider's
// place or size, or whether it stands at either end (which greys an arrow).
// A log of millions of lines moves its range and value with every frame, by
// far less than a pixel; a plain QScrollBar repaints each time, which cost a
// live log view about a tenth of its CPU time. Whether to repaint is decided
// once per pass of the event loop, from the bar's state at that point.
//
// User-interface thread only, like every widget.
#include <QRect>
#include <QScrollBar>

class QuietScrollBar final : public QScrollBar {
 public:
  explicit QuietScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Look {
    QRect slider;
    bool atMinimum = false;
    bool atMaximum = false;
    bool operator==(const Look&) const = default;
  };
  Look currentLook() const;

  Look painted_;
  bool known_ = false;  // painted_ holds what the last paint showed
  bool check_posted_ = false;
};
