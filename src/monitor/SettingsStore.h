#pragma once
// Where the monitor keeps its options and the port's main settings between
// runs. The main window loads them once at start, right after setting the
// defaults, and saves them each time the operator changes one and again when
// it closes, so a program that is killed loses nothing. Each call reports its own
// failure to the operator and never throws to its caller.
#include "monitor/MonitorSettings.h"

namespace cport {
class TCustomComPort;
}

namespace monitor {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual void Load(MonitorSettings& settings, cport::TCustomComPort& port) = 0;
  virtual void Save(const MonitorSettings& settings, cport::TCustomComPort& port) = 0;
};

}  // namespace monitor
