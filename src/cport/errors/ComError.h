#pragma once
// EComPort: the one exception of the serial port component. Every failure of
// a port operation leaves it as an EComPort carrying a port error code (1 to
// 23, see PortError) and, when an operating-system call failed, the system's
// error code (errno on POSIX), which is also written at the end of the
// message. No operation reports failure by a return value.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cport {

// The port error codes; the number is the index into the message table.
enum class PortError : std::int32_t {
  OpenFailed = 1,      // "Unable to open com port"
  WriteFailed,         // "WriteFile function failed"
  ReadFailed,          // "ReadFile function failed"
  InvalidAsync,        // "Invalid Async parameter"
  PurgeFailed,         // "PurgeComm function failed"
  AsyncCheckFailed,    // "Unable to get async status"
  SetStateFailed,      // "SetCommState function failed"
  SetTimeoutsFailed,   // "SetCommTimeouts failed"
  SetupCommFailed,     // "SetupComm function failed"
  ClearCommFailed,     // "ClearCommError function failed"
  ModemStatusFailed,   // "GetCommModemStatus function failed"
  EscapeCommFailed,    // "EscapeCommFunction function failed"
  TransmitCharFailed,  // "TransmitCommChar function failed"
  SetWhileConnected,   // "Cannot set property while connected"
  EnumPortsFailed,     // "EnumPorts function failed"
  StoreFailed,         // "Failed to store settings"
  LoadFailed,          // "Failed to load settings"
  LinkFailed,          // "Link (un)registration failed"
  LedStateFailed,      // "Cannot change led state if ComPort is selected"
  EventThreadExists,   // "Cannot wait for event if event thread is created"
  WaitForEventFailed,  // "WaitForEvent method failed"
  RxBufLinked,         // "A component is linked to OnRxBuf event"
  RegistryError,       // "Registry error"
};

class EComPort : public std::runtime_error {
 public:
  // Without system code: the message is the table entry alone and
  // SystemErrorCode() is -1.
  explicit EComPort(PortError Code);
  // With system code: the table entry, then the suffix kSystemCodeSuffix
  // (ComMessages.h; on Linux " (system error %d: %s)") as translated at this
  // moment, with the code (signed decimal) for "%d" and the system's text of
  // it for "%s": "Unable to open com port (system error 2: No such file or
  // directory)".
  EComPort(PortError Code, std::int32_t SystemCode);
  // Without system code, with what the table entry cannot say: the entry,
  // ": ", then `Detail` (English; it names a mistake of the calling program,
  // not a state of the line).
  EComPort(PortError Code, const std::string& Detail);

  std::int32_t SystemErrorCode() const noexcept { return systemErrorCode_; }
  std::int32_t PortErrorCode() const noexcept { return portErrorCode_; }

 private:
  std::int32_t systemErrorCode_;
  std::int32_t portErrorCode_;
};

// Fills the first "%d" in `format` with `value`, the first "%s" with `text`,
// and turns "%%" into "%"; any other "%" stays as written, and nothing filled
// in is looked at again. Catalogue texts are data, never handed to printf.
std::string FillSystemCode(const std::string& format, std::int32_t value,
                           std::string_view text = {});

}  // namespace cport
