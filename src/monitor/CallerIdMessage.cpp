#include "monitor/CallerIdMessage.h"

#include <ctime>
#include <stdexcept>

namespace monitor {
namespace {

constexpr std::size_t kSeizureLength = 30;
constexpr std::uint8_t kSeizureByte = 0x55;
constexpr std::uint8_t kSingleDataMessage = 0x04;
constexpr std::uint8_t kDateTimeLength = 8;

void AppendDigits(std::vector<std::uint8_t>& message, int value) {
  message.push_back(static_cast<std::uint8_t>('0' + value / 10));
  message.push_back(static_cast<std::uint8_t>('0' + value % 10));
}

}  // namespace

LocalDateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

std::vector<std::uint8_t> BuildCallerIdMessage(std::string_view text, const LocalDateTime& when) {
  if (text.size() > kCallerIdMaxText) throw std::length_error("caller-ID text too long");
  std::vector<std::uint8_t> message(kSeizureLength, kSeizureByte);
  message.reserve(kSeizureLength + 11 + text.size());
  const std::size_t typeAt = message.size();
  message.push_back(kSingleDataMessage);
  message.push_back(static_cast<std::uint8_t>(kDateTimeLength + text.size()));
  AppendDigits(message, when.month);
  AppendDigits(message, when.day);
  AppendDigits(message, when.hour);
  AppendDigits(message, when.minute);
  message.insert(message.end(), text.begin(), text.end());
  unsigned sum = 0;
  for (std::size_t i = typeAt; i < message.size(); ++i) sum += message[i];
  message.push_back(static_cast<std::uint8_t>((256 - sum % 256) % 256));
  return message;
}

}  // namespace monitor
