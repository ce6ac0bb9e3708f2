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
// and, beside the twelve, each written only once it differs from its
// default (so a file saved by an older program stays byte for byte):
//   "MostrarSinais"    REG_DWORD  1 true, 0 false
//   "PastaEvidencias"  REG_SZ     the evidence folder; empty or absent: off
//
// Load reads only the values that exist; the port's ordinals and Formato are
// the lowest 8 bits of the stored number, and a port ordinal beyond the last
// value of its enumeration is skipped (the setting keeps its value). The key
// is opened for reading, so a file that may be read but not written loads; a
// missing key loads nothing, silently. Save creates the key when needed and
// replaces the twelve values.
//
// Failures are reported to the operator, never passed on, each report being
// kErrorPrefix followed by the messages, one line each:
//  - Load: a value that cannot be read (wrong type, damaged) or applied
//    (EComPort from a port setter) keeps its setting as it was, and the load
//    goes on with the next value. One report after the load names every such
//    value ("Invalid data type for 'BaudRate'"), followed by the file's own
//    problem when it could not be read or has damaged lines ("Damaged
//    registry file '...': line 5: ...").
//  - Save: the first error ends it; a save's values reach the file together
//    when the key closes, so a failure keeps the previous file whole. The
//    report names the value and, when the file is at fault, the file and the
//    system's reason ("Failed to set data for 'Port': <file>: Permission
//    denied").
//
// User-interface thread only, like the settings it fills.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "cport/storage/Registry.h"
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
