#pragma once
// No dialog may stop a benchmark: what would be shown is printed to stderr
// and counted. Install with InstallUiServices.
#include <cstdio>

#include "app/UiServices.h"

namespace bench {

class QuietUi final : public UiServices {
 public:
  // `quietErrors`: error boxes are not counted (the description file is not
  // beside a benchmark, and its absence is reported as an error).
  explicit QuietUi(bool quietErrors = true) : quietErrors_(quietErrors) {}
  void ShowError(QWidget*, const QString& text) override {
    if (!quietErrors_) Print("error", text);
  }
  void ShowPlain(QWidget*, const QString& text) override { Print("message", text); }
  std::optional<QString> AskSaveFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  void ReportUncaught(const QString& text) override { Print("uncaught", text); }
  int shown = 0;

 private:
  void Print(const char* kind, const QString& text) {
    ++shown;
    std::fprintf(stderr, "%s: %s\n", kind, text.toUtf8().constData());
  }
  bool quietErrors_;
};

}  // namespace bench
