#pragma once
// Received bytes as a Linux tty hands them over with PARMRK set, turned into
// what a Windows driver puts in its receive queue, plus the line errors and
// events that go with them. Pure: PosixComDevice feeds it what it reads and
// keeps the data in its own receive queue; tested without a device.
//
// The marked stream (termios PARMRK, IGNPAR and IGNBRK off, BRKINT off):
//   0xFF 0xFF   a received 0xFF
//   0xFF 0x00 X a byte X received with a parity or framing error (reported
//               only while INPCK is set)
//   0xFF 0x00 0x00 a break (and also a NUL byte with an error: the counters
//               tell them apart where the driver keeps them)
// An escape may be split across reads; the decoder carries it over.
#include <cstdint>
#include <span>
#include <string>

namespace cport::device {

// What the line settings say about received bytes (from the DCB).
struct ReceiveRules {
  bool parity_check = false;    // fParity: an error mark counts as a parity error
  bool replace = false;         // fErrorChar: a byte with an error becomes error_char
  std::uint8_t error_char = 0;  // ErrorChar
  bool discard_nul = false;     // fNull: received NUL bytes are dropped
  std::uint8_t event_char = 0;  // EvtChar: its arrival raises kEvRxFlag
  friend bool operator==(const ReceiveRules&, const ReceiveRules&) = default;
};

// Which errors the driver counted (TIOCGICOUNT) since the previous decode;
// `known` false when the driver keeps no counters.
struct CountedErrors {
  bool known = false;
  bool parity = false;
  bool frame = false;
  bool brk = false;
};

// What one decode found, as kCe* flags and kEv* bits.
struct DecodeResult {
  std::uint32_t errors = 0;    // kCeRxParity, kCeFrame, kCeBreak
  std::uint32_t events = 0;    // kEvRxChar, kEvRxFlag, kEvErr, kEvBreak
  std::uint32_t appended = 0;  // data bytes appended
};

class MarkedInput {
 public:
  // Decodes `raw`, appending the data bytes to `out`. A marked error on a
  // byte is a parity error or a framing error as `counted` says; where it
  // cannot say, a parity error when parity is checked, else a framing error.
  // The byte is kept as received, or becomes the error character when the
  // rules say so; a break leaves no byte. kEvRxChar comes with every appended
  // byte, kEvRxFlag with an appended event character; discarded NUL bytes
  // count for neither.
  DecodeResult Decode(std::span<const std::uint8_t> raw, const ReceiveRules& rules,
                      const CountedErrors& counted, std::string& out);
  // Forgets a half-received escape (after a purge of the receive side).
  void Reset() noexcept { state_ = State::kData; }

 private:
  enum class State : std::uint8_t { kData, kMark, kMarkZero };
  State state_ = State::kData;
};

}  // namespace cport::device
