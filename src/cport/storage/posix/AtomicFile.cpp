#include "cport/storage/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace cport {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void Fail(int error, const char* what, const fs::path& file) {
  throw std::system_error(error, std::generic_category(),
                          std::string(what) + " \"" + file.string() + "\"");
}

void KeepOwnerAndMode(int fd, const struct stat& old, const fs::path& target) {
  struct stat made {};
  if (::fstat(fd, &made) != 0) Fail(errno, "Cannot create file", target);
  // Root replacing a user's file (a run with the user's configuration home)
  // must leave it the user's. Only a change is asked for: a user may always
  // keep what the new file got already (its own uid, the group a set-group-ID
  // directory gave it), but may give a file away to no one.
  if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
      ::fchown(fd, old.st_uid, old.st_gid) != 0) {
    Fail(errno, "Cannot keep the owner of file", target);
  }
  // After fchown, which may clear the set-ID bits.
  if (::fchmod(fd, old.st_mode & 07777) != 0) Fail(errno, "Cannot keep the mode of file", target);
}

}  // namespace

AtomicFile::AtomicFile(const fs::path& target) : target_(target), resolved_(target) {
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path real = fs::weakly_canonical(target, ec);
    if (!ec) resolved_ = std::move(real);
  }
  struct stat old {};
  const bool exists = ::stat(resolved_.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) Fail(EISDIR, "Cannot create file", target_);
  // rename() would replace a file we may not write to; refuse as opening it
  // for writing would.
  if (exists && ::access(resolved_.c_str(), W_OK) != 0) Fail(errno, "Cannot create file", target_);

  // The new file must lie in the target's directory: rename() replaces
  // atomically only within one file system. O_EXCL with a fresh name never
  // opens a file someone else placed there.
  const fs::path dir = resolved_.has_parent_path() ? resolved_.parent_path() : fs::path(".");
  const std::string base = "." + resolved_.filename().string() + "." + std::to_string(::getpid());
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temporary_ = dir / (base + "-" + std::to_string(attempt) + ".tmp");
    fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) Fail(errno, "Cannot create file", target_);
  }
  handle_ = fd;
  if (!exists) return;
  try {
    KeepOwnerAndMode(fd, old, target_);
  } catch (...) {
    // No destructor runs for an object whose constructor throws.
    ::close(fd);
    ::unlink(temporary_.c_str());
    throw;
  }
}

AtomicFile::~AtomicFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  if (!committed_) ::unlink(temporary_.c_str());
}

void AtomicFile::Write(std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(static_cast<int>(handle_), data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "Cannot write file", target_);
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
}

void AtomicFile::Commit() {
  // A write error of the file system (a full disk on NFS, an I/O error) may
  // only show at fsync or close; the target is replaced after both passed.
  const int fd = static_cast<int>(handle_);
  if (::fsync(fd) != 0) Fail(errno, "Cannot write file", target_);
  handle_ = -1;
  if (::close(fd) != 0) Fail(errno, "Cannot write file", target_);
  if (::rename(temporary_.c_str(), resolved_.c_str()) != 0)
    Fail(errno, "Cannot replace file", target_);
  committed_ = true;
}

}  // namespace cport
