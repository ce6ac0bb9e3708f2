// The ini text reader (ProfileFile, under IniFile and the description file)
// over any bytes, in any encoding it recognises: no crash, every parsed name
// and value lies inside its line, the text written back without a Set is the
// bytes read, and a Set is read back by Get.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cport/storage/ProfileFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  cport::ProfileFile file = cport::ProfileFile::Parse(bytes);
  for (const auto& line : file.Lines()) {
    if (line.nameBegin + line.nameSize > line.text.size()) std::abort();
    if (line.valueBegin + line.valueSize > line.text.size()) std::abort();
  }
  // Nothing set: every byte comes back, and reads as the same lines.
  if (file.Serialize() != bytes) std::abort();
  const cport::ProfileFile copy = cport::ProfileFile::Parse(file.Serialize());
  if (copy.Lines().size() != file.Lines().size()) std::abort();
  for (std::size_t i = 0; i < copy.Lines().size(); ++i) {
    if (copy.Lines()[i].text != file.Lines()[i].text) std::abort();
    if (copy.Lines()[i].kind != file.Lines()[i].kind) std::abort();
  }
  // Lookups of every section and key that the text names.
  for (const auto& line : file.Lines()) {
    if (line.kind == cport::ProfileFile::LineKind::Entry) (void)file.Get("RESULTADOS", line.Name());
    if (line.kind == cport::ProfileFile::LineKind::Section) (void)file.Get(line.Name(), "0x00");
  }
  try {
    file.Set("Porta", "BaudRate", "9600");
  } catch (const std::invalid_argument&) {
    std::abort();  // valid texts must always be accepted
  }
  const auto value = file.Get("Porta", "BaudRate");
  if (!value || *value != "9600") std::abort();
  const cport::ProfileFile again = cport::ProfileFile::Parse(file.Serialize());
  const auto reread = again.Get("Porta", "BaudRate");
  if (!reread || *reread != "9600") std::abort();
  return 0;
}
