// The registry hive reader over any bytes: no crash; an untouched hive is
// written out; a value set on it is found again after writing and reading the file back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cport/storage/RegistryHive.h"
#include "cport/storage/RegistryValue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  cport::RegistryHive hive = cport::RegistryHive::Parse("HKEY_LOCAL_MACHINE", bytes);
  if (hive.Problems().size() > cport::RegistryHive::kMaxProblemTexts) std::abort();
  (void)hive.KeyExists("SOFTWARE\\Dravel\\RiriredOZ");
  (void)hive.FindValue("SOFTWARE\\Dravel\\RiriredOZ", "Port");
  const std::string written = hive.Serialize();
  (void)written;
  const cport::RegistryValue port{cport::kRegSz, std::string("COM7\0", 5), false};
  hive.SetValue("SOFTWARE\\Dravel\\RiriredOZ", "Port", port);
  const cport::RegistryHive reread =
      cport::RegistryHive::Parse("HKEY_LOCAL_MACHINE", hive.Serialize());
  const cport::RegistryValue* found = reread.FindValue("SOFTWARE\\Dravel\\RiriredOZ", "Port");
  if (found == nullptr || !(*found == port)) std::abort();
  return 0;
}
