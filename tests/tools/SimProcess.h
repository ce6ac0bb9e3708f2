#pragma once
// The fixture_sim program run as a child process for the end-to-end tests,
// with pipes on its standard input, output and error. Every wait has a
// deadline; nothing sleeps.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace fixture_sim::testing {

using TestClock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, for poll(); 0 once it has passed.
inline int MillisLeft(TestClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TestClock::now()).count();
  return left > 0 ? static_cast<int>(left) + 1 : 0;
}

class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> argv = {FIXTURE_SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    if (::posix_spawn(&pid_, FIXTURE_SIM_PATH, &actions, nullptr, cargv.data(), environ) != 0) {
      pid_ = -1;
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
    ::fcntl(stdout_, F_SETFL, O_NONBLOCK);
    ::fcntl(stderr_, F_SETFL, O_NONBLOCK);
    // A descriptor that becomes readable when the child ends (the system
    // call itself: Debian 12's <sys/pidfd.h> lacks C linkage for C++).
    if (pid_ > 0) pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  }

  ~SimProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {stdin_, stdout_, stderr_, pidfd_}) {
      if (fd >= 0) ::close(fd);
    }
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Started() const { return pid_ > 0 && pidfd_ >= 0; }

  // The first line of its standard output, without the newline.
  std::optional<std::string> FirstLine(std::chrono::milliseconds timeout) {
    const auto deadline = TestClock::now() + timeout;
    for (;;) {
      Collect(stdout_, out_);
      if (const auto end = out_.find('\n'); end != std::string::npos) return out_.substr(0, end);
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, MillisLeft(deadline)) <= 0) return std::nullopt;
      if ((p.revents & POLLHUP) && !(p.revents & POLLIN)) return std::nullopt;
    }
  }

  // Its exit status, once it has ended within `timeout`.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout) {
    pollfd p{pidfd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    exited_ = true;
    return status;
  }

  void Signal(int signal) const { ::kill(pid_, signal); }
  void CloseStdin() {
    ::close(stdin_);
    stdin_ = -1;
  }
  // Waits until its stderr holds `text`.
  bool AwaitStderr(std::string_view text, std::chrono::milliseconds timeout) {
    const auto deadline = TestClock::now() + timeout;
    for (;;) {
      Collect(stderr_, err_);
      if (err_.find(text) != std::string::npos) return true;
      pollfd p{stderr_, POLLIN, 0};
      if (::poll(&p, 1, MillisLeft(deadline)) <= 0) return false;
      if ((p.revents & POLLHUP) && !(p.revents & POLLIN)) return false;
    }
  }

  // What it wrote to stderr so far (all of it once it has exited).
  const std::string& Stderr() {
    Collect(stderr_, err_);
    return err_;
  }

 private:
  static void Collect(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) return;
      into.append(buffer, static_cast<std::size_t>(n));
    }
  }

  pid_t pid_ = -1;
  int pidfd_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  int stderr_ = -1;
  bool exited_ = false;
  std::string out_;
  std::string err_;
};

// Reads from `fd` (non-blocking) until `count` bytes came, the other side
// hung up, or the deadline passed.
inline std::vector<std::uint8_t> ReadBytes(int fd, std::size_t count,
                                           std::chrono::milliseconds timeout) {
  const auto deadline = TestClock::now() + timeout;
  std::vector<std::uint8_t> got;
  while (got.size() < count) {
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
    if (n > 0) {
      got.insert(got.end(), buffer, buffer + n);
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, MillisLeft(deadline)) <= 0) break;
  }
  return got;
}

}  // namespace fixture_sim::testing
