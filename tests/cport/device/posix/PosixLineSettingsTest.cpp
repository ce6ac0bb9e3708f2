// The device-control record as termios, without a device.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "cport/device/posix/PosixLineSettings.h"

namespace cport::device {
namespace {

Dcb Line8N1(std::uint32_t baud = 9600) {
  Dcb d;
  d.BaudRate = baud;
  d.Flags = kDcbBinary;
  d.ByteSize = 8;
  d.XonChar = 0x11;
  d.XoffChar = 0x13;
  return d;
}

LineRequest Map(const Dcb& d) {
  LineRequest r;
  EXPECT_FALSE(DcbToTermios(d, r)) << "baud " << d.BaudRate;
  return r;
}

TEST(PosixLineSettingsTest, DefaultRecordIsRaw8N1WithLinesDropped) {
  const LineRequest r = Map(Line8N1());
  const termios& t = r.tio;
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  // Errors and breaks marked in the data; no CR/NL translation, no flow
  // control, no parity check.
  EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(PARMRK));
  EXPECT_EQ(t.c_oflag, 0u);
  EXPECT_EQ(t.c_lflag, 0u);  // no echo, no canonical mode, no signals
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_FALSE(r.custom_speed);
  EXPECT_EQ(r.rate, 9600u);
  EXPECT_EQ(r.lines_to_set, 0);
  EXPECT_EQ(r.lines_to_clear, TIOCM_DTR | TIOCM_RTS);
  EXPECT_EQ(r.receive, ReceiveRules{});
}

TEST(PosixLineSettingsTest, EverySpeedOfThePortTableAndCustomRates) {
  const struct {
    std::uint32_t rate;
    speed_t code;  // B0: no Linux constant, set through termios2
  } cases[] = {
      {110, B110},   {300, B300},       {600, B600},       {1200, B1200},       {2400, B2400},
      {4800, B4800}, {9600, B9600},     {14400, B0},       {19200, B19200},     {38400, B38400},
      {56000, B0},   {57600, B57600},   {115200, B115200}, {128000, B0},        {256000, B0},
      {12345, B0},   {230400, B230400}, {921600, B921600}, {4000000, B4000000}, {4000001, B0},
  };
  for (const auto& c : cases) {
    const LineRequest r = Map(Line8N1(c.rate));
    EXPECT_EQ(r.rate, c.rate);
    EXPECT_EQ(r.custom_speed, c.code == B0) << c.rate;
    EXPECT_EQ(cfgetospeed(&r.tio), c.code) << c.rate;
    const KernelTermios k = ToKernelTermios(r);
    EXPECT_EQ(k.ospeed, c.rate);
    EXPECT_EQ(k.ispeed, c.rate);
  }
}

TEST(PosixLineSettingsTest, FramingParityAndFlowControl) {
  const struct {
    const char* what;
    void (*change)(Dcb&);
    tcflag_t cflag_mask;
    tcflag_t cflag;
    tcflag_t iflag;
  } cases[] = {
      {"5 bits", [](Dcb& d) { d.ByteSize = 5; }, CSIZE, CS5, 0},
      {"6 bits", [](Dcb& d) { d.ByteSize = 6; }, CSIZE, CS6, 0},
      {"7 bits", [](Dcb& d) { d.ByteSize = 7; }, CSIZE, CS7, 0},
      {"odd", [](Dcb& d) { d.Parity = kOddParity; }, PARENB | PARODD | CMSPAR, PARENB | PARODD, 0},
      {"even", [](Dcb& d) { d.Parity = kEvenParity; }, PARENB | PARODD | CMSPAR, PARENB, 0},
      {"mark", [](Dcb& d) { d.Parity = kMarkParity; }, PARENB | PARODD | CMSPAR,
       PARENB | PARODD | CMSPAR, 0},
      {"space", [](Dcb& d) { d.Parity = kSpaceParity; }, PARENB | PARODD | CMSPAR, PARENB | CMSPAR,
       0},
      {"parity check", [](Dcb& d) { d.Flags |= kDcbParity; }, 0, 0, INPCK},
      {"two stop bits", [](Dcb& d) { d.StopBits = kTwoStopBits; }, CSTOPB, CSTOPB, 0},
      {"1.5 stop bits with 5 data bits",
       [](Dcb& d) {
         d.ByteSize = 5;
         d.StopBits = kOne5StopBits;
       },
       CSTOPB | CSIZE, CSTOPB | CS5, 0},
      {"CTS output flow", [](Dcb& d) { d.Flags |= kDcbOutxCtsFlow; }, CRTSCTS, CRTSCTS, 0},
      {"RTS handshake", [](Dcb& d) { d.Flags |= kRtsControlHandshake << kDcbRtsControlShift; },
       CRTSCTS, CRTSCTS, 0},
      {"XON/XOFF out", [](Dcb& d) { d.Flags |= kDcbOutX; }, 0, 0, IXON},
      {"XON/XOFF in", [](Dcb& d) { d.Flags |= kDcbInX; }, 0, 0, IXOFF},
      {"both, equal chars without flow ok", [](Dcb& d) { d.XoffChar = d.XonChar; }, 0, 0, 0},
      {"error char: nothing more to set in termios", [](Dcb& d) { d.Flags |= kDcbErrorChar; }, 0, 0,
       0},
  };
  for (const auto& c : cases) {
    Dcb d = Line8N1();
    c.change(d);
    const LineRequest r = Map(d);
    EXPECT_EQ(r.tio.c_cflag & c.cflag_mask, c.cflag) << c.what;
    EXPECT_EQ(r.tio.c_iflag, c.iflag | PARMRK) << c.what;
    EXPECT_EQ(r.tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL)) << c.what;
  }
}

