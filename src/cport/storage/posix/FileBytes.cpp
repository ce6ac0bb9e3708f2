#include "cport/storage/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace cport {
namespace {

std::error_code Error(int code) { return {code, std::generic_category()}; }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::error_code ReadWholeFile(const std::filesystem::path& file, std::size_t limit,
                              std::string& bytes) {
  bytes.clear();
  // O_NONBLOCK: a FIFO put in the file's place must not hold the caller up.
  const Descriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return Error(errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Error(errno);
  // A directory opens for reading without complaint; say what it is, in the
  // words the system uses for it elsewhere.
  if (S_ISDIR(info.st_mode)) return Error(EISDIR);
  if (!S_ISREG(info.st_mode)) return Error(EINVAL);
  if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > limit) return Error(EFBIG);
  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      // The file grew while being read: go on up to the limit.
      if (bytes.size() > limit) {
        bytes.clear();
        return Error(EFBIG);
      }
      bytes.resize(std::min(bytes.size() * 2, limit + 1));
    }
    const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      bytes.clear();
      return Error(error);
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > limit) {
    bytes.clear();
    return Error(EFBIG);
  }
  bytes.resize(filled);
  return {};
}

}  // namespace cport
