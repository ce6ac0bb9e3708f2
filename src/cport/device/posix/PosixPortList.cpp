#include "cport/device/posix/PosixPortList.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>

#include "cport/device/SerialPortList.h"

namespace cport::device {
namespace {

namespace fs = std::filesystem;

std::error_code Errno(int value) { return {value, std::system_category()}; }

// std::filesystem reports errno values in the generic category; the device
// layer's contract is the system category.
std::error_code AsSystem(const std::error_code& error) {
  return error ? Errno(error.value()) : error;
}

// Errors that mean the entry went away while we looked at it: a device
// unplugged during the listing is no failure of the listing.
bool EntryGone(const std::error_code& error) {
  const int e = error.value();
  return e == ENOENT || e == ENODEV || e == ENOTDIR || e == ENXIO;
}

// The serial core's `type` attribute of the entry: nullopt when the entry
// has none (not a serial core port), else the number it holds (-1 when it
// is not a number). Sysfs attributes are read with one read call.
std::optional<long> ReadPortType(const fs::path& entry, std::error_code& error) {
  error.clear();
  const int fd = ::open((entry / "type").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) error = Errno(errno);
    return std::nullopt;
  }
  char text[32];
  ssize_t n;
  do {
    n = ::read(fd, text, sizeof text - 1);
  } while (n < 0 && errno == EINTR);
  const int read_errno = errno;
  ::close(fd);
  if (n < 0) {
    error = Errno(read_errno);
    return std::nullopt;
  }
  long value = 0;
  ssize_t i = 0;
  if (i == n || text[i] < '0' || text[i] > '9') return -1;
  for (; i < n && text[i] >= '0' && text[i] <= '9' && value < 1000000; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Whether the entry's device is bound to a driver. A tty without a device
// (virtual consoles, ptys, ptmx) has no `device` link at all.
bool HasDriver(const fs::path& entry, std::error_code& error) {
  return fs::exists(entry / "device" / "driver", error);
}

}  // namespace

std::error_code ListTtyClassSerialPorts(const fs::path& tty_class_dir,
                                        std::vector<std::string>& names) noexcept {
  try {
    std::vector<std::string> found;
    std::error_code error;
    fs::directory_iterator it(tty_class_dir, error);
    if (error) return AsSystem(error);
    for (; it != fs::directory_iterator(); it.increment(error)) {
      const fs::path entry = it->path();
      // The type first: an entry that vanishes after it fails the driver
      // test below rather than passing for a port without a type.
      const std::optional<long> type = ReadPortType(entry, error);
      if (error) {
        if (EntryGone(error)) continue;
        return error;
      }
      if (type && *type == 0) continue;  // PORT_UNKNOWN: no UART behind it
      if (!HasDriver(entry, error)) {
        if (error && !EntryGone(error)) return AsSystem(error);
        continue;
      }
      std::string name = entry.filename().string();
      std::replace(name.begin(), name.end(), '!', '/');
      found.push_back(std::move(name));
    }
    if (error) return AsSystem(error);  // the directory could not be read to its end
    names = std::move(found);
    return {};
  } catch (const std::bad_alloc&) {
    return Errno(ENOMEM);
  } catch (const fs::filesystem_error& failure) {
    return AsSystem(failure.code());
  }
}

void AddStableLinks(const fs::path& by_id_dir, std::vector<std::string>& names) noexcept {
  try {
    std::vector<std::string> links;
    std::error_code error;
    for (fs::directory_iterator it(by_id_dir, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
      const fs::path target = fs::read_symlink(it->path(), error);
      if (error) continue;
      // udev's links are relative ("../../ttyUSB0"); the node's name is what
      // the list holds.
      if (std::find(names.begin(), names.end(), target.filename().string()) != names.end())
        links.push_back(it->path().string());
    }
    names.insert(names.end(), links.begin(), links.end());
  } catch (const std::exception&) {
    // A list without the links is still a whole list.
  }
}

std::error_code ListSystemSerialPorts(std::vector<std::string>& names) noexcept {
  const std::error_code error = ListTtyClassSerialPorts("/sys/class/tty", names);
  if (!error) AddStableLinks("/dev/serial/by-id", names);
  return error;
}

}  // namespace cport::device
