// The registry of a system that has none: one file per root in the registry
// editor's text format, in a directory of the user's configuration.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>
#include <vector>

#include "cport/storage/AtomicFile.h"
#include "cport/storage/FileBytes.h"
#include "cport/storage/Registry.h"
#include "cport/storage/RegistryHive.h"

namespace cport {
namespace fs = std::filesystem;
namespace {

// The system's own text for a failure ("Permission denied"), whatever
// carried it.
std::string ReasonOf(const std::exception& e) {
  if (const auto* system = dynamic_cast<const std::system_error*>(&e)) {
    return system->code().message();
  }
  return e.what();
}

// The nearest existing directory at or above `dir`, where a missing directory
// would be created.
fs::path ExistingAncestor(fs::path dir) {
  std::error_code ec;
  while (!dir.empty() && !fs::exists(dir, ec)) {
    if (!dir.has_parent_path() || dir.parent_path() == dir) break;
    dir = dir.parent_path();
  }
  return dir.empty() ? fs::path(".") : dir;
}

class RegistryFileBackend final : public RegistryBackend {
 public:
  explicit RegistryFileBackend(fs::path directory) : directory_(std::move(directory)) {}

  bool Open(RegistryRoot root, const std::string& path, bool canCreate, bool writable) override;
  std::optional<std::string> Close() override;
  bool KeyExists(RegistryRoot root, const std::string& path) override;
  std::optional<RegistryValue> Read(std::string_view name) const override;
  bool Write(std::string_view name, const RegistryValue& value) override;
  std::string WriteFailure() const override;
  const std::string& FileProblem() const override { return fileProblem_; }
  void ClearFailure() override { writeFailure_.clear(); }

 private:
  struct Change {
    std::string name;
    RegistryValue value;
  };
  enum class HiveState : std::uint8_t { Absent, Read, Unreadable };

  fs::path FilePath() const { return RegistryFilePath(directory_, root_); }
  HiveState LoadHive(RegistryHive& hive);
  // Why the file, as LoadHive found it, may not be replaced: the system's
  // reason ("Permission denied") or ours; empty when it may.
  std::string WriteRefusal(const RegistryHive& hive, HiveState state) const;
  void WriteHive(const RegistryHive& hive) const;

