// The registry object over its files: opening keys, the read and write rules
// with their errors, and what survives failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../../TempDir.h"
#include "cport/storage/Registry.h"

namespace cport {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using enum RegistryRoot;

constexpr const char* kKey = "\\SOFTWARE\\Dravel\\RiriredOZ";

std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RegistryError& e) {
    return e.what();
  }
  return "(no error)";
}

// A registry on HKEY_LOCAL_MACHINE, as the monitor uses it.
struct Hklm : Registry {
  explicit Hklm(const fs::path& dir) : Registry(dir) { SetRootKey(HKEY_LOCAL_MACHINE); }
};

class RegistryTest : public ::testing::Test {
 protected:
  fs::path File() const { return RegistryFilePath(dir.path(), HKEY_LOCAL_MACHINE); }
  void Store(std::string_view text) { WriteBytes(File(), text); }
  TempDir dir;
};

TEST_F(RegistryTest, ReadRulesAndTheirErrors) {
  Store(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n"
      "\"Port\"=\"COM2\"\r\n\"Path\"=hex(2):41,42,00\r\n\"BaudRate\"=\"9600\"\r\n"
      "\"Count\"=dword:0000000d\r\n\"Long\"=hex(4):01,00,00,00,00\r\n\"Short\"=hex(4):07,01\r\n"
      "\"Cut\"=dword:zz\r\n\"Blob\"=hex:01\r\n");
  Registry r(dir.path());
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(r.OpenKey(kKey, false));
  EXPECT_EQ(r.ReadString("Port"), "COM2");
  EXPECT_EQ(r.ReadString("Path"), "AB");
  EXPECT_EQ(r.ReadString("Missing"), "");
  EXPECT_EQ(r.ReadString("BaudRate"), "9600");
  EXPECT_EQ(r.ReadInteger("Count"), 13);
  EXPECT_EQ(r.ReadInteger("Short"), 0x107);
  struct Case {
    std::function<void()> call;
    std::string message;
  };
  const std::vector<Case> cases = {
      {[&] { r.ReadInteger("BaudRate"); }, "Invalid data type for 'BaudRate'"},
      {[&] { r.ReadString("Count"); }, "Invalid data type for 'Count'"},
      {[&] { r.ReadString("Blob"); }, "Invalid data type for 'Blob'"},
      {[&] { r.ReadInteger("Long"); }, "Failed to get data for 'Long'"},
      {[&] { r.ReadInteger("Missing"); }, "Failed to get data for 'Missing'"},
      {[&] { r.ReadInteger("Cut"); }, "Failed to get data for 'Cut'"},
      {[&] { r.ReadString("Cut"); }, "Failed to get data for 'Cut'"},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageOf(c.call), c.message);
  EXPECT_NE(r.FileProblem().find("Damaged registry file '" + File().string() + "': line 10: "),
            std::string::npos)
      << r.FileProblem();
}

TEST_F(RegistryTest, WritesNeedAKeyOpenForWriting) {
  Hklm r(dir.path());
  EXPECT_EQ(MessageOf([&] { r.WriteString("Port", "COM1"); }), "Failed to set data for 'Port'");
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.CloseKey();
  ASSERT_TRUE(r.OpenKeyReadOnly(kKey));
  EXPECT_EQ(MessageOf([&] { r.WriteInteger("Formato", 1); }), "Failed to set data for 'Formato'");
  EXPECT_EQ(MessageOf([&] { r.WriteString("Opera\xE7\xE3o", ""); }),
            "Failed to set data for 'Opera\xC3\xA7\xC3\xA3o'");  // the name as UTF-8
}

