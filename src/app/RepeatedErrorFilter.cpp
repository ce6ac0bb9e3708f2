#include "app/RepeatedErrorFilter.h"

void RepeatedErrorFilter::Run(const std::function<void()>& action) {
  // A message box shown by the action runs an event loop, and a second run
  // may start from it: that one goes through the filter already in place.
  if (next_) return action();
  next_ = &Ui();
  error_in_run_ = false;
  InstallUiServices(this);
  struct Restore {
    RepeatedErrorFilter& filter;
    ~Restore() {
      InstallUiServices(filter.next_);
      filter.next_ = nullptr;
    }
  } restore{*this};
  action();
  if (!error_in_run_) last_shown_.clear();
}

void RepeatedErrorFilter::ShowError(QWidget* parent, const QString& text) {
  error_in_run_ = true;
  if (text == last_shown_) return;
  last_shown_ = text;
  next_->ShowError(parent, text);
}

void RepeatedErrorFilter::ShowPlain(QWidget* parent, const QString& text) {
  next_->ShowPlain(parent, text);
}

bool RepeatedErrorFilter::AskYesNo(QWidget* parent, const QString& text) {
  return next_->AskYesNo(parent, text);
}

std::optional<QString> RepeatedErrorFilter::AskSaveFileName(QWidget* parent,
                                                           const QString& filter,
                                                           const QString& defaultSuffix) {
  return next_->AskSaveFileName(parent, filter, defaultSuffix);
}

void RepeatedErrorFilter::ReportUncaught(const QString& message) {
  next_->ReportUncaught(message);
}
