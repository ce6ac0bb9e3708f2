#pragma once
// The monitor's own options: one instance for the run, zero-filled at start.
// Written by the main window (defaults, stored settings, its controls) and
// read by the receive path, the report decoder and the settings store.
// User-interface thread only.
#include <cstdint>
#include <string>

namespace monitor {

// Display formats, the value of MonitorSettings::Formato. Any other value is
// a format without a name: each byte then shows as a blank line of its own.
inline constexpr std::uint8_t kFormatoString = 0;
inline constexpr std::uint8_t kFormatoDecimal = 1;
inline constexpr std::uint8_t kFormatoHexaDecimal = 2;
inline constexpr std::uint8_t kFormatoRiriredOz = 3;

struct MonitorSettings {
  std::uint8_t Formato = 0;
  std::int32_t Inicio = 0;  // byte before which the log breaks the line; -1 none
  std::int32_t Final = 0;   // byte after which the log breaks the line; -1 none
  bool AutoConectar = false;
  bool AutoPageDown = false;
  bool AutoLimparLog = false;
  bool MostrarTempo = false;
  // Changes of the modem lines (CTS, DSR, RING, RLSD) as marked lines of the
  // log; breaks and line errors are always shown. Stored as a value of its
  // own beside the twelve above.
  bool MostrarSinais = false;
  // The folder each finished test run is saved to as an RTF file of its
  // own (UTF-8 path); empty: runs are not saved. Stored as a string value of
  // its own, written once it is set.
  std::string PastaEvidencias;
};

// The defaults the main window sets at start, before the stored settings
// are loaded. AutoLimparLog and MostrarTempo have none and stay false.
// The modem lines are shown until the operator turns them off for a fixture
// that leaves them unwired.
inline void SetStartDefaults(MonitorSettings& s) {
  s.Inicio = -1;
  s.Final = -1;
  s.Formato = kFormatoString;
  s.AutoConectar = false;
  s.AutoPageDown = true;
  s.MostrarSinais = true;
}

}  // namespace monitor
