#include "app/LogTextJob.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "app/UiServices.h"
#include "monitor/Cp1252.h"

namespace {

// Between steps of this many lines the worker looks at its cancel flag and
// lets go of the pages it has read.
constexpr std::size_t kStepLines = std::size_t{1} << 16;

}  // namespace

LogTextJob::LogTextJob(monitor::LogSnapshot snapshot, monitor::LogRange range, std::size_t chars,
                       QObject* context, Ready ready) {
  worker_ = std::thread([cancel = cancel_, snapshot = std::move(snapshot), range, chars, context,
                         ready = std::move(ready)]() mutable {
    try {
      Build(snapshot, range, chars, cancel, context, std::move(ready));
    } catch (...) {
      // A spilled page that cannot be read back: told as any failed
      // command is, and the clipboard keeps what it had.
      QMetaObject::invokeMethod(
          context,
          [cancel, error = std::current_exception()] {
            if (!cancel->load(std::memory_order_relaxed)) ReportUncaughtException(error);
          },
          Qt::QueuedConnection);
    }
  });
}

void LogTextJob::Build(monitor::LogSnapshot& snapshot, const monitor::LogRange& range,
                       std::size_t chars, const std::shared_ptr<std::atomic<bool>>& cancel,
                       QObject* context, Ready ready) {
  QString text;
  text.reserve(static_cast<qsizetype>(chars));
  const std::size_t count = snapshot.LineCount();
  if (count != 0 && range.first_line < count) {
    const std::size_t last = std::min(range.last_line, count - 1);
    bool first_line = true;
    const auto append = [&](std::string_view line, monitor::Rgb) {
      if (!first_line) text += QLatin1Char('\n');
      first_line = false;
      const qsizetype at = text.size();
      text.resize(at + static_cast<qsizetype>(line.size()));
      QChar* out = text.data() + at;
      for (const char c : line)
        *out++ = QChar(static_cast<char16_t>(
            monitor::Cp1252ToUnicode(static_cast<std::uint8_t>(c))));
    };
    for (std::size_t from = range.first_line; from <= last;) {
      const std::size_t to = std::min(last, from + kStepLines - 1);
      const monitor::LogRange step{
          from, from == range.first_line ? range.first_column : 0, to,
          to == last ? range.last_column : std::numeric_limits<std::size_t>::max()};
      snapshot.ForEachInRange(step, append);
      from = to + 1;
      snapshot.ReleaseBefore(from);
      if (cancel->load(std::memory_order_relaxed)) return;
    }
  }
  // Delivered only while the job lives: its destructor sets the flag
  // before the event can run, on the same thread.
  QMetaObject::invokeMethod(
      context,
      [cancel, ready = std::move(ready), text = std::move(text)] {
        if (!cancel->load(std::memory_order_relaxed)) ready(text);
      },
      Qt::QueuedConnection);
}

LogTextJob::~LogTextJob() {
  cancel_->store(true, std::memory_order_relaxed);
  if (worker_.joinable()) worker_.join();
}
