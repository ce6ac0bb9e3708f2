// A program outside the project on the installed cport package: it opens the
// port side of a pseudo-terminal through TComPort, plays the other side
// itself, and moves a few bytes each way; then it receives line events the
// two ways open to a program without an event loop (smNone, and a dispatcher
// it drains itself), and sees an open that could deliver none refused.
// Exit status 0 when everything arrives whole.
#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#else
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <cport/errors/ComError.h>
#include <cport/port/ComPort.h>
#include <cport/dispatch/UiCallQueue.h>
#include <cport/dispatch/UiDispatcher.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace {

using namespace std::chrono_literals;

int Fail(const char* what) {
  std::fprintf(stderr, "cport_consumer: %s\n", what);
  return 1;
}

#if defined(_WIN32)
// The fixture's side of the line on Windows: the second of two linked COM
// ports named in CPORT_TEST_COM_PAIR ("COM5,COM6"); the port opens the first.
struct Pty {
  Pty() {
    const char* pair = std::getenv("CPORT_TEST_COM_PAIR");
    const std::string names = pair ? pair : "";
    const std::size_t comma = names.find(',');
    if (comma == std::string::npos) return;
    const std::string other = "\\\\.\\" + names.substr(comma + 1);
    master = ::CreateFileA(other.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    // Reads return what came within 5 s; leftovers of an earlier run go.
    COMMTIMEOUTS timeouts{0, 0, 5000, 0, 5000};
    if (master == INVALID_HANDLE_VALUE || !::SetCommTimeouts(master, &timeouts) ||
        !::PurgeComm(master, PURGE_RXCLEAR | PURGE_TXCLEAR)) {
      return;
    }
    name = names.substr(0, comma);
    ok = true;
  }
  ~Pty() {
    if (master != INVALID_HANDLE_VALUE) ::CloseHandle(master);
  }
  HANDLE master = INVALID_HANDLE_VALUE;
  std::string name;
  bool ok = false;
};

std::string ReadMaster(HANDLE line, std::size_t count) {
  std::string got(count, '\0');
  DWORD n = 0;
  if (!::ReadFile(line, got.data(), static_cast<DWORD>(count), &n, nullptr)) n = 0;
  got.resize(n);
  return got;
}

bool WriteMaster(HANDLE line, std::string_view bytes) {
  DWORD n = 0;
  return ::WriteFile(line, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
         n == bytes.size();
}
#else
// Reads `count` bytes from the master side, waiting at most 5 s in all.
std::string ReadMaster(int fd, std::size_t count) {
  std::string got;
  while (got.size() < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    std::array<char, 64> buf{};
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n <= 0) break;
    got.append(buf.data(), static_cast<std::size_t>(n));
  }
  return got;
}

bool WriteMaster(int fd, std::string_view bytes) {
  return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// A pseudo-terminal in raw mode; the port opens its slave by name.
struct Pty {
  Pty() {
    int slave = -1;
    if (::openpty(&master, &slave, buffer.data(), nullptr, nullptr) != 0) return;
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    ::close(slave);
    name = buffer.data();
    ok = true;
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
  int master = -1;
  std::array<char, 128> buffer{};
  std::string name;
  bool ok = false;
};

#endif

// What OnRxChar read, from whatever thread it ran on.
struct Received {
  void Add(const std::string& bytes) {
    std::lock_guard lock(mu);
    text += bytes;
    thread = std::this_thread::get_id();
    changed.notify_all();
  }
  bool AwaitSize(std::size_t n) {
    std::unique_lock lock(mu);
    return changed.wait_for(lock, 5s, [&] { return text.size() >= n; });
  }
  std::mutex mu;
  std::condition_variable changed;
  std::string text;
  std::thread::id thread;
};

void ReadOnRxChar(cport::TComPort& port, Received& received) {
  port.OnRxChar = [&received](cport::TCustomComPort& sender, int count) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    bytes.resize(static_cast<std::size_t>(sender.ReadBlock(bytes.data(), count)));
    received.Add(bytes);
  };
}

// The dispatcher of a program without an event loop: a worker's call wakes
// the program's thread, which drains the queue itself.
class PumpedDispatcher final : public cport::UiCallQueue {
 public:
  // Drains until `done` holds; false after 5 s.
  template <typename Done>
  bool PumpUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
      {
        std::unique_lock lock(mu_);
        if (!woken_.wait_until(lock, end, [&] { return wakes_ > 0; })) return false;
        wakes_ = 0;
      }
      Drain();
    }
    return true;
  }

