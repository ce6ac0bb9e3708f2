#pragma once
// What the live tests stand on: a pseudo-terminal whose master side plays
// the test fixture, a writer that streams bytes into it from a thread of its
// own, and a pump of the GUI thread's event loop with a deadline.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>

namespace live {

// One pseudo-terminal. The slave stays open here too, so that its settings
// survive the port's closes; the master can be handed to a writer thread,
// which then owns (and may close) it.
class FixturePty {
 public:
  FixturePty() {
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
  ~FixturePty() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  FixturePty(const FixturePty&) = delete;
  FixturePty& operator=(const FixturePty&) = delete;

  bool Ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& Path() const { return path_; }
  int Master() const { return master_; }
  // The master for a writer that closes it itself; -1 here from now on.
  int TakeMaster() { return std::exchange(master_, -1); }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Writes every byte to `fd` as fast as the line takes them; returns how many
// went. Gives up on `stop`, on an error of the line, or when the line has
// taken nothing for `stall`.
inline std::size_t WriteAll(int fd, std::string_view bytes, const std::atomic<bool>& stop,
                            std::chrono::milliseconds stall = std::chrono::seconds(60)) {
  std::size_t sent = 0;
  auto last = std::chrono::steady_clock::now();
  while (sent < bytes.size() && !stop) {
    const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      last = std::chrono::steady_clock::now();
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    if (std::chrono::steady_clock::now() - last > stall) break;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 50);
  }
  return sent;
}

// `size` bytes of every value, in an order that repeats nowhere nearby.
inline std::string StreamBytes(std::size_t size, std::uint32_t seed = 2024) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Runs the GUI thread's event loop until `done` holds or `limit` has passed.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  QTimer tick;  // wakes the loop for conditions that no event announces
  tick.start(5);
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// Runs the event loop for `span`, for checks that something does not happen.
inline void PumpFor(std::chrono::milliseconds span) {
  QElapsedTimer clock;
  clock.start();
  PumpUntil([&] { return clock.elapsed() >= span.count(); }, span * 2);
}

}  // namespace live
