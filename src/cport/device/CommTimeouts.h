#pragma once
// The timeouts of a device's transfers, in milliseconds, with the meaning of
// the Windows COMMTIMEOUTS record kept on every platform:
//  - ReadInterval = kMaxDword with both read totals 0: a read returns at once
//    with whatever has arrived, possibly nothing.
//  - ReadInterval = kMaxDword, ReadTotalMultiplier = kMaxDword and
//    0 < ReadTotalConstant < kMaxDword: a read returns at once when bytes are
//    waiting, else with the first bytes to arrive, else empty after the constant.
//  - Otherwise a read ends when its count is complete, when ReadTotalMultiplier
//    ms per byte asked plus ReadTotalConstant ms have passed since it started
//    (both 0: no total limit), or when more than ReadInterval ms pass between two
//    bytes once one has arrived (0: no interval limit). A timeout is no error: the
//    read completes with the bytes it has.
//  - A write ends when all bytes are written or after WriteTotalMultiplier ms per
//    byte plus WriteTotalConstant ms (both 0: no limit), completing with the
//    bytes written so far.
#include <cstdint>

namespace cport::device {

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

struct CommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
  friend constexpr bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

}  // namespace cport::device
