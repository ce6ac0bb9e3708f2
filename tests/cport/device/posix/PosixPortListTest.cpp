// The Linux port list over a made-up tty class directory laid out as sysfs
// lays it out, and over this machine's own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cport/device/posix/PosixPortList.h"
#include "cport/device/SerialPortList.h"

namespace cport::device {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class TtyClassDir {
 public:
  TtyClassDir() {
    root_ = fs::temp_directory_path() /
            ("cport-ttyclass-" + std::to_string(getpid()) + "-" + std::to_string(++count_));
    fs::create_directories(root_ / "class");
    fs::create_directories(root_ / "drivers" / "serial8250");
  }
  ~TtyClassDir() {
    std::error_code ignored;
    fs::permissions(root_ / "class", fs::perms::owner_all, ignored);
    fs::remove_all(root_, ignored);
  }

  fs::path dir() const { return root_ / "class"; }

  // An entry; `device` and `driver` give it a device link and that device a
  // driver link; `type` writes the serial core's type attribute.
  void Add(const std::string& name, bool device, bool driver, const char* type = nullptr) {
    const fs::path entry = dir() / name;
    fs::create_directories(entry);
    if (device) {
      const fs::path dev = root_ / "devices" / name;
      fs::create_directories(dev);
      fs::create_directory_symlink(dev, entry / "device");
      if (driver) fs::create_directory_symlink(root_ / "drivers" / "serial8250", dev / "driver");
    }
    if (type) std::ofstream(entry / "type") << type;
  }

 private:
  static inline int count_ = 0;
  fs::path root_;
};

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PosixPortList, KeepsTtysWithADriverAndARealUart) {
  TtyClassDir sys;
  sys.Add("tty0", false, false);                // a virtual console
  sys.Add("ptmx", false, false);
  sys.Add("console", false, false);
  sys.Add("ttyS0", true, true, "4\n");          // a 16550A that exists
  sys.Add("ttyS1", true, true, "0\n");          // registered, no UART there
  sys.Add("ttyS2", true, false, "4\n");         // its driver went away
  sys.Add("ttyAMA0", true, true, "83\n");       // another serial core driver
  sys.Add("ttyUSB0", true, true);               // USB adapter: no type attribute
  sys.Add("ttyACM0", true, true);               // ACM modem
  sys.Add("rfcomm0", false, false);             // no device behind it
  sys.Add("ttyXR!port0", true, true);           // a node in a subdirectory of /dev

  Names names{"stale"};
  ASSERT_FALSE(ListTtyClassSerialPorts(sys.dir(), names));
  EXPECT_EQ(Sorted(names), (Names{"ttyACM0", "ttyAMA0", "ttyS0", "ttyUSB0", "ttyXR/port0"}));

  // udev's stable links of the adapters in the list are offered too; a link
  // to a port that is not there is not.
  const fs::path by_id = sys.dir().parent_path() / "by-id";
  fs::create_directories(by_id);
  fs::create_symlink("../../ttyUSB0", by_id / "usb-FTDI_FT232R_A1B2C3-if00-port0");
  fs::create_symlink("../../ttyUSB7", by_id / "usb-gone-if00-port0");
  AddStableLinks(by_id, names);
  EXPECT_EQ(Sorted(names), (Names{(by_id / "usb-FTDI_FT232R_A1B2C3-if00-port0").string(), "ttyACM0",
                                  "ttyAMA0", "ttyS0", "ttyUSB0", "ttyXR/port0"}));
  AddStableLinks(by_id / "missing", names);
  EXPECT_EQ(names.size(), 6u);
}

TEST(PosixPortList, UnreadableDirectoryOrTypeIsAnErrorAndLeavesTheNames) {
  {
    TtyClassDir sys;
    Names names{"kept"};
    const std::error_code error = ListTtyClassSerialPorts(sys.dir() / "missing", names);
    EXPECT_EQ(error, std::error_code(ENOENT, std::system_category()));
    EXPECT_EQ(names, Names{"kept"});
  }
  {
    // A type attribute that is a directory cannot be read (EISDIR).
    TtyClassDir sys;
    sys.Add("ttyS0", true, true);
    fs::create_directory(sys.dir() / "ttyS0" / "type");
    Names names{"kept"};
    const std::error_code error = ListTtyClassSerialPorts(sys.dir(), names);
    EXPECT_EQ(error, std::error_code(EISDIR, std::system_category()));
    EXPECT_EQ(names, Names{"kept"});
  }
  if (geteuid() != 0) {
    // Root reads a directory whatever its mode says.
    TtyClassDir sys;
    fs::permissions(sys.dir(), fs::perms::none);
    Names names{"kept"};
    EXPECT_EQ(ListTtyClassSerialPorts(sys.dir(), names),
              std::error_code(EACCES, std::system_category()));
    EXPECT_EQ(names, Names{"kept"});
  }
}

TEST(PosixPortList, ThisMachinesListHoldsOnlyDevicesThatExist) {
  Names names;
  const std::error_code error = ListSystemSerialPorts(names);
  if (!fs::exists("/sys/class/tty")) {
    EXPECT_TRUE(error);
    return;
  }
  ASSERT_FALSE(error) << error.message();
  for (const auto& name : names) {
    EXPECT_TRUE(fs::exists("/sys/class/tty/" + name) || name.find('/') != std::string::npos)
        << name;
  }
  std::string listed;
  for (const auto& name : names) listed += name + " ";
  RecordProperty("ports", listed);
}

}  // namespace
}  // namespace cport::device