TEST(PosixLineSettingsTest, ReceiveRulesForTheDevicesQueue) {
  Dcb d = Line8N1();
  d.Flags |= kDcbErrorChar;  // replacement without parity check: nothing is marked to replace
  d.ErrorChar = '?';
  d.EvtChar = '\n';
  EXPECT_EQ(Map(d).receive, (ReceiveRules{false, false, 0, false, '\n'}));
  d.Flags |= kDcbParity | kDcbNull;
  EXPECT_EQ(Map(d).receive, (ReceiveRules{true, true, '?', true, '\n'}));
}

TEST(PosixLineSettingsTest, FlowCharactersAndLineControl) {
  Dcb d = Line8N1();
  d.Flags |= kDcbOutX | kDcbInX | kDcbNull | (kDtrControlEnable << kDcbDtrControlShift) |
             (kRtsControlEnable << kDcbRtsControlShift);
  d.XonChar = 'Q';
  d.XoffChar = 'S';
  const LineRequest r = Map(d);
  EXPECT_EQ(r.tio.c_cc[VSTART], 'Q');
  EXPECT_EQ(r.tio.c_cc[VSTOP], 'S');
  EXPECT_EQ(r.lines_to_set, TIOCM_DTR | TIOCM_RTS);
  EXPECT_EQ(r.lines_to_clear, 0);
  EXPECT_TRUE(r.receive.discard_nul);

  d.Flags = kDcbBinary | (kRtsControlHandshake << kDcbRtsControlShift);
  const LineRequest h = Map(d);
  EXPECT_EQ(h.lines_to_set, 0);  // the kernel drives RTS under CRTSCTS
  EXPECT_EQ(h.lines_to_clear, TIOCM_DTR);
}

