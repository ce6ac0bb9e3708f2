#pragma once
// A pseudo-terminal for the device tests: the test drives the master side,
// the device under test opens the slave by its path. Both sides start raw, and
// the fixture keeps its own slave descriptor open so that the slave keeps its
// settings (the kernel resets a slave's termios when its last user closes it)
// and so that the test can read the termios the device applied.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

namespace cport::device::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class PtyPair {
 public:
  PtyPair() {
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = name;
    for (int fd : {master_, slave_}) {
      termios t{};
      ::tcgetattr(fd, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(fd, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& path() const { return path_; }
  int master() const { return master_; }
  int slave() const { return slave_; }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // Writes every byte to the master (the line towards the device).
  bool Send(std::string_view bytes) const {
    const auto deadline = Clock::now() + milliseconds(5000);
    while (!bytes.empty()) {
      const ssize_t n = ::write(master_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EAGAIN && Clock::now() < deadline) {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      } else {
        return false;
      }
    }
    return true;
  }

  // Reads up to `n` bytes that the device sent, waiting at most `timeout`.
  std::string Receive(std::size_t n, milliseconds timeout = milliseconds(5000)) const {
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < n) {
      char buf[4096];
      const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - got.size()));
      if (r > 0) {
        got.append(buf, static_cast<std::size_t>(r));
        continue;
      }
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    }
    return got;
  }

  // Waits until `n` bytes wait on the device's side.
  bool AwaitInQueue(int n, milliseconds timeout = milliseconds(5000)) const {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      int count = 0;
      ::ioctl(slave_, FIONREAD, &count);
      if (count >= n) return true;
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{slave_, POLLIN, 0};
      // Readable but short: the rest is on its way through the kernel's
      // buffer work; let it run.
      if (::poll(&p, 1, static_cast<int>(left.count())) > 0) std::this_thread::yield();
    }
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Waits until thread `tid` of this process sleeps in the kernel (state S), so
// that a test knows a waiting thread really waits rather than is about to.
inline bool AwaitSleeping(pid_t tid, milliseconds timeout = milliseconds(5000)) {
  const auto deadline = Clock::now() + timeout;
  const std::string path = "/proc/self/task/" + std::to_string(tid) + "/stat";
  while (Clock::now() < deadline) {
    std::ifstream in(path);
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close_paren = stat.rfind(')');
    if (close_paren != std::string::npos && close_paren + 2 < stat.size() &&
        stat[close_paren + 2] == 'S') {
      return true;
    }
    std::this_thread::yield();
  }
  return false;
}

}  // namespace cport::device::testing
