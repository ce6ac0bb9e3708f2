#pragma once
// The platform's side of Registry (Registry.h): where keys and values live.
// Registry keeps the shared rules above it (key paths, the current key, the
// types a read accepts, the value encodings, the error texts); a backend only
// opens one key at a time and moves values in and out of it.
//
// POSIX: the registry files of a directory (RegistryHive.h), changes kept
// until Close. Windows: the system's registry, each write at once.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cport/storage/RegistryValue.h"

namespace cport {

enum class RegistryRoot : std::uint8_t;

class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;

  // Opens `path` (below `root`, "" for the root itself), creating it and its
  // parents when missing and `canCreate`. False when the key is missing (and
  // not created) or the access asked for is refused; WriteFailure() then says
  // why a writable open was refused. Only called with no key open.
  virtual bool Open(RegistryRoot root, const std::string& path, bool canCreate,
                    bool writable) = 0;
  // Closes the open key. Changes still pending are written first; when that
  // fails the key is closed all the same and the name of the first value
  // changed is returned (WriteFailure() says why).
  virtual std::optional<std::string> Close() = 0;
  virtual bool KeyExists(RegistryRoot root, const std::string& path) = 0;

  // The open key's value, nothing when it is missing.
  virtual std::optional<RegistryValue> Read(std::string_view name) const = 0;
  // Sets a value of the key opened for writing; false when the platform
  // refused it (WriteFailure() says why).
  virtual bool Write(std::string_view name, const RegistryValue& value) = 0;

  // "<where>: <the system's reason>" for the last refused open or failed
  // write, or empty.
  virtual std::string WriteFailure() const = 0;
  // What was wrong with the store at the last open or KeyExists (Registry.h).
  virtual const std::string& FileProblem() const = 0;
  // Forgets the reason of an earlier refusal (a new root was chosen).
  virtual void ClearFailure() = 0;
};

// The platform's backend; `directory` is where a file-backed one keeps its
// files (ignored where the system has a registry).
std::unique_ptr<RegistryBackend> MakeRegistryBackend(const std::filesystem::path& directory);

}  // namespace cport
