#include "monitor/ReceivePresenter.h"

namespace monitor {

ByteForm ByteFormOf(std::uint8_t formato) {
  switch (formato) {
    case kFormatoString:
      return ByteForm::Character;
    case kFormatoDecimal:
      return ByteForm::Decimal;
    case kFormatoHexaDecimal:
      return ByteForm::Hexadecimal;
    default:
      return ByteForm::Blank;
  }
}

void PresentBytes(std::span<const std::uint8_t> bytes, const MonitorSettings& settings,
                  LogStore& log, ReportByteSink* decoder) {
  // Inicio and Final outside 0..255 never match a byte.
  const int inicio = settings.Inicio;
  const int final = settings.Final;
  const bool decoding = settings.Formato == kFormatoRiriredOz;
  const ByteForm form = ByteFormOf(settings.Formato);
  for (const std::uint8_t byte : bytes) {
    if (byte == inicio) log.AppendLine();
    if (decoding) {
      if (decoder) decoder->AnalisaRecebimento(byte);
      continue;
    }
    log.AppendByte(byte, form);
    if (byte == final) log.AppendLine();
  }
}

}  // namespace monitor
