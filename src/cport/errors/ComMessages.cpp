#include "cport/errors/ComMessages.h"

#include <array>
#include <mutex>
#include <system_error>
#include <utility>

namespace cport {
namespace {

constexpr std::array<const char*, kComPortMessageCount> kEnglish = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

struct MessageTable {
  std::mutex mutex;
  std::array<std::string, kComPortMessageCount> entries;
  ComTextTranslator translate;

  MessageTable() { Fill(nullptr); }

  void Fill(ComTextTranslator t) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i] = t ? t(kEnglish[i]) : std::string(kEnglish[i]);
    }
    translate = std::move(t);
  }
};

MessageTable& Table() {
  static MessageTable table;
  return table;
}

}  // namespace

const char* ComPortEnglishMessage(int code) noexcept {
  if (code < 1 || code > kComPortMessageCount) return nullptr;
  return kEnglish[static_cast<std::size_t>(code - 1)];
}

void InitComPortMessages(ComTextTranslator translate) {
  auto& table = Table();
  std::lock_guard lock(table.mutex);
  table.Fill(std::move(translate));
}

std::string ComPortMessage(int code) {
  if (code < 1 || code > kComPortMessageCount) return {};
  auto& table = Table();
  std::lock_guard lock(table.mutex);
  return table.entries[static_cast<std::size_t>(code - 1)];
}

std::string TranslatedSystemCodeSuffix() {
  auto& table = Table();
  ComTextTranslator translate;
  {
    std::lock_guard lock(table.mutex);
    translate = table.translate;
  }
  // The translator runs outside the lock: it may be slow (a catalogue
  // lookup) and must not be able to deadlock against a refill.
  return translate ? translate(kSystemCodeSuffix) : std::string(kSystemCodeSuffix);
}

std::string SystemErrorText(int code) {
  // The system category's message is the platform's own text: strerror_r on
  // POSIX (thread-safe, unlike strerror), FormatMessage on Windows.
  return std::system_category().message(code);
}

}  // namespace cport
