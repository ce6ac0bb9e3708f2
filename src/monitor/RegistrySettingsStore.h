#pragma once
// The monitor's settings store in the registry: the key
// "\SOFTWARE\Dravel\RiriredOZ" under HKEY_LOCAL_MACHINE, twelve values
// written and read in this order:
//
//   "Port"           REG_SZ     the port's name
//   "BaudRate"       REG_DWORD  ordinal of the port's BaudRate in TBaudRate
//   "StopBits"       REG_DWORD  ordinal in TStopBits
//   "DataBits"       REG_DWORD  ordinal in TDataBits
//   "Parity"         REG_DWORD  ordinal of Parity.Bits in TParityBits
//   "Formato"        REG_DWORD  0 to 255
//   "Inicio"         REG_DWORD  signed, -1 stored as FFFFFFFF
//   "Final"          REG_DWORD  likewise
//   "AutoConectar", "AutoPageDown", "AutoLimparLog", "MostrarTempo"
//                    REG_DWORD  1 true, 0 false; read: > 0 true
//
// Load reads only the values that exist; the port's ordinals and Formato are
// the lowest 8 bits of the stored number, and a port ordinal beyond the last
// value of its enumeration is skipped (the setting keeps its value). A key
// that is missing or may not be opened for writing loads nothing, silently.
// Save creates the key when needed and replaces the twelve values.
//
// Failures: the first error (RegistryError, or EComPort from a port setter)
// ends the load or save at that point; what was applied or written before
// stays (a save's values reach the file together when the key closes, so a
// failure there keeps the previous file whole). The error is reported once,
// as kErrorPrefix followed by its message, and never passed on. A registry
// file that could not be read or has damaged lines is reported the same way
// after a load that met no error of its own.
//
// User-interface thread only, like the settings it fills.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "cport/Registry.h"
#include "monitor/SettingsStore.h"

namespace monitor {

class RegistrySettingsStore final : public SettingsStore {
 public:
  // Shows one error text (UTF-8) to the operator; the program passes its
  // error message box.
  using ErrorReport = std::function<void(const std::string& text)>;

  static constexpr std::string_view kKeyPath = "\\SOFTWARE\\Dravel\\RiriredOZ";
  // As the program has always shown it, the two odd characters included
  // (U+00FE and U+00A7 where "çõ" was meant).
  static constexpr std::string_view kErrorPrefix = "Erro ao salvar configuraþ§es do CTI.Erro: ";

  explicit RegistrySettingsStore(
      ErrorReport report, std::filesystem::path directory = cport::DefaultRegistryDirectory());

  void Load(MonitorSettings& settings, cport::TCustomComPort& port) override;
  void Save(const MonitorSettings& settings, cport::TCustomComPort& port) override;

  const std::filesystem::path& Directory() const { return directory_; }

 private:
  void Report(std::string_view message) const;

  ErrorReport report_;
  std::filesystem::path directory_;
};

}  // namespace monitor
