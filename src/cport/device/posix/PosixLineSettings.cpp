#include "cport/device/posix/PosixLineSettings.h"

#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace cport::device {
namespace {

constexpr std::array<std::pair<std::uint32_t, speed_t>, 30> kStandardSpeeds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

std::error_code Invalid() { return {EINVAL, std::system_category()}; }

tcflag_t CharacterSize(std::uint8_t byte_size) {
  switch (byte_size) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

bool SpeedClose(std::uint32_t wanted, std::uint32_t got) {
  const std::uint64_t diff = wanted > got ? wanted - got : got - wanted;
  return diff * 100 <= std::uint64_t{wanted} * 3;
}

}  // namespace

std::optional<speed_t> StandardSpeed(std::uint32_t rate) noexcept {
  for (const auto& [bps, code] : kStandardSpeeds) {
    if (bps == rate) return code;
  }
  return std::nullopt;
}

std::error_code DcbToTermios(const Dcb& dcb, LineRequest& out) noexcept {
  out = LineRequest{};
  if (dcb.BaudRate == 0) return Invalid();  // B0 would hang the line up
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return Invalid();
  if (dcb.Parity > kSpaceParity || dcb.StopBits > kTwoStopBits) return Invalid();
  if (dcb.StopBits == kOne5StopBits && dcb.ByteSize != 5) return Invalid();
  const std::uint32_t dtr = dcb.DtrControl();
  const std::uint32_t rts = dcb.RtsControl();
  if ((dcb.Flags & (kDcbOutxDsrFlow | kDcbDsrSensitivity | kDcbAbortOnError)) != 0 ||
      dtr > kDtrControlEnable || rts == kRtsControlToggle) {
    return Invalid();
  }
  const bool xon_xoff = (dcb.Flags & (kDcbOutX | kDcbInX)) != 0;
  if (xon_xoff && dcb.XonChar == dcb.XoffChar) return Invalid();

  termios& t = out.tio;
  std::memset(&t, 0, sizeof t);
  // Raw: no input or output processing, no echo, no line editing, no signals.
  t.c_cflag = CREAD | CLOCAL | HUPCL | CharacterSize(dcb.ByteSize);
  switch (dcb.Parity) {
    case kOddParity:
      t.c_cflag |= PARENB | PARODD;
      break;
    case kEvenParity:
      t.c_cflag |= PARENB;
      break;
    case kMarkParity:
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case kSpaceParity:
      t.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (dcb.StopBits != kOneStopBit) t.c_cflag |= CSTOPB;
  if ((dcb.Flags & kDcbOutxCtsFlow) != 0 || rts == kRtsControlHandshake) t.c_cflag |= CRTSCTS;
  // Errors and breaks are marked in the data rather than turned into NUL
  // bytes. INPCK decides whether parity and framing errors are marked at all
  // (the UART drivers report neither without it), so it follows fParity.
  t.c_iflag |= PARMRK;
  if (dcb.Flags & kDcbParity) t.c_iflag |= INPCK;
  if (dcb.Flags & kDcbOutX) t.c_iflag |= IXON;
  if (dcb.Flags & kDcbInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = dcb.XonChar;
  t.c_cc[VSTOP] = dcb.XoffChar;
  // One byte satisfies a read; the device's own descriptor is non-blocking,
  // so this only makes "nothing there" EAGAIN rather than a 0 that would look
  // like a hung-up line.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  out.rate = dcb.BaudRate;
  if (auto code = StandardSpeed(dcb.BaudRate)) {
    cfsetispeed(&t, *code);
    cfsetospeed(&t, *code);
  } else {
    out.custom_speed = true;
  }
  (dtr == kDtrControlEnable ? out.lines_to_set : out.lines_to_clear) |= TIOCM_DTR;
  if (rts == kRtsControlEnable) out.lines_to_set |= TIOCM_RTS;
  if (rts == kRtsControlDisable) out.lines_to_clear |= TIOCM_RTS;
  ReceiveRules& rx = out.receive;
  rx.parity_check = (dcb.Flags & kDcbParity) != 0;
  rx.replace = rx.parity_check && (dcb.Flags & kDcbErrorChar) != 0;
  rx.error_char = rx.replace ? dcb.ErrorChar : 0;
  rx.discard_nul = (dcb.Flags & kDcbNull) != 0;
  rx.event_char = dcb.EvtChar;
  return {};
}

KernelTermios ToKernelTermios(const LineRequest& request) noexcept {
  // glibc's flag and c_cc index values are the kernel's own on Linux.
  KernelTermios k;
  k.iflag = request.tio.c_iflag;
  k.oflag = request.tio.c_oflag;
  k.cflag = request.tio.c_cflag;
  k.lflag = request.tio.c_lflag;
  k.line = request.tio.c_line;
  std::memcpy(k.cc, request.tio.c_cc, sizeof k.cc);
  k.ispeed = request.rate;
  k.ospeed = request.rate;
  return k;
}

bool AppliedAsRequested(const KernelTermios& wanted, const KernelTermios& got) noexcept {
  auto same = [](std::uint32_t a, std::uint32_t b, std::uint32_t mask) {
    return (a & mask) == (b & mask);
  };
  if (!same(wanted.cflag, got.cflag, CSIZE | CSTOPB | PARENB | CREAD | CLOCAL | CRTSCTS)) {
    return false;
  }
  if ((wanted.cflag & PARENB) && !same(wanted.cflag, got.cflag, PARODD | CMSPAR)) return false;
  if (!same(wanted.iflag, got.iflag,
            INPCK | PARMRK | IGNPAR | IGNBRK | BRKINT | IXON | IXOFF | ICRNL | INLCR | IGNCR |
                ISTRIP)) {
    return false;
  }
  if (!same(wanted.lflag, got.lflag, ICANON | ECHO | ISIG | IEXTEN)) return false;
  if (!same(wanted.oflag, got.oflag, OPOST)) return false;
  if ((wanted.iflag & (IXON | IXOFF)) &&
      (wanted.cc[VSTART] != got.cc[VSTART] || wanted.cc[VSTOP] != got.cc[VSTOP])) {
    return false;
  }
  if (wanted.cc[VMIN] != got.cc[VMIN] || wanted.cc[VTIME] != got.cc[VTIME]) return false;
  return SpeedClose(wanted.ospeed, got.ospeed) &&
         (got.ispeed == 0 || SpeedClose(wanted.ospeed, got.ispeed));
}

}  // namespace cport::device
