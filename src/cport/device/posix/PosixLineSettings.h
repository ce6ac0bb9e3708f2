#pragma once
// The device-control record as termios: pure functions, tested without a
// device. PosixComDevice applies the result through the kernel's termios2
// record (any speed) and reads it back with AppliedAsRequested, because a
// driver may report success having taken only part of a request.
#include <termios.h>

#include <cstdint>
#include <optional>
#include <system_error>

#include "cport/device/Dcb.h"
#include "cport/device/posix/PosixKernelTermios.h"
#include "cport/device/posix/PosixMarkedInput.h"

namespace cport::device {

struct LineRequest {
  termios tio{};              // raw mode plus the record's settings
  std::uint32_t rate = 0;     // bits per second
  bool custom_speed = false;  // no Bxxx constant for the rate: the speed bits are 0
  int lines_to_set = 0;       // TIOCM_DTR / TIOCM_RTS to assert after applying
  int lines_to_clear = 0;     // TIOCM_DTR / TIOCM_RTS to clear after applying
  ReceiveRules receive;       // what the device does with received bytes (PosixMarkedInput.h)
};

// The Bxxx constant of a rate, when Linux has one.
std::optional<speed_t> StandardSpeed(std::uint32_t rate) noexcept;

// Fails with EINVAL for what the record asks and Linux cannot do: a speed of 0,
// ByteSize outside 5..8, Parity above 4, StopBits above 2, 1.5 stop bits with
// more than 5 data bits (with 5 they become CSTOPB, which a UART sends as 1.5),
// DSR output flow, DTR handshake, DSR sensitivity, RTS toggle, abort-on-error,
// and XON/XOFF flow with XonChar equal to XoffChar.
// Received bytes come marked (PARMRK, with IGNPAR, IGNBRK and BRKINT off):
// the device takes line errors and breaks out of band and carries out fErrorChar
// with ErrorChar, fNull and EvtChar itself (`receive`); fParity is INPCK.
// Carried out as well as Linux allows: RTS handshake and CTS output flow both
// become CRTSCTS (which governs both directions); EofChar has no meaning in
// binary mode; XonLim/XoffLim and TxContinueOnXoff are carried out by the
// device's receive queue (see ComDevice.h).
std::error_code DcbToTermios(const Dcb& dcb, LineRequest& out) noexcept;

// The request as the kernel's record, speed fields set to the rate.
KernelTermios ToKernelTermios(const LineRequest& request) noexcept;

// Whether the record read back after applying carries what matters of the one
// asked for: raw mode with marked errors, character size, parity (its kind only when enabled),
// stop bits, receiver on, modem lines ignored, flow control and its
// characters, and the speed within 3 % (UART divisors round a rate; a larger
// error garbles the line).
bool AppliedAsRequested(const KernelTermios& wanted, const KernelTermios& got) noexcept;

}  // namespace cport::device
