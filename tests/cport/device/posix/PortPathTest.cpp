#include <gtest/gtest.h>

#include "cport/device/PortPath.h"

namespace cport::device {
namespace {

TEST(PortPathTest, NamesBecomeDevicePaths) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"COM2", "/dev/ttyS1"},
      {"COM10", "/dev/ttyS9"},
      {"com3", "/dev/ttyS2"},  // Windows port names ignore case
      {"COM0", "/dev/COM0"},   // there is no COM0: just a name
      {"COM01", "/dev/COM01"},
      {"COM", "/dev/COM"},
      {"COM1x", "/dev/COM1x"},
      {"COM1234567890", "/dev/COM1234567890"},  // too long to be a number we take
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"pts/3", "/dev/pts/3"},
      {"/dev/pts/7", "/dev/pts/7"},
      {"/tmp/COM1", "/tmp/COM1"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DevicePathForPort(c.name), c.path) << c.name;
  }
}

}  // namespace
}  // namespace cport::device
