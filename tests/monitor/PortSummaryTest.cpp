// What the window's port panel says of the open port.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "cport/device/fake/FakeComDevice.h"
#include "cport/port/ComPort.h"
#include "monitor/PortSummary.h"

namespace {

TEST(PortSummary, NamesThePortShortlyWithoutLosingWhichOneItIs) {
  const std::pair<const char*, const char*> cases[] = {
      {"ttyUSB0", "ttyUSB0 9600 8N1"},
      {"/dev/ttyUSB0", "ttyUSB0 9600 8N1"},
      {"/dev/pts/2", "pts/2 9600 8N1"},  // not a bare "2"
      {"/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0",
       "usb-FTDI_FT232R_A50285BI-if00-port0 9600 8N1"},
  };
  for (const auto& [name, shown] : cases) {
    cport::TComPort port(std::make_unique<cport::device::FakeComDevice>());
    EXPECT_EQ(monitor::PortSummary(port), "desconectada");
    port.SetEvents({});  // no event monitor: nothing here delivers its events
    port.SetPort(name);
    port.OpenPort();
    EXPECT_EQ(monitor::PortSummary(port), shown) << name;
  }
}

}  // namespace
