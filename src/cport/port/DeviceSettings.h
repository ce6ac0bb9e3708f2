#pragma once
// The port's settings as the device receives them: pure functions, so that
// every platform builds the same records and tests need no device.
#include "cport/device/CommTimeouts.h"
#include "cport/device/Dcb.h"

namespace cport {

class TCustomComPort;
class TComTimeouts;

// The DCB of the port's line settings: the speed (CustomBaudRate, unchanged,
// for brCustom), the flag word from Parity and FlowControl (fBinary always,
// fErrorChar only with both Check and Replace, never fAbortOnError), XON and
// XOFF limits of a quarter of Buffer.InputSize kept to 16 bits, byte size,
// parity and stop-bit codes, the XON/XOFF characters, ErrorChar only with
// fErrorChar, and EventChar. The composite FlowControl value plays no part.
device::Dcb BuildDcb(const TCustomComPort& Port);

// The five timeouts, each signed value passed as the unsigned value with the
// same bits (-1 becomes 0xFFFFFFFF).
device::CommTimeouts BuildCommTimeouts(const TComTimeouts& Timeouts);

}  // namespace cport
