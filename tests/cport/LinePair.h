#pragma once
// The test's end of a serial line whose other end a port opens by name
// (Path()): on POSIX a fresh pseudo-terminal (the test holds the master, the
// port opens the slave); on Windows the second of the two linked COM ports
// that CPORT_TEST_COM_PAIR names ("COM5,COM6", set by the tests' com_pair
// fixture), the port opening the first. Both ends start raw, 8 data bits, and
// on Windows whatever an earlier test left in the line is thrown away.
// Ok() is false when no line could be had.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace cport::testing {

// Whether the Windows program runs under Wine, whose serial driver leaves a
// few things of Windows' comm API out; the tests name each one they skip.
inline bool UnderWine() {
#if defined(_WIN32)
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

class LinePair {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kDeadline = std::chrono::seconds(5);

#if defined(_WIN32)
  LinePair() {
    const char* names = std::getenv("CPORT_TEST_COM_PAIR");
    const std::string pair = names ? names : "";
    const std::size_t comma = pair.find(',');
    if (comma == std::string::npos) return;
    const std::string other = "\\\\.\\" + pair.substr(comma + 1);
    end_ = ::CreateFileA(other.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         0, nullptr);
    if (end_ == INVALID_HANDLE_VALUE) return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(end_, &dcb);
    dcb.BaudRate = 115200;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // A read returns as soon as bytes are there, or after 100 ms without.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 100, 0, 5000};
    if (!::SetCommState(end_, &dcb) || !::SetCommTimeouts(end_, &timeouts) ||
        !::PurgeComm(end_, PURGE_RXCLEAR | PURGE_TXCLEAR)) {
      ::CloseHandle(end_);
      end_ = INVALID_HANDLE_VALUE;
      return;
    }
    path_ = pair.substr(0, comma);
  }
  ~LinePair() {
    if (end_ != INVALID_HANDLE_VALUE) ::CloseHandle(end_);
  }
  bool Send(const std::string& bytes) {
    DWORD written = 0;
    return ::WriteFile(end_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }
  std::string Receive(std::size_t count) {
    std::string out;
    const auto end = Clock::now() + kDeadline;
    while (out.size() < count && Clock::now() < end) {
      char buffer[4096];
      DWORD got = 0;
      const auto want = static_cast<DWORD>(std::min(sizeof buffer, count - out.size()));
      if (!::ReadFile(end_, buffer, want, &got, nullptr)) break;
      out.append(buffer, got);
    }
    return out;
  }
#else
  LinePair() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&end_, &slave, name, nullptr, nullptr) != 0) return;
    termios raw{};
    for (const int fd : {end_, slave}) {
      ::tcgetattr(fd, &raw);
      ::cfmakeraw(&raw);
      ::tcsetattr(fd, TCSANOW, &raw);
    }
    ::close(slave);
    path_ = name;
  }
  ~LinePair() {
    if (end_ >= 0) ::close(end_);
  }
  bool Send(const std::string& bytes) {
    return ::write(end_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Reads until `count` bytes came or the deadline passed.
  std::string Receive(std::size_t count) {
    std::string out;
    const auto end = Clock::now() + kDeadline;
    while (out.size() < count && Clock::now() < end) {
      pollfd p{end_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(end_, buffer, std::min(sizeof buffer, count - out.size()));
      if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }
#endif
  LinePair(const LinePair&) = delete;
  LinePair& operator=(const LinePair&) = delete;

  bool Ok() const { return !path_.empty(); }
  // The name the port under test opens: "/dev/pts/7", or "COM5".
  const std::string& Path() const { return path_; }

 private:
#if defined(_WIN32)
  HANDLE end_ = INVALID_HANDLE_VALUE;
#else
  int end_ = -1;
#endif
  std::string path_;
};

}  // namespace cport::testing
