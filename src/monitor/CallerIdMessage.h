#pragma once
// The caller-ID test message: a channel seizure of 30 bytes 0x55, then a
// Single Data Message (type 0x04) carrying the month, day, hour and minute
// as ASCII digit pairs and the operator's text, and its checksum, the two's
// complement of the sum of the bytes from the type through the text.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace monitor {

// The moment the message carries: local date and time of day.
struct LocalDateTime {
  int month = 1;   // 1..12
  int day = 1;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
};

// The local clock now; any thread.
LocalDateTime LocalNow();

// The longest text one message carries: 41 + 209 bytes fill the 250-byte
// message buffer.
inline constexpr std::size_t kCallerIdMaxText = 209;

// The whole message, 41 + text.size() bytes. The text (Windows-1252 bytes,
// sent as they are) must not be longer than kCallerIdMaxText.
std::vector<std::uint8_t> BuildCallerIdMessage(std::string_view text, const LocalDateTime& when);

}  // namespace monitor
