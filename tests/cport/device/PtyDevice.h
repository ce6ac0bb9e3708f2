#pragma once
// The platform device over a fresh pseudo-terminal, opened and configured as
// the port opens it (queue sizes, line settings, timeouts).
#include <gtest/gtest.h>

#include <memory>

#include "PtyPair.h"
#include "cport/device/ComDevice.h"

namespace cport::device::testing {

inline constexpr std::uint32_t kM = kMaxDword;
// The port's default timeouts: reads return at once, writes get 100 ms per
// byte plus one second.
inline constexpr CommTimeouts kPortTimeouts{kM, 0, 0, 100, 1000};

inline Dcb Line8N1(std::uint32_t baud = 9600) {
  Dcb d;
  d.BaudRate = baud;
  d.Flags = kDcbBinary;
  d.ByteSize = 8;
  d.XonChar = 0x11;
  d.XoffChar = 0x13;
  return d;
}

inline std::error_code Errno(int e) { return {e, std::system_category()}; }

class PtyDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_FALSE(dev->Open(pty.path()));
    ASSERT_FALSE(dev->SetQueueSizes(1024, 1024));
    ASSERT_FALSE(dev->SetLineSettings(Line8N1()));
    ASSERT_FALSE(dev->SetTimeouts(kPortTimeouts));
  }

  // Blocking forms, as the port builds them from start and wait.
  std::error_code Write(std::string_view bytes, std::uint32_t& written) {
    Transfer t;
    if (auto ec =
            dev->StartWrite(bytes.data(), static_cast<std::uint32_t>(bytes.size()), t, written)) {
      return ec;
    }
    return dev->WaitForTransfer(t, written);
  }
  std::string Read(std::uint32_t count, std::error_code* error = nullptr) {
    std::string buf(count, '\0');
    Transfer t;
    std::uint32_t n = 0;
    std::error_code ec = dev->StartRead(buf.data(), count, t, n);
    if (!ec) ec = dev->WaitForTransfer(t, n);
    if (error) *error = ec;
    EXPECT_TRUE(error || !ec) << ec.message();
    buf.resize(n);
    return buf;
  }

  PtyPair pty;
  std::unique_ptr<ComDevice> dev = CreatePlatformComDevice();
};

}  // namespace cport::device::testing
