#pragma once
// Synthetic key presses for the automatic page-down. A press goes to the
// widget of this application that has the keyboard focus, never to another
// program on the desktop; with no focused widget of ours it goes nowhere.
class KeyInjector {
 public:
  virtual ~KeyInjector() = default;
  // One key-down of Page Down; no key-up follows.
  virtual void PressPageDown() = 0;
};

class FocusedWidgetKeyInjector final : public KeyInjector {
 public:
  void PressPageDown() override;
};
