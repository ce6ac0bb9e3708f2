#include "monitor/RegistrySettingsStore.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "cport/port/ComEnums.h"
#include "cport/port/ComPort.h"

namespace monitor {
namespace {

using cport::Registry;

// The ordinal of a port setting, when the stored number's lowest 8 bits name
// a value of its enumeration (`count` values).
template <typename Enum>
std::optional<Enum> StoredOrdinal(const Registry& reg, std::string_view name, std::size_t count) {
  if (!reg.ValueExists(name)) return std::nullopt;
  const auto ordinal = static_cast<std::uint8_t>(reg.ReadInteger(name) & 0xFF);
  if (ordinal >= count) return std::nullopt;
  return static_cast<Enum>(ordinal);
}

void ReadBoolean(const Registry& reg, std::string_view name, bool& setting) {
  if (reg.ValueExists(name)) setting = reg.ReadInteger(name) > 0;
}

void ReadSigned(const Registry& reg, std::string_view name, std::int32_t& setting) {
  if (reg.ValueExists(name)) setting = reg.ReadInteger(name);
}

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(ErrorReport report, std::filesystem::path directory)
    : report_(std::move(report)), directory_(std::move(directory)) {}

void RegistrySettingsStore::Report(std::string_view message) const {
  if (report_) report_(std::string(kErrorPrefix) + std::string(message));
}

void RegistrySettingsStore::Load(MonitorSettings& settings, cport::TCustomComPort& port) {
  using namespace cport;
  Registry reg(directory_);
  reg.SetRootKey(RegistryRoot::HKEY_LOCAL_MACHINE);
  // For reading only: a file the operator may read but not write (left by a
  // run as another user, or locked on purpose) still gives its settings; the
  // save says why it cannot be written.
  if (!reg.OpenKeyReadOnly(kKeyPath)) {
    if (!reg.FileProblem().empty()) Report(reg.FileProblem());
    return;
  }
  // Each value on its own: a hand-edited or damaged value keeps its setting
  // as it was, and costs no other; the close then saves what the window holds.
  std::string failures;
  auto apply = [&failures](auto&& load) {
    try {
      load();
    } catch (const std::exception& e) {
      if (!failures.empty()) failures += '\n';
      failures += e.what();
    }
  };
  apply([&] {
    if (reg.ValueExists("Port")) port.SetPort(reg.ReadString("Port"));
  });
  apply([&] {
    if (auto v = StoredOrdinal<TBaudRate>(reg, "BaudRate", kBaudRateTable.size())) {
      port.SetBaudRate(*v);
    }
  });
  apply([&] {
    if (auto v = StoredOrdinal<TStopBits>(reg, "StopBits", kStopBitsTable.size())) {
      port.SetStopBits(*v);
    }
  });
  apply([&] {
    if (auto v = StoredOrdinal<TDataBits>(reg, "DataBits", kDataBitsTable.size())) {
      port.SetDataBits(*v);
    }
  });
  apply([&] {
    if (auto v = StoredOrdinal<TParityBits>(reg, "Parity", kParityTable.size())) {
      port.Parity().SetBits(*v);
    }
  });
  apply([&] {
    if (reg.ValueExists("Formato")) {
      settings.Formato = static_cast<std::uint8_t>(reg.ReadInteger("Formato") & 0xFF);
    }
  });
  apply([&] { ReadSigned(reg, "Inicio", settings.Inicio); });
  apply([&] { ReadSigned(reg, "Final", settings.Final); });
  apply([&] { ReadBoolean(reg, "AutoConectar", settings.AutoConectar); });
  apply([&] { ReadBoolean(reg, "AutoPageDown", settings.AutoPageDown); });
  apply([&] { ReadBoolean(reg, "AutoLimparLog", settings.AutoLimparLog); });
  apply([&] { ReadBoolean(reg, "MostrarTempo", settings.MostrarTempo); });
  apply([&] { ReadBoolean(reg, "MostrarSinais", settings.MostrarSinais); });
  apply([&] {
    if (reg.ValueExists("PastaEvidencias"))
      settings.PastaEvidencias = reg.ReadString("PastaEvidencias");
  });
  reg.CloseKey();  // opened for reading: nothing to write, never raises
  // The damage of the file (with its line) after the values it cost.
  if (!reg.FileProblem().empty()) {
    if (!failures.empty()) failures += '\n';
    failures += reg.FileProblem();
  }
  if (!failures.empty()) Report(failures);
}

void RegistrySettingsStore::Save(const MonitorSettings& settings, cport::TCustomComPort& port) {
  using namespace cport;
  auto ordinal = [](auto value) { return static_cast<std::int32_t>(value); };
  try {
    Registry reg(directory_);
    reg.SetRootKey(RegistryRoot::HKEY_LOCAL_MACHINE);
    // Not tested: a key that could not be opened fails the first write, which
    // is reported with the value's name.
    reg.OpenKey(kKeyPath, true);
    reg.WriteString("Port", port.Port());
    reg.WriteInteger("BaudRate", ordinal(port.BaudRate()));
    reg.WriteInteger("StopBits", ordinal(port.StopBits()));
    reg.WriteInteger("DataBits", ordinal(port.DataBits()));
    reg.WriteInteger("Parity", ordinal(port.Parity().Bits()));
    reg.WriteInteger("Formato", settings.Formato);
    reg.WriteInteger("Inicio", settings.Inicio);
    reg.WriteInteger("Final", settings.Final);
    reg.WriteInteger("AutoConectar", settings.AutoConectar ? 1 : 0);
    reg.WriteInteger("AutoPageDown", settings.AutoPageDown ? 1 : 0);
    reg.WriteInteger("AutoLimparLog", settings.AutoLimparLog ? 1 : 0);
    reg.WriteInteger("MostrarTempo", settings.MostrarTempo ? 1 : 0);
    // Beyond the twelve: written once it means something, so that a file
    // saved by a program that never knew it stays as it was.
    if (!settings.MostrarSinais || reg.ValueExists("MostrarSinais"))
      reg.WriteInteger("MostrarSinais", settings.MostrarSinais ? 1 : 0);
    if (!settings.PastaEvidencias.empty() || reg.ValueExists("PastaEvidencias"))
      reg.WriteString("PastaEvidencias", settings.PastaEvidencias);
    reg.CloseKey();
  } catch (const std::exception& e) {
    Report(e.what());
  }
}

}  // namespace monitor
