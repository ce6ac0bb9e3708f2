#pragma once
// Watches for a lost port's device to come back: the node of a USB adapter
// pushed back in, or the link udev makes for it (/dev/serial/by-id/...),
// which follows the adapter whatever number it gets.
//
// Checked once a second (a stat of the path, following links): no busy
// polling, and it also sees a link whose directory vanished with the last
// adapter and came back with the next, which a directory watch would miss.
// DeviceBack() is emitted at every check that finds the device until Stop():
// the owner tries to reopen and stops the watch when that succeeds, so a node
// that appears before udev has given it its permissions is simply tried
// again a second later.
//
// User-interface thread.
#include <QObject>
#include <QTimer>

#include <string>

class ReconnectWatch : public QObject {
  Q_OBJECT

 public:
  explicit ReconnectWatch(QObject* parent = nullptr);

  // Starts watching the device of a port name as the port takes it
  // ("ttyUSB0", "COM1", a path or a link); a watch already running is
  // replaced.
  void Watch(const std::string& port_name);
  void Stop();
  bool Watching() const { return timer_.isActive(); }
  const std::string& DevicePath() const { return path_; }

 signals:
  void DeviceBack();

 private:
  void Check();

  QTimer timer_;
  std::string path_;
};
