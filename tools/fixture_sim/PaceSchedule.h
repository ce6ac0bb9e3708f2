#pragma once
// When the bytes of a paced stream may go out. Pure arithmetic on time points
// handed in by the caller, so that it is tested without a clock.
//
// A stream of `total` bytes at `rate` bytes per second goes out in chunks of
// about 10 ms of data (1 to 4096 bytes). Chunk k is due when the stream,
// sent at exactly `rate` from its start, would have reached the chunk's end;
// times are reckoned from the start, not from the last write, so rounding
// never adds up to a drift. A writer held up by the line (a full buffer, a
// reader that stopped) does not make up for the lost time with a burst
// afterwards, just as a serial line cannot: when it falls more than two
// chunks behind, the schedule starts over from the moment it may go on.
//
// A rate of 0 means unpaced: every byte is due at once, in chunks of 64 KiB.
#include <chrono>
#include <cstdint>

namespace fixture_sim {

using PaceClock = std::chrono::steady_clock;
using PaceTime = PaceClock::time_point;

// Bytes a stream at `rate` (at most kMaxStreamRate) has sent after `elapsed`;
// saturates instead of overflowing, and is 0 for a negative `elapsed`.
std::uint64_t BytesDue(std::uint64_t rate, std::chrono::nanoseconds elapsed);

// The shortest time after which BytesDue(rate, time) >= bytes; rate > 0.
// Saturates at the largest duration.
std::chrono::nanoseconds TimeFor(std::uint64_t rate, std::uint64_t bytes);

// The chunk size for a rate.
std::uint64_t ChunkFor(std::uint64_t rate);

class PaceSchedule {
 public:
  PaceSchedule(std::uint64_t total, std::uint64_t rate, PaceTime start);

  // How many bytes may be written at `now`: 0 while the next chunk is not
  // due, else up to one chunk (never past the end of the stream).
  std::uint64_t Allowed(PaceTime now);
  // The caller wrote `bytes` (at most what Allowed gave).
  void Sent(std::uint64_t bytes);

  // When the next chunk is due (meaningless once Done).
  PaceTime NextDue() const;
  bool Done() const { return sent_ >= total_; }
  std::uint64_t SentSoFar() const { return sent_; }
  std::uint64_t Chunk() const { return chunk_; }

 private:
  std::uint64_t NextChunkEnd() const;

  std::uint64_t total_;
  std::uint64_t rate_;
  std::uint64_t chunk_;
  PaceTime origin_;               // when byte 0 was due
  std::uint64_t originSent_ = 0;  // bytes sent when the schedule (re)started
  std::uint64_t sent_ = 0;
};

}  // namespace fixture_sim
