// The port list: the system's names sorted as text ignoring case, and the
// registry error when the system's list cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "../SystemCodeText.h"
#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"
#include "cport/port/FreeNotices.h"
#include "cport/port/PortList.h"
#include "cport/device/SerialPortList.h"

namespace cport {
namespace {

using Names = std::vector<std::string>;

class PortListTest : public ::testing::Test {
 protected:
  void Feed(Names names, std::error_code error = {}) {
    SetPortNameSource([names, error](Names& out) {
      if (!error) out = names;
      return error;
    });
  }
  void TearDown() override { SetPortNameSource(nullptr); }
};

TEST_F(PortListTest, SortsAsTextIgnoringCase) {
  const struct {
    Names fed;
    Names listed;
  } cases[] = {
      {{"COM2", "COM10", "COM1"}, {"COM1", "COM10", "COM2"}},
      {{"ttyUSB0", "ttyS1", "ttyACM0", "ttyS0"}, {"ttyACM0", "ttyS0", "ttyS1", "ttyUSB0"}},
      {{"com3", "COM2", "Com1"}, {"Com1", "COM2", "com3"}},
      // Equal but for case: a fixed order, whatever the system's.
      {{"com1", "COM1"}, {"COM1", "com1"}},
      {{"COM1", "com1"}, {"COM1", "com1"}},
      // A prefix first; "_" (0x5F) after the letters once they are upper-cased.
      {{"ttyS_1", "ttyS", "ttySa"}, {"ttyS", "ttySa", "ttyS_1"}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    Feed(c.fed);
    Names target{"stale"};
    ListSerialPorts(target);
    EXPECT_EQ(target, c.listed);
  }
}

TEST_F(PortListTest, UnreadableListRaisesRegistryErrorAndKeepsTheTarget) {
  for (int error : {EACCES, ENOENT}) {
    Feed({"COM1"}, std::error_code(error, std::system_category()));
    Names target{"COM7"};
    try {
      ListSerialPorts(target);
      ADD_FAILURE() << "no error";
    } catch (const EComPort& e) {
      EXPECT_EQ(e.PortErrorCode(), 23);
      EXPECT_EQ(e.SystemErrorCode(), error);
      EXPECT_EQ(std::string(e.what()), "Registry error" + testing::SystemCodeText(error));
    }
    EXPECT_EQ(target, Names{"COM7"});
  }
}

TEST_F(PortListTest, WithoutAFedSourceTheSystemsListIsRead) {
  Feed({"fed"});
  EXPECT_TRUE(SetPortNameSource(nullptr));  // hands back the fed source
  Names system;
  const std::error_code error = device::ListSystemSerialPorts(system);
  Names target{"fed"};
  if (error) {
    EXPECT_THROW(ListSerialPorts(target), EComPort);
    return;
  }
  ListSerialPorts(target);
  std::sort(system.begin(), system.end());
  Names sorted = target;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, system);
}

TEST(FreeNotices, RunOnceInOrderExceptThoseRemovedBeforeOrMeanwhile) {
  std::vector<int> ran;
  {
    FreeNotices notices;
    FreeNotices::Ticket third = 0;
    notices.Add([&] { ran.push_back(1); });
    const auto second = notices.Add([&] { ran.push_back(2); });
    notices.Add([&] {
      ran.push_back(3);
      notices.Remove(third);  // a notice may withdraw a later one
    });
    third = notices.Add([&] { ran.push_back(4); });
    notices.Add([&] { ran.push_back(5); });
    notices.Remove(second);
    notices.Remove(second);  // spent ticket: nothing
    notices.Remove(999);
    EXPECT_EQ(notices.Count(), 4u);
  }
  EXPECT_EQ(ran, (std::vector<int>{1, 3, 5}));
}

}  // namespace
}  // namespace cport
