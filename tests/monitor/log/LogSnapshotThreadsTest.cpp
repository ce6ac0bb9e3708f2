// A save on a thread of its own while the log's owner goes on appending,
// spilling and clearing: the saved document is the log as it was when the
// snapshot was taken. Run under ThreadSanitizer too (ctest label "threads").
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "monitor/log/LogStore.h"
#include "monitor/log/RtfWriter.h"

namespace monitor {
namespace {

namespace fs = std::filesystem;

void Fill(LogStore& log, int from, int count) {
  for (int i = from; i < from + count; ++i) {
    if (i % 1000 == 0) log.SetInsertionColour(i % 3000 == 0 ? kRed : kBlue);
    if (i % 777 == 0) {
      log.AppendLine("quadro " + std::to_string(i));
    } else {
      log.AppendByte(static_cast<std::uint8_t>(i), ByteForm::Decimal);
    }
  }
}

TEST(LogSnapshotThreads, SaveWhileTheLogGrowsSpillsAndClears) {
  const fs::path dir = fs::temp_directory_path() / ("riri-snap-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  constexpr int kLines = 300'000;
  LogStore log({.memory_bound = 32 << 10, .page_bytes = 8 << 10, .spill_directory = dir});
  Fill(log, 0, kLines);
  LogSnapshot snapshot = log.Snapshot();
  std::thread saver([&snapshot, &dir] { SaveRtf(snapshot, dir / "log.rtf"); });
  for (int round = 0; round < 4; ++round) {
    Fill(log, kLines, 100'000);
    (void)log.LineText(log.LineCount() / 2);  // reads spilled pages meanwhile
    log.Clear();
  }
  saver.join();

  LogStore expected;
  Fill(expected, 0, kLines);
  std::ostringstream document;
  WriteRtf(expected, document);
  std::ifstream in(dir / "log.rtf", std::ios::binary);
  const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(saved == document.str()) << saved.size() << " vs " << document.str().size();
  fs::remove_all(dir);
}

}  // namespace
}  // namespace monitor
