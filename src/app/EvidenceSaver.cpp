#include "app/EvidenceSaver.h"

#include <QMetaObject>

#include <system_error>
#include <utility>

#include "monitor/log/RtfWriter.h"

namespace {

namespace fs = std::filesystem;

// The first free name for base in folder; a name taken since is replaced
// by the rename, which only a second program writing there could cause.
fs::path FreeName(const fs::path& folder, const std::string& base) {
  fs::path file = folder / (base + ".rtf");
  std::error_code error;
  for (int n = 2; fs::exists(file, error) && n < 1000; ++n)
    file = folder / (base + "_" + std::to_string(n) + ".rtf");
  return file;
}

}  // namespace

EvidenceSaver::EvidenceSaver(QObject* context, Done done)
    : context_(context), done_(std::make_shared<Done>(std::move(done))) {}

EvidenceSaver::~EvidenceSaver() {
  *done_ = nullptr;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void EvidenceSaver::Save(monitor::LogSnapshot snapshot, monitor::LogRange range,
                         std::filesystem::path folder, std::string base_name) {
  if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({std::move(snapshot), range, std::move(folder), std::move(base_name)});
  }
  wake_.notify_one();
}

void EvidenceSaver::Work() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and all written
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    Result result;
    result.folder = job.folder;
    try {
      result.file = FreeName(job.folder, job.base_name);
      monitor::SaveRtf(job.snapshot, result.file, monitor::RtfFont{}, job.range);
      result.ok = true;
    } catch (const std::exception& e) {
      result.error = e.what();
    }
    // Queued to the window's thread; dropped by Qt if the window is gone.
    QMetaObject::invokeMethod(
        context_,
        [done = done_, result] {
          if (*done) (*done)(result);
        },
        Qt::QueuedConnection);
  }
}