  fs::path directory_;
  RegistryRoot root_ = RegistryRoot::HKEY_CURRENT_USER;
  std::string path_;
  std::optional<RegistryHive> hive_;
  std::vector<Change> changes_;
  std::string fileProblem_;
  std::string readFailure_;   // the reason of a HiveState::Unreadable
  std::string writeFailure_;  // the reason of WriteFailure()
};

std::string RegistryFileBackend::WriteFailure() const {
  return writeFailure_.empty() ? std::string() : FilePath().string() + ": " + writeFailure_;
}

RegistryFileBackend::HiveState RegistryFileBackend::LoadHive(RegistryHive& hive) {
  fileProblem_.clear();
  readFailure_.clear();
  const fs::path file = FilePath();
  std::string bytes;
  const std::error_code error = ReadWholeFile(file, Registry::kMaxFileSize, bytes);
  if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
    hive = RegistryHive(std::string(RegistryRootName(root_)));
    return HiveState::Absent;
  }
  if (error) {
    readFailure_ =
        error == std::errc::file_too_large ? std::string("larger than 64 MB") : error.message();
    fileProblem_ = "Failed to read registry file '" + file.string() + "': " + readFailure_;
    return HiveState::Unreadable;
  }
  hive = RegistryHive::Parse(std::string(RegistryRootName(root_)), bytes);
  if (hive.ProblemCount() > 0) {
    fileProblem_ = "Damaged registry file '" + file.string() + "': " + hive.Problems().front();
    if (hive.ProblemCount() > 1) {
      fileProblem_ += " (and " + std::to_string(hive.ProblemCount() - 1) + " more)";
    }
  }
  return HiveState::Read;
}

std::string RegistryFileBackend::WriteRefusal(const RegistryHive& hive, HiveState state) const {
  if (state == HiveState::Unreadable) return readFailure_;
  // A file we could not make sense of may be anything the operator keeps
  // there, or a link pointed at the wrong file: replacing it would lose it.
  if (state == HiveState::Read && !hive.ReadsAsRegistryFile()) {
    return "not a registry file (no header, no key); left as it is";
  }
  // The file is replaced by a new one in the directory of the file a link
  // names, so that directory must be writable, and the file itself (its
  // permissions are the operator's word, although a rename could ignore them).
  const fs::path file = FilePath();
  std::error_code ec;
  if (fs::exists(file, ec)) {
    fs::path real = fs::is_symlink(file, ec) ? fs::weakly_canonical(file, ec) : file;
    if (ec) real = file;
    const fs::path dir = real.has_parent_path() ? real.parent_path() : fs::path(".");
    if (::access(file.c_str(), W_OK) != 0 || ::access(dir.c_str(), W_OK) != 0) {
      return std::generic_category().message(errno);
    }
    return {};
  }
  const fs::path ancestor = ExistingAncestor(directory_);
  if (!fs::is_directory(ancestor, ec)) return std::generic_category().message(ENOTDIR);
  if (::access(ancestor.c_str(), W_OK) != 0) return std::generic_category().message(errno);
  return {};
}

void RegistryFileBackend::WriteHive(const RegistryHive& hive) const {
  // What root creates in another user's configuration home (sudo keeps HOME
  // or XDG_CONFIG_HOME) goes to that home's owner, as a replaced file keeps
  // its owner: a root-owned directory or file there would cost the operator
  // the settings at every later start.
  const fs::path home = ExistingAncestor(directory_);
  struct stat homeStat {};
  const bool giveAway = ::geteuid() == 0 && ::stat(home.c_str(), &homeStat) == 0 &&
                        homeStat.st_uid != 0;
  auto handOver = [&](const fs::path& made) {
    if (giveAway && ::lchown(made.c_str(), homeStat.st_uid, homeStat.st_gid) != 0) {
      throw std::system_error(errno, std::generic_category(), made.string());
    }
  };

  // XDG asks for private configuration directories.
  std::error_code ec;
  if (!fs::is_directory(directory_, ec)) {
    if (directory_.has_parent_path()) fs::create_directories(directory_.parent_path());
    if (::mkdir(directory_.c_str(), 0700) != 0 && errno != EEXIST) {
      throw std::system_error(errno, std::generic_category(), directory_.string());
    }
    // Every level made now, from the home down.
    for (fs::path made = directory_; made != home && made.has_parent_path() &&
                                     made.parent_path() != made;
         made = made.parent_path()) {
      handOver(made);
    }
  }
  const fs::path target = FilePath();
  const bool isNew = !fs::exists(target, ec) && !fs::is_symlink(target, ec);
  AtomicFile file(target);
  file.Write(hive.Serialize());
  file.Commit();
  if (isNew) handOver(target);
}

bool RegistryFileBackend::Open(RegistryRoot root, const std::string& path, bool canCreate,
                               bool writable) {
  root_ = root;
  RegistryHive hive("");
  const HiveState state = LoadHive(hive);
  if (writable) writeFailure_ = WriteRefusal(hive, state);
  if (state == HiveState::Unreadable || !writeFailure_.empty()) return false;
  if (!hive.KeyExists(path)) {
    if (!canCreate) return false;
    hive.CreateKey(path);
    try {
      WriteHive(hive);
    } catch (const std::exception& e) {
      writeFailure_ = ReasonOf(e);
      return false;
    }
  }
  hive_ = std::move(hive);
  path_ = path;
  return true;
}

std::optional<std::string> RegistryFileBackend::Close() {
  std::vector<Change> changes = std::move(changes_);
  const std::string path = std::move(path_);
  changes_.clear();
  path_.clear();
  hive_.reset();
  if (changes.empty()) return std::nullopt;

  // Made again on the file as it is now, so that others' changes survive.
  RegistryHive hive("");
  const HiveState state = LoadHive(hive);
  writeFailure_ = WriteRefusal(hive, state);
  if (writeFailure_.empty()) {
    for (const Change& change : changes) hive.SetValue(path, change.name, change.value);
    try {
      WriteHive(hive);
    } catch (const std::exception& e) {
      writeFailure_ = ReasonOf(e);
    }
  }
  if (!writeFailure_.empty()) return changes.front().name;
  return std::nullopt;
}

bool RegistryFileBackend::KeyExists(RegistryRoot root, const std::string& path) {
  const RegistryRoot kept = root_;
  root_ = root;
  RegistryHive hive("");
  const bool exists = LoadHive(hive) != HiveState::Unreadable && hive.KeyExists(path);
  root_ = kept;
  return exists;
}

std::optional<RegistryValue> RegistryFileBackend::Read(std::string_view name) const {
  if (!hive_) return std::nullopt;
  const RegistryValue* value = hive_->FindValue(path_, name);
  if (!value) return std::nullopt;
  return *value;
}

bool RegistryFileBackend::Write(std::string_view name, const RegistryValue& value) {
  hive_->SetValue(path_, name, value);
  changes_.push_back(Change{std::string(name), value});
  return true;
}

}  // namespace

fs::path DefaultRegistryDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path config;
  if (xdg && *xdg == '/') {
    config = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* user = ::getpwuid(::getuid());
      home = user ? user->pw_dir : nullptr;
    }
    config = fs::path(home && *home ? home : ".") / ".config";
  }
  return config / "RiriredOZ";
}

std::unique_ptr<RegistryBackend> MakeRegistryBackend(const fs::path& directory) {
  return std::make_unique<RegistryFileBackend>(directory);
}

}  // namespace cport