 protected:
  void WakeUiThread() noexcept override {
    {
      std::lock_guard lock(mu_);
      ++wakes_;
    }
    woken_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable woken_;
  int wakes_ = 0;
};

int Exchange() {
  Pty pty;
  if (!pty.ok) return Fail("no line: openpty, or CPORT_TEST_COM_PAIR on Windows");
  cport::TComPort port;
  port.SetPort(pty.name);
  port.SetEvents({});  // no event monitor: this part reads when it chooses
  port.Timeouts().SetReadInterval(0);
  port.Timeouts().SetReadTotalConstant(5000);  // a read waits up to 5 s for all its bytes
  port.OpenPort();

  constexpr std::string_view kOut = "AT\r\n";
  if (port.WriteText(kOut) != static_cast<int>(kOut.size())) return Fail("short write");
  if (ReadMaster(pty.master, kOut.size()) != kOut) return Fail("the fixture side got other bytes");

  constexpr std::string_view kIn = "\xFA\x05\xAA\x00\x01";
  if (!WriteMaster(pty.master, kIn)) return Fail("write on the fixture side");
  std::array<char, kIn.size()> in{};
  const int n = port.ReadBlock(in.data(), static_cast<int>(in.size()));
  if (std::string_view(in.data(), static_cast<std::size_t>(n)) != kIn) {
    return Fail("the port read other bytes");
  }
  port.ClosePort();
  return 0;
}

// smNone: the handler runs on the port's worker; no dispatcher exists.
int EventsOnTheWorker() {
  Pty pty;
  Received received;
  cport::TComPort port;
  port.SetPort(pty.name);
  port.SetSyncMethod(cport::TSyncMethod::smNone);
  ReadOnRxChar(port, received);
  port.OpenPort();
  if (!WriteMaster(pty.master, "ring")) return Fail("write on the fixture side");
  if (!received.AwaitSize(4)) return Fail("smNone: OnRxChar never came");
  port.ClosePort();
  std::lock_guard lock(received.mu);
  if (received.text != "ring") return Fail("smNone: OnRxChar read other bytes");
  if (received.thread == std::this_thread::get_id()) return Fail("smNone: not on the worker");
  return 0;
}

// smThreadSync without a dispatcher is refused; with one the program drains,
// the handler runs on the program's thread.
int EventsThroughAPumpedDispatcher() {
  Pty pty;
  Received received;
  cport::TComPort port;
  port.SetPort(pty.name);
  ReadOnRxChar(port, received);
  try {
    port.OpenPort();
    return Fail("smThreadSync opened without a dispatcher");
  } catch (const cport::EComPort& e) {
    if (e.PortErrorCode() != 21 || port.Connected()) return Fail("wrong refusal");
  }

  PumpedDispatcher pump;
  cport::SetUiDispatcher(&pump);
  port.OpenPort();
  if (!WriteMaster(pty.master, "caller")) return Fail("write on the fixture side");
  const bool arrived = pump.PumpUntil([&] {
    std::lock_guard lock(received.mu);
    return received.text.size() >= 6;
  });
  port.ClosePort();
  cport::SetUiDispatcher(nullptr);
  if (!arrived) return Fail("pumped dispatcher: OnRxChar never came");
  if (received.text != "caller") return Fail("pumped dispatcher: other bytes");
  if (received.thread != std::this_thread::get_id()) {
    return Fail("pumped dispatcher: not on the program's thread");
  }
  return 0;
}

}  // namespace

int main() {
  try {
    if (const int failed = Exchange()) return failed;
    if (const int failed = EventsOnTheWorker()) return failed;
    if (const int failed = EventsThroughAPumpedDispatcher()) return failed;
  } catch (const cport::EComPort& e) {
    return Fail(e.what());
  }
  std::puts(
      "cport_consumer: 4 bytes out and 5 bytes in, OnRxChar through smNone and through a "
      "pumped dispatcher, through the installed cport");
  return 0;
}
