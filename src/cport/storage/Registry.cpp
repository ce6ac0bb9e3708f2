#include "cport/storage/Registry.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "cport/storage/AtomicFile.h"
#include "cport/text/CodePage1252.h"
#include "cport/storage/FileBytes.h"

namespace cport {
namespace fs = std::filesystem;
namespace {

// `detail`, when given, follows the registry's own message after ": ", so
// that a caller matching the message still finds it at the start.
[[noreturn]] void Raise(const char* format, std::string_view name, std::string_view detail = {}) {
  std::string message(format);
  message.replace(message.find("%s"), 2, CodePage1252ToUtf8(name));
  if (!detail.empty()) message += ": " + std::string(detail);
  throw RegistryError(message);
}

// The system's own text for a failure ("Permission denied"), whatever
// carried it.
std::string ReasonOf(const std::exception& e) {
  if (const auto* system = dynamic_cast<const std::system_error*>(&e)) {
    return system->code().message();
  }
  return e.what();
}

constexpr const char* kSetFailed = "Failed to set data for '%s'";
constexpr const char* kGetFailed = "Failed to get data for '%s'";
constexpr const char* kInvalidType = "Invalid data type for '%s'";

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

}  // namespace

std::string_view RegistryRootName(RegistryRoot root) {
  switch (root) {
    using enum RegistryRoot;
    case HKEY_CLASSES_ROOT:
      return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER:
      return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE:
      return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS:
      return "HKEY_USERS";
    case HKEY_CURRENT_CONFIG:
      return "HKEY_CURRENT_CONFIG";
  }
  return "HKEY_CURRENT_USER";
}

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

fs::path RegistryFilePath(const fs::path& directory, RegistryRoot root) {
  return directory / (std::string(RegistryRootName(root)) + ".reg");
}

Registry::Registry(fs::path directory) : directory_(std::move(directory)) {}

Registry::~Registry() {
  try {
    CloseKey();
  } catch (...) {
    // A destructor cannot report; callers that care close the key first.
  }
}

void Registry::SetRootKey(RegistryRoot root) {
  CloseKey();
  root_ = root;
  writeFailure_.clear();
}

fs::path Registry::FilePath() const { return RegistryFilePath(directory_, root_); }

std::string Registry::WriteFailure() const {
  return writeFailure_.empty() ? std::string() : FilePath().string() + ": " + writeFailure_;
}

std::string Registry::Resolve(std::string_view key) const {
  std::string path;
  if (!key.starts_with('\\') && open_) path = path_;
  while (key.starts_with('\\')) key.remove_prefix(1);
  while (key.ends_with('\\')) key.remove_suffix(1);
  if (!key.empty()) {
    if (!path.empty()) path += '\\';
    path += key;
  }
  return path;
}

Registry::HiveState Registry::LoadHive(RegistryHive& hive) {
  fileProblem_.clear();
  readFailure_.clear();
  const fs::path file = FilePath();
  std::string bytes;
  const std::error_code error = ReadWholeFile(file, kMaxFileSize, bytes);
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

std::string Registry::WriteRefusal(const RegistryHive& hive, HiveState state) const {
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

void Registry::WriteHive(const RegistryHive& hive) const {
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

bool Registry::Open(std::string_view key, bool canCreate, bool writable) {
  const std::string path = Resolve(key);
  CloseKey();
  writeFailure_.clear();
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
  open_ = true;
  writable_ = writable;
  return true;
}

bool Registry::OpenKey(std::string_view key, bool canCreate) { return Open(key, canCreate, true); }

bool Registry::OpenKeyReadOnly(std::string_view key) { return Open(key, false, false); }

void Registry::CloseKey() {
  if (!open_) return;
  std::vector<Change> changes = std::move(changes_);
  const std::string path = std::move(path_);
  changes_.clear();
  path_.clear();
  hive_.reset();
  open_ = false;
  writable_ = false;
  if (changes.empty()) return;

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
  if (!writeFailure_.empty()) Raise(kSetFailed, changes.front().name, WriteFailure());
}

bool Registry::KeyExists(std::string_view key) {
  const std::string path = Resolve(key);
  RegistryHive hive("");
  return LoadHive(hive) != HiveState::Unreadable && hive.KeyExists(path);
}

std::optional<RegistryValue> Registry::ReadValue(std::string_view name) const {
  if (!open_) return std::nullopt;
  const RegistryValue* value = hive_->FindValue(path_, name);
  if (!value) return std::nullopt;
  return *value;
}

bool Registry::ValueExists(std::string_view name) const { return ReadValue(name).has_value(); }

std::string Registry::ReadString(std::string_view name) const {
  const std::optional<RegistryValue> value = ReadValue(name);
  if (!value) return {};
  if (value->damaged) Raise(kGetFailed, name);
  if (value->type != kRegSz && value->type != kRegExpandSz) Raise(kInvalidType, name);
  const std::string_view data = value->data;
  return std::string(data.substr(0, data.find('\0')));
}

std::int32_t Registry::ReadInteger(std::string_view name) const {
  const std::optional<RegistryValue> value = ReadValue(name);
  if (!value || value->damaged) Raise(kGetFailed, name);
  if (value->type != kRegDword) Raise(kInvalidType, name);
  if (value->data.size() > 4) Raise(kGetFailed, name);
  std::uint32_t bits = 0;
  for (std::size_t i = value->data.size(); i-- > 0;) {
    bits = (bits << 8) | static_cast<unsigned char>(value->data[i]);
  }
  return static_cast<std::int32_t>(bits);
}

void Registry::WriteValue(std::string_view name, const RegistryValue& value) {
  if (!open_ || !writable_) Raise(kSetFailed, name, open_ ? std::string() : WriteFailure());
  hive_->SetValue(path_, name, value);
  changes_.push_back(Change{std::string(name), value});
}

void Registry::WriteString(std::string_view name, std::string_view value) {
  RegistryValue v{kRegSz, std::string(value), false};
  v.data += '\0';
  WriteValue(name, v);
}

void Registry::WriteInteger(std::string_view name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  RegistryValue v{kRegDword, {}, false};
  for (int i = 0; i < 4; ++i) v.data += static_cast<char>((bits >> (8 * i)) & 0xFF);
  WriteValue(name, v);
}

}  // namespace cport
