#include "cport/device/posix/PosixModemWatch.h"

#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "cport/device/LineFlags.h"

namespace cport::device {
namespace {

// A real-time signal: the standard ones all have a meaning of their own, and
// SIGRTMIN already leaves out those glibc keeps for itself.
int WakeSignal() { return SIGRTMIN + 3; }

void IgnoreSignal(int) {}

void InstallWakeHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the interrupted ioctl must return
    ::sigaction(WakeSignal(), &action, nullptr);
  });
}

}  // namespace

std::uint32_t ModemEvents(const ModemCounts& before, const ModemCounts& after) noexcept {
  std::uint32_t events = 0;
  if (after.cts != before.cts) events |= kEvCts;
  if (after.dsr != before.dsr) events |= kEvDsr;
  if (after.dcd != before.dcd) events |= kEvRlsd;
  if (after.rng != before.rng) events |= kEvRing;
  return events;
}

ModemWatch::ModemWatch() noexcept : wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wake_fd_ < 0) error_ = std::error_code(errno, std::system_category());
}

ModemWatch::~ModemWatch() {
  Stop();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool ModemWatch::Running() const noexcept {
  std::lock_guard lock(exit_mu_);
  return !exited_;
}

std::error_code ModemWatch::Start(WaitCall wait, CountCall counts) noexcept {
  std::lock_guard lock(start_stop_mu_);
  if (thread_.joinable()) return {};
  if (error_) return error_;
  // The baseline is taken here, not on the new thread, so that every change
  // after Start returns is reported.
  ModemCounts base;
  if (!counts(base)) return std::error_code(errno, std::system_category());
  InstallWakeHandler();
  stop_ = false;
  {
    std::lock_guard exit_lock(exit_mu_);
    exited_ = false;
  }
  try {
    thread_ = std::thread(&ModemWatch::Run, this, std::move(wait), std::move(counts), base);
  } catch (const std::system_error& e) {
    std::lock_guard exit_lock(exit_mu_);
    exited_ = true;
    return e.code();
  }
  return {};
}

void ModemWatch::Stop() noexcept {
  std::lock_guard lock(start_stop_mu_);
  if (!thread_.joinable()) return;
  stop_ = true;
  std::unique_lock exit_lock(exit_mu_);
  while (!exited_) {
    ::pthread_kill(thread_.native_handle(), WakeSignal());
    exit_cv_.wait_for(exit_lock, std::chrono::milliseconds(10));
  }
  exit_lock.unlock();
  thread_.join();
}

std::uint32_t ModemWatch::Take() noexcept {
  std::uint64_t value;
  [[maybe_unused]] ssize_t n = ::read(wake_fd_, &value, sizeof value);
  return pending_.exchange(0);
}

void ModemWatch::Run(WaitCall wait, CountCall counts, ModemCounts base) noexcept {
  while (!stop_) {
    const int r = wait();
    if (stop_) break;
    if (r < 0) {
      if (errno == EINTR) continue;
      break;  // the line is gone: the tty's own hang-up tells the wait
    }
    ModemCounts now;
    if (!counts(now)) break;
    if (const std::uint32_t events = ModemEvents(base, now)) {
      pending_ |= events;
      const std::uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(wake_fd_, &one, sizeof one);
    }
    base = now;
  }
  std::lock_guard lock(exit_mu_);
  exited_ = true;
  exit_cv_.notify_all();
}

}  // namespace cport::device
