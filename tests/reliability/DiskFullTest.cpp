// A settings save onto a full disk: a small tmpfs of its own (mounting needs
// root; the test is skipped without it), so that the write fails with the
// file system's own ENOSPC rather than an injected error. The previous
// settings stay whole and load, and the save works again once there is room.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../cport/TempDir.h"
#include "cport/port/ComPort.h"
#include "monitor/MonitorSettings.h"
#include "monitor/RegistrySettingsStore.h"
#include "monitor/log/LogStore.h"

namespace reliability {
namespace {

namespace fs = std::filesystem;

class SmallDisk {
 public:
  explicit SmallDisk(const fs::path& at) : at_(at) {
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k,mode=0700") == 0;
    error_ = errno;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  int Error() const { return error_; }

 private:
  fs::path at_;
  bool mounted_ = false;
  int error_ = 0;
};

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Fills the file system to its last byte.
void Fill(const fs::path& file) {
  std::ofstream out(file, std::ios::binary);
  const std::string block(512, 'f');
  while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) out.flush();
  out.clear();
  for (int i = 0; i < 512 && out.put('f'); ++i) out.flush();
}

TEST(DiskFull, ASettingsSaveOntoAFullDiskKeepsThePreviousSettings) {
  cport::testing::TempDir dir;
  const fs::path disk = dir.path() / "disk";
  fs::create_directory(disk);
  SmallDisk small(disk);
  if (!small.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(small.Error());

  std::vector<std::string> reports;
  monitor::RegistrySettingsStore store([&](const std::string& text) { reports.push_back(text); },
                                       disk / "RiriredOZ");
  monitor::MonitorSettings saved{};
  monitor::SetStartDefaults(saved);
  saved.Formato = monitor::kFormatoHexaDecimal;
  cport::TComPort port;
  port.SetPort("/dev/ttyUSB0");
  store.Save(saved, port);
  ASSERT_EQ(reports, std::vector<std::string>{});
  const fs::path file = disk / "RiriredOZ" / "HKEY_LOCAL_MACHINE.reg";
  const std::string before = Bytes(file);
  ASSERT_FALSE(before.empty());

  Fill(disk / "filler");
  monitor::MonitorSettings changed = saved;
  changed.Formato = monitor::kFormatoRiriredOz;
  port.SetPort("/dev/ttyUSB1");
  store.Save(changed, port);
  ASSERT_EQ(reports.size(), 1u) << "the failed save is reported once";
  EXPECT_TRUE(reports[0].ends_with("Failed to set data for 'Port': " + file.string() +
                                   ": No space left on device"))
      << reports[0];
  EXPECT_EQ(Bytes(file), before);
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(disk / "RiriredOZ")) left.push_back(entry.path());
  EXPECT_EQ(left, std::vector<fs::path>{file}) << "no temporary file is left behind";

  monitor::MonitorSettings loaded{};
  cport::TComPort loadedPort;
  reports.clear();
  store.Load(loaded, loadedPort);
  EXPECT_EQ(reports, std::vector<std::string>{});
  EXPECT_EQ(loaded.Formato, monitor::kFormatoHexaDecimal);
  EXPECT_EQ(loadedPort.Port(), "/dev/ttyUSB0");

  fs::remove(disk / "filler");
  store.Save(changed, port);
  EXPECT_EQ(reports, std::vector<std::string>{});
  store.Load(loaded, loadedPort);
  EXPECT_EQ(loaded.Formato, monitor::kFormatoRiriredOz);
  EXPECT_EQ(loadedPort.Port(), "/dev/ttyUSB1");
}

// The receive log spilling onto a disk that runs full: it reports it once,
// keeps its newest lines in memory, shows one line where lines were dropped,
// and spills again once the disk has room.
TEST(DiskFull, ALogSpillingOntoAFullDiskDropsItsOldestLinesVisibly) {
  cport::testing::TempDir dir;
  const fs::path disk = dir.path() / "disk";
  fs::create_directory(disk);
  SmallDisk small(disk);
  if (!small.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(small.Error());

  constexpr std::size_t kBound = 16 << 10;
  monitor::LogStore log({.memory_bound = kBound, .page_bytes = 4 << 10, .spill_directory = disk});
  constexpr int kBytes = 200'000;  // 400 KB of lines on a 64 KB disk
  for (int i = 0; i < kBytes; ++i) {
    log.AppendByte(static_cast<std::uint8_t>(i % 251), monitor::ByteForm::Decimal);
    // The bound, the pages waiting for the writer and the page being filled.
    ASSERT_LE(log.MemoryBytes(), kBound + (monitor::kSpillPagesInFlight + 1) * (4 << 10));
  }
  log.SettleSpill();
  const auto failure = log.TakeSpillFailure();
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(*failure, disk.string() + ": No space left on device");
  EXPECT_FALSE(log.TakeSpillFailure().has_value()) << "told once";
  EXPECT_GT(log.DropCount(), 0u);

  // The spilled lines, then one red line counting the dropped ones, then the
  // newest lines, every one in its place.
  std::size_t marker = 0, markers = 0, dropped = 0;
  for (std::size_t i = 0; i < log.LineCount(); ++i) {
    const std::string text = log.LineText(i);
    if (text.find(" linhas descartadas") == std::string::npos) continue;
    ++markers;
    marker = i;
    dropped = std::stoul(text.substr(2));
    EXPECT_EQ(log.LineColour(i), monitor::kRed);
  }
  ASSERT_EQ(markers, 1u);
  ASSERT_GT(marker, 0u);
  EXPECT_EQ(log.LineCount(), kBytes - dropped + 1);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < log.LineCount(); ++i) {
    if (i == marker) continue;
    const std::size_t sent = i < marker ? i : i - 1 + dropped;
    wrong += log.LineText(i) != std::to_string(sent % 251) + " ";
  }
  EXPECT_EQ(wrong, 0u);

  // Clear lets the file go: the disk has room again.
  log.Clear();
  for (int i = 0; i < 20'000; ++i) log.AppendByte(1, monitor::ByteForm::Hexadecimal);
  log.SettleSpill();
  EXPECT_FALSE(log.TakeSpillFailure().has_value());
  EXPECT_GT(log.SpilledBytes(), 0u);
}

}  // namespace
}  // namespace reliability
