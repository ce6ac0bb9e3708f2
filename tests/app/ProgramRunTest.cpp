// The program itself, started as a separate process: SIGTERM, SIGINT and
// SIGHUP close its window as the title bar does, even over a message box.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Whether `pid` has a handler for `signal`.
bool Catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0) {
      return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
  }
  return false;
}

// Starts the program offscreen with `config` as its configuration home,
// sends `signal` once it catches it (or after a while, if it never does)
// and expects it to end with status 0.
void ExpectSignalEndsTheRunWith0(const fs::path& config, int signal) {
  std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                  "XDG_CONFIG_HOME=" + config.string()};
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("XDG_CONFIG_HOME=", 0) != 0) {
      env.push_back(entry);
    }
  }
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  char path[] = RIRIREDOZ_PATH;
  char* argv[] = {path, nullptr};
  pid_t pid = -1;
  ASSERT_EQ(::posix_spawn(&pid, path, nullptr, nullptr, argv, envp.data()), 0);

  auto deadline = Clock::now() + 10s;
  while (!Catches(pid, signal) && Clock::now() < deadline) ::poll(nullptr, 0, 10);
  ::kill(pid, signal);
  int status = 0;
  deadline = Clock::now() + 30s;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      FAIL() << "still running 30 s after the signal";
    }
    ::poll(nullptr, 0, 10);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ProgramRun, SignalsCloseTheWindowSavingTheSettingsAndTheProgramExitsWith0) {
  const fs::path config = fs::path(::testing::TempDir()) / "program-run-signals";
  const fs::path settings = config / "RiriredOZ" / "HKEY_LOCAL_MACHINE.reg";
  fs::remove_all(config);
  fs::create_directories(settings.parent_path());

  // Nothing changed: the close writes the settings file.
  ExpectSignalEndsTheRunWith0(config, SIGTERM);
  EXPECT_TRUE(fs::exists(settings)) << "no settings saved at close";

  // A stored value it cannot use keeps an error box open at start; the
  // signal closes the box, then the window, which writes its value instead.
  std::ofstream(settings, std::ios::binary | std::ios::trunc)
      << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n"
         "\"Formato\"=dword:zz\r\n\r\n";
  ExpectSignalEndsTheRunWith0(config, SIGHUP);
  EXPECT_EQ(FileText(settings).find("dword:zz"), std::string::npos) << FileText(settings);
  fs::remove_all(config);
}

}  // namespace
