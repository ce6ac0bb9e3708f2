// Whole-file replacement and whole-file reading with the Win32 calls: the old
// file stays whole when anything goes wrong, and nothing is left beside it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "../../TempDir.h"
#include "cport/storage/AtomicFile.h"
#include "cport/storage/FileBytes.h"
#include "cport/storage/IniFile.h"

namespace cport {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

std::size_t Entries(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(Win32AtomicFile, ReplacesWholeOrNotAtAll) {
  TempDir dir;
  const fs::path file = dir / "settings.ini";
  WriteBytes(file, "old");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
  {
    AtomicFile abandoned(file);
    abandoned.Write("half of the new");
  }  // never committed
  EXPECT_EQ(ReadBytes(file), "old");
  EXPECT_EQ(Entries(dir.path()), 1u) << "the new file is removed";

  AtomicFile replaced(file);
  replaced.Write("new ");
  replaced.Write("text");
  replaced.Commit();
  EXPECT_EQ(ReadBytes(file), "new text");
  EXPECT_TRUE(::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN)
      << "the replaced file keeps its attributes";
  EXPECT_EQ(Entries(dir.path()), 1u);

  AtomicFile made(dir / "new.ini");
  made.Write("first");
  made.Commit();
  EXPECT_EQ(ReadBytes(dir / "new.ini"), "first");
}

TEST(Win32AtomicFile, ARefusedReplacementLeavesTheFileAsItWas) {
  TempDir dir;
  const fs::path file = dir / "locked.ini";
  WriteBytes(file, "[Serial]\r\nPort=COM1\r\n");
  ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  try {
    AtomicFile refused(file);
    FAIL() << "a read-only file was opened for replacement";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ERROR_ACCESS_DENIED);
  }
  // Through the ini file object, as a caller meets it.
  IniFile ini(file);
  EXPECT_THROW(ini.WriteString("Serial", "Port", "COM7"), IniFileError);
  EXPECT_EQ(ReadBytes(file), "[Serial]\r\nPort=COM1\r\n");
  EXPECT_EQ(ini.ReadString("Serial", "Port", ""), "COM1");
  EXPECT_EQ(Entries(dir.path()), 1u);
  ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32FileBytes, ReadsRegularFilesOnly) {
  TempDir dir;
  std::string bytes = "stale";
  WriteBytes(dir / "a.reg", std::string("REGEDIT4\r\n\0x", 12));
  EXPECT_FALSE(ReadWholeFile(dir / "a.reg", 100, bytes));
  EXPECT_EQ(bytes, std::string("REGEDIT4\r\n\0x", 12));
  EXPECT_EQ(ReadWholeFile(dir / "a.reg", 11, bytes), std::errc::file_too_large);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(ReadWholeFile(dir / "missing.reg", 100, bytes), std::errc::no_such_file_or_directory);
  EXPECT_EQ(ReadWholeFile(dir.path(), 100, bytes), std::errc::is_a_directory);
  // A device opens like a file and would be waited on.
  EXPECT_EQ(ReadWholeFile("NUL", 100, bytes), std::errc::invalid_argument);
}

}  // namespace
}  // namespace cport
