// Receives line events through the installed Qt dispatcher (COMPONENTS qt):
// a QCoreApplication's event loop runs OnRxChar on its own thread. Exit
// status 0 when the bytes the other side of a pseudo-terminal sent arrive.
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <cport/errors/ComError.h>
#include <cport/port/ComPort.h>
#include <cport/qt/QtUiDispatcher.h>

#include <array>
#include <cstdio>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  cport::InstallQtUiDispatcher();

  int master = -1;
  int slave = -1;
  std::array<char, 128> name{};
  if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) return 1;
  termios raw{};
  ::tcgetattr(master, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(master, TCSANOW, &raw);
  ::close(slave);

  std::string received;
  bool onGuiThread = true;
  const auto gui = std::this_thread::get_id();
  int status = 1;
  try {
    cport::TComPort port;
    port.SetPort(name.data());
    port.OnRxChar = [&](cport::TCustomComPort& sender, int count) {
      std::string bytes(static_cast<std::size_t>(count), '\0');
      bytes.resize(static_cast<std::size_t>(sender.ReadBlock(bytes.data(), count)));
      received += bytes;
      onGuiThread = onGuiThread && std::this_thread::get_id() == gui;
      if (received.size() >= 5) app.quit();
    };
    port.OpenPort();
    if (::write(master, "hello", 5) != 5) return 1;
    QTimer::singleShot(5000, &app, [&] { app.exit(2); });  // the deadline
    status = app.exec();
    port.ClosePort();
  } catch (const cport::EComPort& e) {
    std::fprintf(stderr, "qt_consumer: %s\n", e.what());
    return 1;
  }
  ::close(master);
  if (status != 0 || received != "hello" || !onGuiThread) {
    std::fprintf(stderr, "qt_consumer: got \"%s\" (status %d, on the GUI thread: %d)\n",
                 received.c_str(), status, onGuiThread);
    return 1;
  }
  std::puts("qt_consumer: OnRxChar through the installed Qt dispatcher");
  return 0;
}
