#include "fixture_sim/Script.h"

#include "fixture_sim/StreamSource.h"

namespace fixture_sim {

std::vector<std::uint8_t> ScriptBytes(const Script& script) {
  std::vector<std::uint8_t> bytes;
  for (const ScriptCommand& command : script) {
    if (const auto* run = std::get_if<BytesCommand>(&command.action)) {
      bytes.insert(bytes.end(), run->bytes.begin(), run->bytes.end());
    } else if (const auto* stream = std::get_if<StreamCommand>(&command.action)) {
      const std::size_t start = bytes.size();
      bytes.resize(start + stream->count);
      StreamSource(stream->pattern, stream->seed)
          .Fill(std::span<std::uint8_t>(bytes).subspan(start));
    }
  }
  return bytes;
}

std::chrono::milliseconds TotalPause(const Script& script) {
  std::chrono::milliseconds total{0};
  for (const ScriptCommand& command : script) {
    if (const auto* pause = std::get_if<PauseCommand>(&command.action)) total += pause->duration;
  }
  return total;
}

}  // namespace fixture_sim
