#include "app/ReconnectWatch.h"

#include <sys/stat.h>

#include "cport/device/PortPath.h"

ReconnectWatch::ReconnectWatch(QObject* parent) : QObject(parent) {
  timer_.setParent(this);
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &ReconnectWatch::Check);
}

void ReconnectWatch::Watch(const std::string& port_name) {
  path_ = cport::device::DevicePathForPort(port_name);
  if (path_.empty()) return Stop();
  timer_.start();
}

void ReconnectWatch::Stop() { timer_.stop(); }

void ReconnectWatch::Check() {
  struct stat info {};
  // stat, not lstat: a udev link counts only when its device is there.
  if (::stat(path_.c_str(), &info) == 0 && S_ISCHR(info.st_mode)) emit DeviceBack();
}