TEST(PosixLineSettingsTest, RefusesWhatLinuxCannotDo) {
  const struct {
    const char* what;
    void (*change)(Dcb&);
  } cases[] = {
      {"speed 0", [](Dcb& d) { d.BaudRate = 0; }},
      {"4 data bits", [](Dcb& d) { d.ByteSize = 4; }},
      {"9 data bits", [](Dcb& d) { d.ByteSize = 9; }},
      {"parity 5", [](Dcb& d) { d.Parity = 5; }},
      {"stop bits 3", [](Dcb& d) { d.StopBits = 3; }},
      {"1.5 stop bits with 8 data bits", [](Dcb& d) { d.StopBits = kOne5StopBits; }},
      {"1.5 stop bits with 6 data bits",
       [](Dcb& d) {
         d.ByteSize = 6;
         d.StopBits = kOne5StopBits;
       }},
      {"DSR output flow", [](Dcb& d) { d.Flags |= kDcbOutxDsrFlow; }},
      {"DSR sensitivity", [](Dcb& d) { d.Flags |= kDcbDsrSensitivity; }},
      {"DTR handshake", [](Dcb& d) { d.Flags |= kDtrControlHandshake << kDcbDtrControlShift; }},
      {"DTR control 3", [](Dcb& d) { d.Flags |= 3u << kDcbDtrControlShift; }},
      {"RTS toggle", [](Dcb& d) { d.Flags |= kRtsControlToggle << kDcbRtsControlShift; }},
      {"abort on error", [](Dcb& d) { d.Flags |= kDcbAbortOnError; }},
      {"XON equals XOFF with flow",
       [](Dcb& d) {
         d.Flags |= kDcbInX;
         d.XoffChar = d.XonChar;
       }},
  };
  for (const auto& c : cases) {
    Dcb d = Line8N1();
    c.change(d);
    LineRequest r;
    EXPECT_EQ(DcbToTermios(d, r), std::error_code(EINVAL, std::system_category())) << c.what;
  }
}

TEST(PosixLineSettingsTest, ReadBackComparisonCatchesWhatTheDriverDropped) {
  Dcb d = Line8N1(56000);
  d.ByteSize = 7;
  d.Parity = kEvenParity;
  d.Flags |= kDcbOutX;
  const KernelTermios wanted = ToKernelTermios(Map(d));
  EXPECT_TRUE(AppliedAsRequested(wanted, wanted));

  const struct {
    const char* what;
    void (*change)(KernelTermios&);
    bool matches;
  } cases[] = {
      // What a pseudo-terminal does with any request: 8 bits, no parity.
      {"forced to 8 bits", [](KernelTermios& k) { k.cflag = (k.cflag & ~CSIZE) | CS8; }, false},
      {"parity dropped", [](KernelTermios& k) { k.cflag &= ~PARENB; }, false},
      {"odd for even", [](KernelTermios& k) { k.cflag |= PARODD; }, false},
      {"stop bits changed", [](KernelTermios& k) { k.cflag |= CSTOPB; }, false},
      {"flow dropped", [](KernelTermios& k) { k.iflag &= ~IXON; }, false},
      {"XON char changed", [](KernelTermios& k) { k.cc[VSTART] = 'x'; }, false},
      {"canonical mode kept", [](KernelTermios& k) { k.lflag |= ICANON; }, false},
      {"speed fell back to 9600", [](KernelTermios& k) { k.ospeed = k.ispeed = 9600; }, false},
      // A UART divisor gives 57600 for 56000: 2.9 % off, still a working line.
      {"speed rounded by the divisor", [](KernelTermios& k) { k.ospeed = k.ispeed = 57600; }, true},
      {"input speed 0 means same as output", [](KernelTermios& k) { k.ispeed = 0; }, true},
      {"speed bits re-encoded", [](KernelTermios& k) { k.cflag |= CBAUDEX; }, true},
      {"HUPCL dropped", [](KernelTermios& k) { k.cflag &= ~HUPCL; }, true},
  };
  for (const auto& c : cases) {
    KernelTermios got = wanted;
    c.change(got);
    EXPECT_EQ(AppliedAsRequested(wanted, got), c.matches) << c.what;
  }

  // Without parity its kind is of no interest; without flow control neither
  // are its characters.
  const KernelTermios plain = ToKernelTermios(Map(Line8N1(128000)));
  KernelTermios got = plain;
  got.cflag |= PARODD | CMSPAR;
  got.cc[VSTART] = 'x';
  EXPECT_TRUE(AppliedAsRequested(plain, got));
  got.ospeed = got.ispeed = 115200;  // 10 % off
  EXPECT_FALSE(AppliedAsRequested(plain, got));
}

}  // namespace
}  // namespace cport::device
