#pragma once
// A line over any file descriptor: a pipe, a socket, a serial device, either
// side of a pseudo-terminal. Meant for tests and benchmarks that feed a
// descriptor of their own, and for the simulator's --device mode.
//
// The descriptor is not owned. It should be non-blocking: on a blocking one a
// write waits until the other side has taken all of it, and a stop is seen
// only after that. The other side going away (a hang-up or an error on the
// descriptor, a closed pipe) is an error (EPIPE) of Write or Wait.
#include <ctime>
#include <functional>
#include <span>

#include "fixture_sim/Line.h"

namespace fixture_sim {

// Takes the bytes the other side sent.
using ReceivedBytes = std::function<void(std::span<const std::uint8_t>)>;

class FdLine final : public Line {
 public:
  // With `received`, bytes readable on `fd` are read while waiting and
  // handed to it; without, `fd` is never read.
  explicit FdLine(int fd, ReceivedBytes received = {});

  WriteOutcome Write(std::span<const std::uint8_t> bytes) override;
  std::error_code Wait(bool forWrite, PaceTime deadline, const StopSignal& stop) override;

 private:
  int fd_;
  ReceivedBytes received_;
};

// The time left until `deadline` as a ppoll timeout; null for no deadline.
// Shared by the lines.
struct PollTimeout {
  explicit PollTimeout(PaceTime deadline);
  const struct timespec* Get() const { return infinite_ ? nullptr : &remaining_; }

 private:
  struct timespec remaining_ {};
  bool infinite_ = false;
};

// Reads everything readable on the non-blocking `fd` and hands it on. Returns
// false when the other side has gone (end of file, EIO).
bool ReadAvailable(int fd, const ReceivedBytes& received);

}  // namespace fixture_sim
