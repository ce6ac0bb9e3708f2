#include "cport/device/posix/PosixMarkedInput.h"

#include "cport/device/LineFlags.h"

namespace cport::device {
namespace {

// The kind of a marked byte error. The line discipline marks parity and
// framing errors alike; the driver's counters, read just before, say which
// it was. Both moved: the batch held both kinds, and the byte gets both flags
// rather than a guess.
std::uint32_t ErrorKind(const ReceiveRules& rules, const CountedErrors& counted) {
  if (counted.known && (counted.parity || counted.frame)) {
    return (counted.parity ? kCeRxParity : 0u) | (counted.frame ? kCeFrame : 0u);
  }
  return rules.parity_check ? kCeRxParity : kCeFrame;
}

}  // namespace

DecodeResult MarkedInput::Decode(std::span<const std::uint8_t> raw, const ReceiveRules& rules,
                                 const CountedErrors& counted, std::string& out) {
  DecodeResult result;
  auto append = [&](std::uint8_t byte) {
    if (rules.discard_nul && byte == 0) return;
    out.push_back(static_cast<char>(byte));
    ++result.appended;
    result.events |= kEvRxChar;
    if (byte == rules.event_char) result.events |= kEvRxFlag;
  };
  auto bad_byte = [&](std::uint8_t byte) {
    result.errors |= ErrorKind(rules, counted);
    result.events |= kEvErr;
    append(rules.replace ? rules.error_char : byte);
  };
  for (const std::uint8_t byte : raw) {
    switch (state_) {
      case State::kData:
        if (byte == 0xFF) {
          state_ = State::kMark;
        } else {
          append(byte);
        }
        break;
      case State::kMark:
        if (byte == 0xFF) {
          state_ = State::kData;
          append(0xFF);
        } else if (byte == 0x00) {
          state_ = State::kMarkZero;
        } else {
          // Not an escape the line discipline writes; keep both bytes rather
          // than lose one.
          state_ = State::kData;
          append(0xFF);
          append(byte);
        }
        break;
      case State::kMarkZero:
        state_ = State::kData;
        // 0xFF 0x00 0x00 is a break, unless the counters show an error and
        // no break: then it was a NUL byte with an error.
        if (byte == 0x00 && !(counted.known && !counted.brk && (counted.parity || counted.frame))) {
          result.errors |= kCeBreak;
          result.events |= kEvBreak;
        } else {
          bad_byte(byte);
        }
        break;
    }
  }
  return result;
}

}  // namespace cport::device
