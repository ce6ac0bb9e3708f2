#pragma once
// Puts received bytes into the log, one by one in the order received: the
// empty line before a byte equal to Inicio, the byte's own line in the
// chosen display format, the empty line after a byte equal to Final. In the
// "Ririred OZ" format the byte goes to the report decoder instead of getting
// a line (the line before it still comes; the one after does not).
#include <cstddef>
#include <cstdint>
#include <span>

#include "monitor/log/LogStore.h"
#include "monitor/MonitorSettings.h"

namespace monitor {

// Receives each byte of the "Ririred OZ" format.
class ReportByteSink {
 public:
  virtual void AnalisaRecebimento(std::uint8_t byte) = 0;

 protected:
  ~ReportByteSink() = default;
};

// The line form of a display format that shows bytes as lines.
ByteForm ByteFormOf(std::uint8_t formato);

void PresentBytes(std::span<const std::uint8_t> bytes, const MonitorSettings& settings,
                  LogStore& log, ReportByteSink* decoder);

}  // namespace monitor
