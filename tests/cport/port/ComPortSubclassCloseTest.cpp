// A subclass that overrides the hooks of the close follows the rule of
// ComPort.h (its destructor calls CloseOnDestruction): destroying it open
// runs its own hooks, also when the close fails halfway.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../SharedFakeDevice.h"
#include "cport/errors/ApplicationException.h"
#include "cport/port/ComPort.h"
#include "cport/device/fake/FakeComDevice.h"

namespace cport {
namespace {

using Strings = std::vector<std::string>;

class HookedPort : public TComPort {
 public:
  HookedPort(std::unique_ptr<device::ComDevice> Device, Strings& log)
      : TComPort(std::move(Device)), log_(log) {
    SetEvents({});
  }
  ~HookedPort() override { CloseOnDestruction(); }

 protected:
  void DoBeforeClose() override { log_.push_back("DoBeforeClose"); }
  void DoAfterClose() override { log_.push_back("DoAfterClose"); }
  void CloseDevice() override {
    log_.push_back("CloseDevice");
    TComPort::CloseDevice();
  }

 private:
  Strings& log_;
};

TEST(ComPortSubclass, DestroyingItOpenRunsItsOwnCloseHooks) {
  const struct {
    const char* name;
    bool purgeFails;
    Strings hooks;
    Strings reported;
  } cases[] = {
      {"a whole close", false, {"DoBeforeClose", "CloseDevice", "DoAfterClose"}, {}},
      // The purge failed after OnBeforeClose: the device is still released
      // through the subclass's CloseDevice, and the failure is reported.
      {"a failed purge", true, {"DoBeforeClose", "CloseDevice"}, {"PurgeComm function failed"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Strings hooks;
    Strings reported;
    const auto previous = SetApplicationExceptionHandler([&](const std::exception& e) {
      const std::string what = e.what();
      reported.push_back(what.substr(0, what.find(" (")));
    });
    auto [fake, dev] = testing::MakeSharedFake();
    {
      HookedPort port(std::move(dev), hooks);
      port.OpenPort();
      if (c.purgeFails) fake->FailCall(device::FakeCall::kPurge, 5);
    }
    SetApplicationExceptionHandler(previous);
    EXPECT_EQ(hooks, c.hooks);
    EXPECT_EQ(reported, c.reported);
    EXPECT_FALSE(fake->IsOpen());
  }
}

}  // namespace
}  // namespace cport
