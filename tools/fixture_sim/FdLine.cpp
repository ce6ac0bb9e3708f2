#include "fixture_sim/FdLine.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace fixture_sim {

PollTimeout::PollTimeout(PaceTime deadline) {
  if (deadline == PaceTime::max()) {
    infinite_ = true;
    return;
  }
  const auto left = deadline - PaceClock::now();
  if (left.count() <= 0) return;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  remaining_.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
  remaining_.tv_nsec = static_cast<long>(ns % 1'000'000'000);
}

bool ReadAvailable(int fd, const ReceivedBytes& received) {
  std::uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      if (received) received(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;
  }
}

FdLine::FdLine(int fd, ReceivedBytes received) : fd_(fd), received_(std::move(received)) {}

WriteOutcome FdLine::Write(std::span<const std::uint8_t> bytes) {
  WriteOutcome outcome;
  const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
  if (n >= 0) {
    outcome.taken = static_cast<std::size_t>(n);
  } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    outcome.error = std::error_code(errno, std::system_category());
  }
  return outcome;
}

std::error_code FdLine::Wait(bool forWrite, PaceTime deadline, const StopSignal& stop) {
  short events = 0;
  if (forWrite) events |= POLLOUT;
  if (received_) events |= POLLIN;
  pollfd fds[2] = {{stop.Fd(), POLLIN, 0}, {fd_, events, 0}};
  const PollTimeout timeout(deadline);
  const int n = ::ppoll(fds, 2, timeout.Get(), nullptr);
  if (n < 0) {
    return errno == EINTR ? std::error_code() : std::error_code(errno, std::system_category());
  }
  const short got = fds[1].revents;
  if (got & POLLNVAL) return std::make_error_code(std::errc::bad_file_descriptor);
  if ((got & POLLIN) && !ReadAvailable(fd_, received_)) {
    return std::make_error_code(std::errc::broken_pipe);
  }
  if ((got & (POLLHUP | POLLERR)) && !(got & POLLIN)) {
    return std::make_error_code(std::errc::broken_pipe);
  }
  return {};
}

}  // namespace fixture_sim
