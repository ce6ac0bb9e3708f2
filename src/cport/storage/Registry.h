#pragma once
// The registry of the port component's platform layer: roots, keys, and
// typed values, with the Windows registry's rules for reading and writing
// texts and 32-bit integers. The same interface on every platform; where the
// keys live is the platform's (RegistryBackend.h):
//
// Windows: the system's registry itself (RegCreateKeyEx, RegQueryValueEx,
// RegSetValueEx). Each write reaches the registry when it is made; a refused
// write raises at once. `directory` is not used and FileProblem() stays empty.
//
// Linux: each root is one file in the registry editor's text format
// (RegistryHive.h) named after the root, "HKEY_LOCAL_MACHINE.reg", in a
// directory of the user's configuration (DefaultRegistryDirectory). A file
// exported by the registry editor of a Windows machine, in either of the
// editor's formats, can be put there as it is. The root's file is read at
// each open. Changes of values are kept until the key is closed and then
// written together, as one replacement of the file (AtomicFile.h): a failure
// or a crash while writing leaves the previous file whole. Just before
// writing the file is read again and the changes are made on what it holds
// then, so changes another program made meanwhile to other values survive.
//
// Lifecycle: choose a root (HKEY_CURRENT_USER at construction), open one key
// with OpenKey or OpenKeyReadOnly, read and write its values, CloseKey (also
// done by the next open and by destruction).
//
// Access (Linux): an open for full access (OpenKey) fails when the root's
// file or its directory may not be written, or when the file exists but
// cannot be read or did not read as a registry file (no header, no key: a
// script a link was pointed at); such a file is never overwritten. An open
// for reading (OpenKeyReadOnly) needs only a readable file. A symbolic link
// is followed: the file it names is replaced and the link stays. A replaced
// file keeps its owner, group and mode (AtomicFile.h). On Windows the
// system's access rights of the key decide.
//
// Errors: RegistryError, with the value's name for %s:
//   "Failed to set data for '%s'"  a value cannot be written: no key open, a
//                                  key opened for reading, the system refused
//                                  it (Windows), or the file cannot be written
//                                  at CloseKey (Linux; the first value changed
//                                  since the open is named). When the store is
//                                  at fault the message goes on with where and
//                                  the system's reason: "Failed to set data
//                                  for 'Port': /home/op/.config/RiriredOZ/
//                                  HKEY_LOCAL_MACHINE.reg: Permission denied";
//   "Failed to get data for '%s'"  an integer value is missing, longer than 4
//                                  bytes, or any value's text in the file is
//                                  damaged;
//   "Invalid data type for '%s'"   a text read from a value that is not
//                                  REG_SZ/REG_EXPAND_SZ, an integer from one
//                                  that is not REG_DWORD.
// Names in messages are converted from Windows-1252 to UTF-8.
//
// Not thread-safe: one thread owns a Registry object. Two objects (or two
// programs) may share a file; the last to close a changed key decides a value
// both changed.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cport/storage/RegistryBackend.h"
#include "cport/storage/RegistryValue.h"

namespace cport {

// The names are those of <windows.h>'s macros: a Windows source including
// both includes this header first and does not name the values after it.
enum class RegistryRoot : std::uint8_t {
  HKEY_CLASSES_ROOT,
  HKEY_CURRENT_USER,
  HKEY_LOCAL_MACHINE,
  HKEY_USERS,
  HKEY_CURRENT_CONFIG,
};

std::string_view RegistryRootName(RegistryRoot root);

class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Linux: $XDG_CONFIG_HOME/RiriredOZ, with $HOME/.config for a missing, empty
// or relative XDG_CONFIG_HOME (the user database's home without HOME).
// Windows: empty (the system's registry needs no directory).
std::filesystem::path DefaultRegistryDirectory();

// The file of `root` in `directory`: "<directory>/HKEY_LOCAL_MACHINE.reg".
std::filesystem::path RegistryFilePath(const std::filesystem::path& directory, RegistryRoot root);

class Registry {
 public:
  // A registry file larger than this is not read (nor overwritten).
  static constexpr std::size_t kMaxFileSize = 64 * 1024 * 1024;

  explicit Registry(std::filesystem::path directory = DefaultRegistryDirectory());
  // Closes the key; a failure to write its changes is swallowed.
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  RegistryRoot RootKey() const noexcept { return root_; }
  // Closes the current key (may raise as CloseKey), then changes the root.
  void SetRootKey(RegistryRoot root);
  const std::filesystem::path& Directory() const noexcept { return directory_; }

  // Opens `key` for full access, first closing the current key (may raise as
  // CloseKey). A key beginning with a backslash is a path from the root
  // ("\SOFTWARE\Dravel\RiriredOZ"); any other is below the current key when
  // one is open, else below the root. With `canCreate` a missing key is
  // created with its missing parents, and that is written at once. False,
  // with no key open, when the key is missing (and not created) or when full
  // access is refused (see above); never raises for those.
  bool OpenKey(std::string_view key, bool canCreate);
  // The same for reading only; values cannot be written.
  bool OpenKeyReadOnly(std::string_view key);
  // Writes the changes made since the open, then closes the key. The key is
  // closed also when writing fails (RegistryError "Failed to set data").
  void CloseKey();
  bool HasCurrentKey() const noexcept { return open_; }
  // The open key's path below the root, without leading backslash.
  const std::string& CurrentPath() const noexcept { return path_; }
  // Whether `key` (resolved as by OpenKey) exists; reads the file, opens nothing.
  bool KeyExists(std::string_view key);

  bool ValueExists(std::string_view name) const;
  // The value as stored, or nothing when it (or the open key) is missing.
  std::optional<RegistryValue> ReadValue(std::string_view name) const;
  // A REG_SZ or REG_EXPAND_SZ value up to its first zero; a missing value (or
  // no open key) reads as "".
  std::string ReadString(std::string_view name) const;
  // A REG_DWORD value; data shorter than 4 bytes are zero-extended.
  std::int32_t ReadInteger(std::string_view name) const;
  // REG_SZ with a terminating zero; REG_DWORD, -1 as FFFFFFFF.
  void WriteString(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, std::int32_t value);
  void WriteValue(std::string_view name, const RegistryValue& value);

  // What was wrong with the root's file at the last open or KeyExists, in
  // one text: "Failed to read registry file '<path>': <reason>" or "Damaged
  // registry file '<path>': line 7: ..." (with the count of further lines).
  // Empty when the file was read whole or does not exist.
  const std::string& FileProblem() const noexcept { return backend_->FileProblem(); }

 private:
  std::string Resolve(std::string_view key) const;
  bool Open(std::string_view key, bool canCreate, bool writable);

  std::filesystem::path directory_;
  std::unique_ptr<RegistryBackend> backend_;
  RegistryRoot root_ = RegistryRoot::HKEY_CURRENT_USER;
  bool open_ = false;
  bool writable_ = false;
  std::string path_;
};

}  // namespace cport
