#include "monitor/log/SpillFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace monitor {
namespace {

std::system_error SystemError(int error, const std::string& what) {
  return std::system_error(error, std::generic_category(), what);
}

int OpenAnonymous(const std::filesystem::path& directory) {
#ifdef O_TMPFILE
  // A file that never had a name: nothing to clean up after a crash.
  const int anonymous = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (anonymous >= 0) return anonymous;
  // EOPNOTSUPP, EISDIR or EINVAL: the file system cannot make one. Any other
  // reason would fail the named way too, with a clearer error.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
#endif
  std::string name = (directory / "log-XXXXXX").string();
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  ::unlink(name.c_str());
  return fd;
}

}  // namespace

std::shared_ptr<SpillFile> SpillFile::Create(const std::filesystem::path& directory) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  const int fd = OpenAnonymous(directory);
  if (fd < 0) throw SystemError(errno, directory.string());
  return std::shared_ptr<SpillFile>(new SpillFile(fd));
}

std::filesystem::path SpillFile::DefaultDirectory() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
    return std::filesystem::path(cache) / "RiriredOZ";
  if (const char* home = std::getenv("HOME"); home && *home == '/')
    return std::filesystem::path(home) / ".cache" / "RiriredOZ";
  std::error_code ec;
  const auto temp = std::filesystem::temp_directory_path(ec);
  return ec ? std::filesystem::path("/tmp") : temp;
}

SpillFile::~SpillFile() { ::close(fd_); }

std::uint64_t SpillFile::Append(std::span<const char> data) {
  const std::uint64_t offset = size_.load(std::memory_order_relaxed);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemError(errno, "spill file");
    }
    done += static_cast<std::size_t>(n);
  }
  // Only now is the end moved: a failed append leaves it where it was, and
  // whatever part of it reached the file is overwritten by the next one.
  size_.store(offset + data.size(), std::memory_order_release);
  return offset;
}

void SpillFile::Read(std::uint64_t offset, std::span<char> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n =
        ::pread(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw SystemError(n < 0 ? errno : EIO, "spill file");
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace monitor
