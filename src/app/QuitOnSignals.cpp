#include "app/QuitOnSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iterator>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Closes of modal widgets tried before the window is closed regardless.
constexpr int kMaxModalTries = 50;

// Where the handler writes; a lock-free atomic, so safe in a handler.
std::atomic<int> g_signalWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

// Only async-signal-safe calls here: one write of the signal's number, which
// wakes the notifier on the GUI thread. A full socket already holds a wake.
extern "C" void WriteSignal(int signal) {
  const int savedErrno = errno;
  const int fd = g_signalWriteFd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

QuitOnSignals::QuitOnSignals() {
  // Without the socket the signals keep their default action.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) return;
  notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::ReadSignals);
  g_signalWriteFd.store(fds_[1]);

  struct sigaction action = {};
  action.sa_handler = WriteSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESETHAND: a second signal of the same kind ends the program even
  // when the close hangs.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], nullptr, &previous_[i]);
    // A signal ignored by whoever started the program (nohup, a background
    // job of a script) stays ignored.
    if (previous_[i].sa_handler == SIG_IGN) continue;
    ::sigaction(kSignals[i], &action, nullptr);
  }
}

QuitOnSignals::~QuitOnSignals() {
  if (fds_[0] < 0) return;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], &previous_[i], nullptr);
  }
  g_signalWriteFd.store(-1);
  delete notifier_;
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void QuitOnSignals::SetWindow(QWidget* window) {
  window_ = window;
  if (requested_) CloseNext();
}

void QuitOnSignals::ReadSignals() {
  unsigned char bytes[16];
  while (::read(fds_[0], bytes, sizeof bytes) > 0) {
  }
  if (requested_) return;  // already closing
  requested_ = true;
  CloseNext();
}

void QuitOnSignals::CloseNext() {
  // A modal dialog or message box runs an event loop of its own, inside the
  // window's code that opened it: it is cancelled first, and the window is
  // closed from a later pass, once that code has gone on.
  if (QWidget* modal = QApplication::activeModalWidget();
      modal && modal != window_ && modalTries_ < kMaxModalTries) {
    ++modalTries_;
    modal->close();
    QTimer::singleShot(0, this, &QuitOnSignals::CloseNext);
    return;
  }
  if (window_) window_->close();
}