TEST_F(RegistryTest, OpeningAndCreatingKeys) {
  Hklm r(dir.path());
  EXPECT_FALSE(r.OpenKey(kKey, false));
  EXPECT_FALSE(fs::exists(File()));
  EXPECT_FALSE(r.OpenKeyReadOnly(kKey));

  ASSERT_TRUE(r.OpenKey(kKey, true));  // the key is written at once
  EXPECT_EQ(r.CurrentPath(), "SOFTWARE\\Dravel\\RiriredOZ");
  EXPECT_EQ(ReadBytes(File()),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n");
  EXPECT_TRUE(r.KeyExists("\\SOFTWARE\\Dravel"));
  EXPECT_FALSE(r.KeyExists("Sub"));
  ASSERT_TRUE(r.OpenKey("Sub", true));  // below the open key
  EXPECT_EQ(r.CurrentPath(), "SOFTWARE\\Dravel\\RiriredOZ\\Sub");
  ASSERT_TRUE(r.OpenKey("\\software\\dravel", false));
  EXPECT_EQ(r.CurrentPath(), "software\\dravel");

  // A missing directory is made private, as configuration directories are.
  Hklm fresh(dir / "config" / "RiriredOZ");
  ASSERT_TRUE(fresh.OpenKey(kKey, true));
  EXPECT_EQ(fs::status(dir / "config" / "RiriredOZ").permissions(), fs::perms::owner_all);

  // The other roots are files of their own.
  r.SetRootKey(HKEY_CURRENT_USER);
  EXPECT_FALSE(r.OpenKey(kKey, false));
  ASSERT_TRUE(r.OpenKey(kKey, true));
  EXPECT_TRUE(fs::exists(dir / "HKEY_CURRENT_USER.reg"));
}

TEST_F(RegistryTest, ChangesReachTheFileWhenTheKeyCloses) {
  Hklm r(dir.path());
  ASSERT_TRUE(r.OpenKey(kKey, true));
  const std::string created = ReadBytes(File());
  r.WriteString("Port", "COM1");
  r.WriteInteger("Inicio", -1);
  r.WriteInteger("BaudRate", 7);
  EXPECT_EQ(r.ReadInteger("Inicio"), -1);  // seen at once by the key
  EXPECT_EQ(ReadBytes(File()), created);
  r.CloseKey();
  EXPECT_EQ(ReadBytes(File()),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n"
            "\"Port\"=\"COM1\"\r\n\"Inicio\"=dword:ffffffff\r\n\"BaudRate\"=dword:00000007\r\n");
  ASSERT_TRUE(r.OpenKey(kKey, false));
  EXPECT_EQ(r.ReadInteger("Inicio"), -1);
  EXPECT_EQ(r.ReadString("Port"), "COM1");
}

TEST_F(RegistryTest, ChangesOfTwoWritersToDifferentValuesBothSurvive) {
  Hklm a(dir.path());
  Hklm b(dir.path());
  ASSERT_TRUE(a.OpenKey(kKey, true));
  ASSERT_TRUE(b.OpenKey(kKey, false));
  a.WriteString("Port", "COM1");
  b.WriteInteger("BaudRate", 13);
  a.CloseKey();
  b.CloseKey();
  ASSERT_TRUE(a.OpenKeyReadOnly(kKey));
  EXPECT_EQ(a.ReadString("Port"), "COM1");
  EXPECT_EQ(a.ReadInteger("BaudRate"), 13);
}

TEST_F(RegistryTest, AnUnwritableLocationRefusesFullAccess) {
  // A path through a regular file can be created by no one, root included.
  WriteBytes(dir / "file", "x");
  Registry r(dir / "file" / "RiriredOZ");
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(r.OpenKey(kKey, true));
  EXPECT_EQ(MessageOf([&] { r.WriteString("Port", "COM1"); }),
            "Failed to set data for 'Port': " + (dir / "file" / "RiriredOZ").string() +
                "/HKEY_LOCAL_MACHINE.reg: Not a directory");
  EXPECT_TRUE(r.FileProblem().empty());
}

TEST_F(RegistryTest, AReadOnlyFileOpensForReadingOnly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  Hklm w(dir.path());
  ASSERT_TRUE(w.OpenKey(kKey, true));
  w.CloseKey();
  fs::permissions(File(), fs::perms::owner_read);
  Hklm r(dir.path());
  EXPECT_FALSE(r.OpenKey(kKey, false));
  EXPECT_TRUE(r.OpenKeyReadOnly(kKey));
}

TEST_F(RegistryTest, AFileThatCannotBeReadIsReportedAndNeverOverwritten) {
  fs::create_directories(File());  // a directory where the file should be
  Hklm r(dir.path());
  EXPECT_FALSE(r.OpenKey(kKey, true));
  EXPECT_EQ(r.FileProblem(),
            "Failed to read registry file '" + File().string() + "': Is a directory");
  EXPECT_EQ(MessageOf([&] { r.WriteString("Port", "COM1"); }),
            "Failed to set data for 'Port': " + File().string() + ": Is a directory");
  EXPECT_TRUE(fs::is_directory(File()));
}

// A file that did not read as a registry file (no header, no key) may be
// anything: a link pointed at the wrong file, a script. It is never replaced,
// and the save says why. An empty file is a registry file yet to be written.
TEST_F(RegistryTest, AFileThatIsNoRegistryFileIsNeverOverwritten) {
  const std::string script = "#!/bin/sh\nexec ririredoz \"$@\"\n";
  WriteBytes(dir / "bin" / "start.sh", script);
  fs::create_symlink(dir / "bin" / "start.sh", File());
  Hklm r(dir.path());
  EXPECT_FALSE(r.OpenKey(kKey, true));
  EXPECT_EQ(MessageOf([&] { r.WriteString("Port", "COM1"); }),
            "Failed to set data for 'Port': " + File().string() +
                ": not a registry file (no header, no key); left as it is");
  EXPECT_EQ(ReadBytes(dir / "bin" / "start.sh"), script);

  fs::remove(File());
  Store("");
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.CloseKey();
  EXPECT_EQ(ReadBytes(File()),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n");
}

// The replacement is a new file: it takes the old one's owner, group and mode
// (a run as root must leave the operator's file the operator's), and through a
// link (a dotfile manager's) it replaces the file named, keeping the link.
TEST_F(RegistryTest, AReplacedFileKeepsItsOwnerGroupModeAndLink) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const fs::path target = dir / "dotfiles" / "riri.reg";
  WriteBytes(target, "REGEDIT4\r\n");
  fs::create_symlink(target, File());
  ASSERT_EQ(::chown(target.c_str(), 12345, 12346), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);

  Hklm r(dir.path());
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.WriteString("Port", "COM1");
  r.CloseKey();
  struct stat after {};
  ASSERT_EQ(::stat(target.c_str(), &after), 0);
  EXPECT_EQ(after.st_uid, 12345u);
  EXPECT_EQ(after.st_gid, 12346u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_TRUE(fs::is_symlink(File()));
  EXPECT_EQ(fs::read_symlink(File()), target);
  EXPECT_NE(ReadBytes(target).find("\"Port\"=\"COM1\""), std::string::npos);
}

// Root with the operator's configuration home (sudo keeps HOME) gives what
// it creates there to the home's owner, so the next run as the operator can
// still read and replace the settings.
TEST_F(RegistryTest, WhatRootCreatesInAnOperatorsHomeIsTheOperators) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const fs::path home = dir / "operator";
  fs::create_directory(home);
  ASSERT_EQ(::chown(home.c_str(), 12345, 12346), 0);
  const fs::path config = home / ".config";

  Hklm r(config);
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.WriteString("Port", "COM1");
  r.CloseKey();
  const fs::path file = RegistryFilePath(config, HKEY_LOCAL_MACHINE);
  for (const fs::path& made : {config, file.parent_path(), file}) {
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
    EXPECT_EQ(st.st_uid, 12345u) << made;
    EXPECT_EQ(st.st_gid, 12346u) << made;
  }
}

// A save that fails half-way (here: the file size limit, as a full disk
// would) leaves the previous file whole and no temporary file behind.
TEST_F(RegistryTest, AnInterruptedSaveLeavesThePreviousFileWhole) {
  Hklm r(dir.path());
  ASSERT_TRUE(r.OpenKey(kKey, true));
  r.WriteString("Port", "COM1");
  r.WriteString("Padding", std::string(300, 'x'));
  r.CloseKey();
  const std::string before = ReadBytes(File());

  ASSERT_TRUE(r.OpenKey(kKey, false));
  r.WriteString("Port", "COM2");
  r.WriteString("Padding", std::string(5000, 'y'));
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string message = MessageOf([&] { r.CloseKey(); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(message, "Failed to set data for 'Port': " + File().string() + ": File too large");
  EXPECT_FALSE(r.HasCurrentKey());
  EXPECT_EQ(ReadBytes(File()), before);
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) left.push_back(entry.path());
  EXPECT_EQ(left, std::vector<fs::path>{File()});
}

TEST_F(RegistryTest, AHugeFileIsRead) {
  std::string text = "REGEDIT4\r\n\r\n";
  for (int i = 0; text.size() < 10 * 1024 * 1024; ++i) {
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\K" + std::to_string(i) +
            "]\r\n\"Blob\"=hex:" + std::string(200, '0') + "\r\n";  // damaged: no commas
  }
  text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dravel\\RiriredOZ]\r\n\"BaudRate\"=dword:00000007\r\n";
  Store(text);
  Hklm r(dir.path());
  ASSERT_TRUE(r.OpenKey(kKey, false));
  EXPECT_EQ(r.ReadInteger("BaudRate"), 7);
  EXPECT_NE(r.FileProblem().find("more)"), std::string::npos) << r.FileProblem();
  r.WriteInteger("BaudRate", 8);
  r.CloseKey();
  EXPECT_EQ(ReadBytes(File()).size(), text.size());
}

TEST(RegistryDirectory, FollowsTheUsersConfigurationHome) {
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  ::setenv("HOME", "/home/bench", 1);
  struct Case {
    const char* xdg;
    const char* expected;
  };
  for (const Case c :
       {Case{"/tmp/cfg", "/tmp/cfg/RiriredOZ"}, Case{nullptr, "/home/bench/.config/RiriredOZ"},
        Case{"", "/home/bench/.config/RiriredOZ"},
        Case{"relative", "/home/bench/.config/RiriredOZ"}}) {
    if (c.xdg) {
      ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(DefaultRegistryDirectory(), fs::path(c.expected)) << (c.xdg ? c.xdg : "(unset)");
  }
  if (oldXdg) {
    ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
  if (oldHome) {
    ::setenv("HOME", savedHome.c_str(), 1);
  } else {
    ::unsetenv("HOME");
  }
}

}  // namespace
}  // namespace cport
