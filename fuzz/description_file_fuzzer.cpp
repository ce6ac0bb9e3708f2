// The description file RiriredOz.ini as the monitor reads it: any bytes in
// the file give, for every code, a description of at most 2047 bytes without
// NUL, or "***"; never a crash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "monitor/DescriptionFile.h"

namespace {

std::filesystem::path FilePath() {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("riri_description_fuzz_" + std::to_string(::getpid()) + ".ini");
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = FilePath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  monitor::MonitorIni ini(path);
  for (const auto section :
       {monitor::kResultSection, monitor::kTestSection, monitor::kErrorSection}) {
    for (const std::uint8_t code : {0x00, 0x01, 0x05, 0x0a, 0xab, 0xff}) {
      const std::string text = ini.Lookup(section, code);
      if (text.size() > monitor::MonitorIni::kMaxValueSize) std::abort();
      if (text.find('\0') != std::string::npos) std::abort();
    }
  }
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  return 0;
}
