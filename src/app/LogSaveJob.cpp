#include "app/LogSaveJob.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "monitor/log/RtfWriter.h"

namespace {

// Often enough for a bar that moves smoothly, seldom enough to cost nothing.
constexpr int kPollMs = 50;
constexpr int kBarSteps = 1000;

}  // namespace

LogSaveJob::LogSaveJob(monitor::LogSnapshot snapshot, std::filesystem::path file,
                       monitor::LogRange range, QWidget* window, Finished finished)
    : finished_(std::move(finished)) {
  // A dialog of our own rather than QProgressDialog, whose setValue() runs
  // the event loop when it is modal: the window could then close, and
  // destroy this job, from inside Poll().
  dialog_ = new QDialog(window);
  dialog_->setObjectName(QStringLiteral("dlgSalvando"));
  dialog_->setWindowTitle(QStringLiteral("Salvar"));
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(dialog_);
  layout->addWidget(new QLabel(QString::fromUtf8("Salvando o Log serial…"), dialog_));
  bar_ = new QProgressBar(dialog_);
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
  layout->addWidget(bar_);
  auto* cancel = new QPushButton(QStringLiteral("Cancelar"), dialog_);
  cancel->setObjectName(QStringLiteral("btnCancelar"));
  layout->addWidget(cancel, 0, Qt::AlignRight);
  // The button, Esc and the title bar's close all cancel.
  QObject::connect(cancel, &QPushButton::clicked, dialog_, &QDialog::reject);
  QObject::connect(dialog_, &QDialog::rejected, &poll_, [this] { Cancel(); });

  QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { Poll(); });
  poll_.start(kPollMs);
  dialog_->show();

  try {
    Start(std::move(snapshot), std::move(file), range);
  } catch (...) {
    delete dialog_.data();
    throw;
  }
}

void LogSaveJob::Start(monitor::LogSnapshot snapshot, std::filesystem::path file,
                       monitor::LogRange range) {
  worker_ = std::thread([this, snapshot = std::move(snapshot), file = std::move(file),
                         range]() mutable {
    monitor::SaveControl control;
    control.cancel = &cancel_;
    control.progress = [this](std::size_t done, std::size_t total) {
      total_.store(total, std::memory_order_relaxed);
      done_.store(done, std::memory_order_relaxed);
    };
    try {
      monitor::SaveRtf(snapshot, file, monitor::RtfFont{}, range, control);
    } catch (const monitor::SaveCancelled&) {
      // Nothing to tell: the operator asked for it, and no file is left.
    } catch (...) {
      error_ = std::current_exception();
    }
    ended_.store(true, std::memory_order_release);
  });
}

LogSaveJob::~LogSaveJob() {
  cancel_.store(true, std::memory_order_relaxed);
  if (worker_.joinable()) worker_.join();
  delete dialog_.data();
}

void LogSaveJob::Cancel() { cancel_.store(true, std::memory_order_relaxed); }

void LogSaveJob::Poll() {
  if (!ended_.load(std::memory_order_acquire)) {
    const std::size_t total = total_.load(std::memory_order_relaxed);
    if (total != 0 && bar_) {
      const std::size_t done = done_.load(std::memory_order_relaxed);
      bar_->setValue(static_cast<int>(static_cast<double>(done) / total * kBarSteps));
    }
    return;
  }
  poll_.stop();
  worker_.join();  // it has ended: no wait
  running_ = false;
  delete dialog_.data();
  // Moved out first: `finished` may destroy this job.
  Finished finished = std::move(finished_);
  if (finished) finished(error_);
}
