// The system's registry, reached through its wide-character calls: names and
// texts are converted from and to Windows-1252 here, so that what a caller
// stores does not depend on the machine's ANSI code page.
//
// The roots' names are macros of <windows.h>: Registry.h comes first, and
// below the roots are told apart by their order in RegistryRoot only.
#include "cport/storage/Registry.h"
#include "cport/text/CodePage1252.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <string>
#include <system_error>

namespace cport {
namespace fs = std::filesystem;
namespace {

HKEY RootHandle(RegistryRoot root) {
  // In the order of RegistryRoot.
  const std::array<HKEY, 5> roots = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                     HKEY_USERS, HKEY_CURRENT_CONFIG};
  const auto index = static_cast<std::size_t>(root);
  return index < roots.size() ? roots[index] : HKEY_CURRENT_USER;
}

// Windows-1252 bytes as UTF-16 (each byte is one character of the page).
std::wstring Wide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (const char c : text) {
    out += static_cast<wchar_t>(CodePage1252ToUnicode(static_cast<std::uint8_t>(c)));
  }
  return out;
}

// UTF-16 units as Windows-1252 bytes; a character the page lacks becomes
// '?', as the registry's 8-bit calls give it. Surrogate pairs are one '?'.
std::string Narrow(const wchar_t* text, std::size_t units) {
  std::string out;
  out.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = static_cast<char16_t>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) ++i;
    const std::optional<std::uint8_t> byte = UnicodeToCodePage1252(unit);
    out += byte ? static_cast<char>(*byte) : '?';
  }
  return out;
}

std::string Reason(LONG status) { return std::system_category().message(static_cast<int>(status)); }

class RegistryWin32Backend final : public RegistryBackend {
 public:
  ~RegistryWin32Backend() override { Close(); }

  bool Open(RegistryRoot root, const std::string& path, bool canCreate, bool writable) override {
    where_ = std::string(RegistryRootName(root)) + (path.empty() ? "" : "\\" + path);
    const std::wstring wide = Wide(path);
    const REGSAM access = writable ? KEY_READ | KEY_WRITE : KEY_READ;
    LONG status = ::RegOpenKeyExW(RootHandle(root), wide.c_str(), 0, access, &key_);
    if (status == ERROR_FILE_NOT_FOUND && canCreate) {
      status = ::RegCreateKeyExW(RootHandle(root), wide.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr);
    }
    if (status != ERROR_SUCCESS) {
      key_ = nullptr;
      if (writable && status != ERROR_FILE_NOT_FOUND) failure_ = where_ + ": " + Reason(status);
      return false;
    }
    return true;
  }

  std::optional<std::string> Close() override {
    if (key_) ::RegCloseKey(key_);
    key_ = nullptr;
    return std::nullopt;
  }

  bool KeyExists(RegistryRoot root, const std::string& path) override {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(RootHandle(root), Wide(path).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    ::RegCloseKey(key);
    return true;
  }

  std::optional<RegistryValue> Read(std::string_view name) const override {
    if (!key_) return std::nullopt;
    const std::wstring wide = Wide(name);
    DWORD type = 0;
    std::string data;
    // The value may grow between the two calls; ask again then.
    for (;;) {
      DWORD size = static_cast<DWORD>(data.size());
      const LONG status = ::RegQueryValueExW(key_, wide.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &size);
      if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
      if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && data.empty() && size > 0)) {
        data.resize(size);
        continue;
      }
      if (status != ERROR_SUCCESS) return RegistryValue{type, {}, true};
      data.resize(size);
      break;
    }
    RegistryValue value{type, {}, false};
    if (IsTextType(type)) {
      value.data = Narrow(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
      // The 8-bit interface hands out texts with their terminating zero,
      // also where the stored value lacked it.
      if (value.data.empty() || value.data.back() != '\0') value.data += '\0';
    } else {
      value.data = std::move(data);
    }
    return value;
  }

  bool Write(std::string_view name, const RegistryValue& value) override {
    std::string bytes;
    if (IsTextType(value.type)) {
      const std::wstring wide = Wide(value.data);
      bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    } else {
      bytes = value.data;
    }
    const LONG status =
        ::RegSetValueExW(key_, Wide(name).c_str(), 0, value.type,
                         reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS) {
      failure_ = where_ + ": " + Reason(status);
      return false;
    }
    return true;
  }

  std::string WriteFailure() const override { return failure_; }
  const std::string& FileProblem() const override { return noProblem_; }
  void ClearFailure() override { failure_.clear(); }

 private:
  HKEY key_ = nullptr;
  std::string where_;  // "HKEY_CURRENT_USER\SOFTWARE\...", for messages
  std::string failure_;
  const std::string noProblem_;
};

}  // namespace

fs::path DefaultRegistryDirectory() { return {}; }

std::unique_ptr<RegistryBackend> MakeRegistryBackend(const fs::path&) {
  return std::make_unique<RegistryWin32Backend>();
}

}  // namespace cport
