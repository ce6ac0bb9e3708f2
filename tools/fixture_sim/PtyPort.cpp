#include "fixture_sim/PtyPort.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace fixture_sim {
namespace {

constexpr auto kLookAgain = std::chrono::milliseconds(20);
constexpr auto kDrainLook = std::chrono::milliseconds(10);

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::system_category(), what);
}

}  // namespace

PtyPort::PtyPort() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) ThrowErrno("posix_openpt");
  try {
    if (::grantpt(master_) != 0) ThrowErrno("grantpt");
    if (::unlockpt(master_) != 0) ThrowErrno("unlockpt");
    char name[128] = {};
    if (const int error = ::ptsname_r(master_, name, sizeof name); error != 0) {
      errno = error;
      ThrowErrno("ptsname_r");
    }
    path_ = name;
    // Open and close the port side once, so that the master shows the hang-up
    // state from now on whenever nobody has it open (see the header).
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) ThrowErrno("open of the port side");
    ::close(slave);
    // A master's terminal settings are its slave's: raw from the start, so that
    // no byte is echoed or edited before the monitor sets the line up.
    termios settings{};
    if (::tcgetattr(master_, &settings) != 0) ThrowErrno("tcgetattr");
    ::cfmakeraw(&settings);
    if (::tcsetattr(master_, TCSANOW, &settings) != 0) ThrowErrno("tcsetattr");
  } catch (...) {
    ::close(master_);
    throw;
  }
  watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch_ >= 0 && ::inotify_add_watch(watch_, path_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
    ::close(watch_);
    watch_ = -1;
  }
}

PtyPort::~PtyPort() {
  if (watch_ >= 0) ::close(watch_);
  ::close(master_);
}

bool PtyPort::PeerOpen() const {
  pollfd p{master_, 0, 0};
  return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

void PtyPort::DrainWatch() {
  alignas(inotify_event) char events[4096];
  while (::read(watch_, events, sizeof events) > 0) {
  }
}

std::error_code PtyPort::Sleep(bool forWrite, PaceTime deadline, const StopSignal& stop) {
  const bool open = PeerOpen();
  pollfd fds[3] = {{stop.Fd(), POLLIN, 0}, {watch_, POLLIN, 0}, {-1, 0, 0}};
  // The master only while it is not hung up: a hang-up would end every poll
  // at once.
  if (open) fds[2] = {master_, static_cast<short>(POLLIN | (forWrite ? POLLOUT : 0)), 0};
  if (!open && watch_ < 0) deadline = std::min(deadline, PaceClock::now() + kLookAgain);
  const PollTimeout timeout(deadline);
  if (::ppoll(fds, 3, timeout.Get(), nullptr) < 0) {
    return errno == EINTR ? std::error_code() : std::error_code(errno, std::system_category());
  }
  if (fds[1].revents & POLLIN) DrainWatch();
  if (fds[2].revents & POLLIN) ReadAvailable(master_, received_);
  return {};
}

std::error_code PtyPort::Wait(bool forWrite, PaceTime deadline, const StopSignal& stop) {
  // With nobody listening a write is dropped at once: nothing to wait for.
  if (forWrite && !PeerOpen()) return {};
  return Sleep(forWrite, deadline, stop);
}

WriteOutcome PtyPort::Write(std::span<const std::uint8_t> bytes) {
  WriteOutcome outcome;
  if (!PeerOpen()) {
    outcome.taken = bytes.size();
    outcome.dropped = true;
    return outcome;
  }
  const ssize_t n = ::write(master_, bytes.data(), bytes.size());
  if (n >= 0) {
    outcome.taken = static_cast<std::size_t>(n);
  } else if (errno == EIO) {
    // The listener closed the port side between the look and the write.
    outcome.taken = bytes.size();
    outcome.dropped = true;
  } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    outcome.error = std::error_code(errno, std::system_category());
  }
  return outcome;
}

bool PtyPort::WaitPeerOpen(const StopSignal& stop, PaceTime deadline) {
  while (!PeerOpen()) {
    if (stop.Raised() || PaceClock::now() >= deadline) return false;
    if (Sleep(false, deadline, stop)) return false;
  }
  return true;
}

bool PtyPort::WaitDrained(const StopSignal& stop, PaceTime deadline) {
  if (!PeerOpen()) return true;
  // A descriptor of our own on the port side, to ask how many bytes wait in
  // its input queue. Holding it hides the hang-up state, but nothing after
  // this needs that.
  int peer = ::ioctl(master_, TIOCGPTPEER, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (peer < 0) peer = ::open(path_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (peer < 0) return false;
  // Two empty looks in a row: a byte just written may still be on its way
  // from the master to the queue.
  int emptyLooks = 0;
  bool drained = false;
  while (!stop.Raised()) {
    int queued = 0;
    if (::ioctl(peer, FIONREAD, &queued) != 0) break;
    emptyLooks = queued == 0 ? emptyLooks + 1 : 0;
    if (emptyLooks >= 2) {
      drained = true;
      break;
    }
    if (PaceClock::now() >= deadline) break;
    pollfd p{stop.Fd(), POLLIN, 0};
    const PollTimeout timeout(std::min(deadline, PaceClock::now() + kDrainLook));
    ::ppoll(&p, 1, timeout.Get(), nullptr);
  }
  ::close(peer);
  return drained;
}

}  // namespace fixture_sim
