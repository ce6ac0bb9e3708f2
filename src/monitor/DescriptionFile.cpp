#include "monitor/DescriptionFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "cport/text/TextEncoding.h"

namespace monitor {
namespace {

using cport::ProfileFile;

constexpr std::array<std::string_view, 3> kSections = {kResultSection, kTestSection, kErrorSection};

std::timespec RealTimeNow() {
  std::timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

bool Before(const std::timespec& a, const std::timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool SameTime(const std::timespec& a, const std::timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads a whole regular file of at most `limit` bytes; `info` receives its
// status as it was before the first byte was read.
bool ReadRegularFile(const char* path, std::size_t limit, struct stat& info, std::string& bytes) {
  // O_NONBLOCK: a FIFO put in the file's place must not hold the window up.
  const FileDescriptor fd(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return false;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > limit) return false;
  bytes.clear();
  bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      // The file grew while being read: go on up to the limit.
      if (bytes.size() > limit) return false;
      bytes.resize(std::min(bytes.size() * 2, limit + 1));
    }
    const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return filled <= limit;
}


// The code of a key of the form "0x" + two hexadecimal digits, in any case:
// exactly the keys that match "0x%02X" without regard to case.
std::optional<std::uint8_t> CodeOfKey(std::string_view key) {
  if (key.size() != 4 || key[0] != '0' || (key[1] != 'x' && key[1] != 'X')) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  const int high = digit(key[2]);
  const int low = digit(key[3]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

}  // namespace

std::filesystem::path DescriptionFilePath(const std::filesystem::path& executableDir) {
  return executableDir / kDescriptionFileName;
}

bool MonitorIni::Stamp::operator==(const Stamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         SameTime(modified, other.modified) && SameTime(changed, other.changed);
}

MonitorIni::MonitorIni(std::filesystem::path file, WallClock wallClock)
    : path_(std::move(file)), wallClock_(std::move(wallClock)) {}

std::string MonitorIni::Lookup(std::string_view section, std::uint8_t code) {
  if (!inFrame_ || !frameLooked_) {
    frameReadable_ = Refresh();
    frameLooked_ = inFrame_;
  }
  if (!frameReadable_) return std::string(kNotDescribed);
  for (std::size_t i = 0; i < kSections.size(); ++i) {
    if (ProfileFile::NamesMatch(section, kSections[i])) {
      const std::optional<std::string>& value = sections_[i][code];
      return value ? *value : std::string(kNotDescribed);
    }
  }
  char key[8];
  std::snprintf(key, sizeof key, "0x%02X", static_cast<unsigned>(code));
  const std::optional<std::string_view> value = file_.Get(section, key);
  return value ? Describe(*value) : std::string(kNotDescribed);
}

bool MonitorIni::Refresh() {
  const char* path = path_.c_str();
  struct stat info {};
  if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) {
    loaded_ = false;
    return false;
  }
  auto stampOf = [](const struct stat& s) {
    return Stamp{static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino),
                 static_cast<std::int64_t>(s.st_size), s.st_mtim, s.st_ctim};
  };
  if (loaded_ && settled_ && stampOf(info) == stamp_) return true;

  const std::timespec readStart = wallClock_ ? wallClock_() : RealTimeNow();
  std::string bytes;
  if (!ReadRegularFile(path, kMaxFileSize, info, bytes)) {
    loaded_ = false;
    return false;
  }
  Load(bytes);
  ++readCount_;
  loaded_ = true;
  stamp_ = stampOf(info);
  // A file system stamps times from a clock that moves in ticks (up to two
  // seconds on FAT), so a second edit within the tick of the first leaves
  // every time unchanged. Once the last change is older than any tick, a new
  // edit must move the change time, and the stamp can be trusted.
  std::timespec lastChange =
      Before(stamp_.modified, stamp_.changed) ? stamp_.changed : stamp_.modified;
  lastChange.tv_sec += kSettleTime;
  settled_ = Before(lastChange, readStart);
  return true;
}

void MonitorIni::Load(std::string_view bytes) {
  file_ = ProfileFile::Parse(bytes);
  for (Section& section : sections_) section.fill(std::nullopt);
  int current = -1;  // index into kSections, -1 for a section not read here
  for (const ProfileFile::Line& line : file_.Lines()) {
    if (line.kind == ProfileFile::LineKind::Section) {
      current = -1;
      for (std::size_t i = 0; i < kSections.size(); ++i) {
        if (ProfileFile::NamesMatch(line.Name(), kSections[i])) current = static_cast<int>(i);
      }
    } else if (current >= 0 && line.kind == ProfileFile::LineKind::Entry) {
      const std::optional<std::uint8_t> code = CodeOfKey(line.Name());
      if (!code) continue;
      // The first entry wins, as in ProfileFile::Get.
      std::optional<std::string>& slot = sections_[static_cast<std::size_t>(current)][*code];
      if (!slot) slot = Describe(line.Value());
    }
  }
}

std::string MonitorIni::Describe(std::string_view value) const {
  // The platform's reader hands out a NUL-terminated string: a NUL ends it.
  value = value.substr(0, value.find('\0'));
  std::string text = cport::FileTextToCodePage1252(value, file_.Encoding());
  if (text.size() > kMaxValueSize) text.resize(kMaxValueSize);
  return text;
}

}  // namespace monitor
