// A program outside the project on the installed cport package: it opens the
// port side of a pseudo-terminal through TComPort, plays the other side
// itself, and moves a few bytes each way. Exit status 0 when both arrive
// whole.
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cport/ComError.h>
#include <cport/ComPort.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "cport_consumer: %s\n", what);
  return 1;
}

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

}  // namespace

int main() {
  int master = -1;
  int slave = -1;
  std::array<char, 128> name{};
  if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) return Fail("openpty");
  ::close(slave);  // the port opens it itself

  try {
    cport::TComPort port;
    port.SetPort(name.data());
    port.SetEvents({});  // no event monitor: this program reads when it chooses
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalConstant(5000);  // a read waits up to 5 s for all its bytes
    port.OpenPort();

    constexpr std::string_view kOut = "AT\r\n";
    if (port.WriteText(kOut) != static_cast<int>(kOut.size())) return Fail("short write");
    if (ReadMaster(master, kOut.size()) != kOut) return Fail("the fixture side got other bytes");

    constexpr std::string_view kIn = "\xFA\x05\xAA\x00\x01";
    if (::write(master, kIn.data(), kIn.size()) != static_cast<ssize_t>(kIn.size())) {
      return Fail("write on the fixture side");
    }
    std::array<char, kIn.size()> in{};
    const int n = port.ReadBlock(in.data(), static_cast<int>(in.size()));
    if (std::string_view(in.data(), static_cast<std::size_t>(n)) != kIn) {
      return Fail("the port read other bytes");
    }
    port.ClosePort();
  } catch (const cport::EComPort& e) {
    return Fail(e.what());
  }
  ::close(master);
  std::puts("cport_consumer: 4 bytes out and 5 bytes in through the installed cport");
  return 0;
}
