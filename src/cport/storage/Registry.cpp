#include "cport/storage/Registry.h"

#include <utility>

#include "cport/text/CodePage1252.h"

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

constexpr const char* kSetFailed = "Failed to set data for '%s'";
constexpr const char* kGetFailed = "Failed to get data for '%s'";
constexpr const char* kInvalidType = "Invalid data type for '%s'";

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

fs::path RegistryFilePath(const fs::path& directory, RegistryRoot root) {
  return directory / (std::string(RegistryRootName(root)) + ".reg");
}

Registry::Registry(fs::path directory)
    : directory_(std::move(directory)), backend_(MakeRegistryBackend(directory_)) {}

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
  backend_->ClearFailure();
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

bool Registry::Open(std::string_view key, bool canCreate, bool writable) {
  const std::string path = Resolve(key);
  CloseKey();
  backend_->ClearFailure();
  if (!backend_->Open(root_, path, canCreate, writable)) return false;
  path_ = path;
  open_ = true;
  writable_ = writable;
  return true;
}

bool Registry::OpenKey(std::string_view key, bool canCreate) { return Open(key, canCreate, true); }

bool Registry::OpenKeyReadOnly(std::string_view key) { return Open(key, false, false); }

void Registry::CloseKey() {
  if (!open_) return;
  path_.clear();
  open_ = false;
  writable_ = false;
  if (const std::optional<std::string> failed = backend_->Close()) {
    Raise(kSetFailed, *failed, backend_->WriteFailure());
  }
}

bool Registry::KeyExists(std::string_view key) { return backend_->KeyExists(root_, Resolve(key)); }

std::optional<RegistryValue> Registry::ReadValue(std::string_view name) const {
  if (!open_) return std::nullopt;
  return backend_->Read(name);
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
  if (!open_ || !writable_) {
    Raise(kSetFailed, name, open_ ? std::string() : backend_->WriteFailure());
  }
  if (!backend_->Write(name, value)) Raise(kSetFailed, name, backend_->WriteFailure());
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
