#include "monitor/log/RtfWriter.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "monitor/Cp1252.h"

namespace monitor {
namespace {

namespace fs = std::filesystem;
using enum ByteForm;

struct Line {
  std::string text;  // cp1252
  Rgb colour;
};

// Every byte in every form, then decoder lines in other colours with
// accented letters, the characters RTF escapes and control bytes.
std::vector<Line> FillLog(LogStore& log) {
  std::vector<Line> lines;
  for (const ByteForm form : {Character, Decimal, Hexadecimal, Blank}) {
    for (unsigned b = 0; b < 256; ++b) {
      log.AppendByte(static_cast<std::uint8_t>(b), form);
      lines.push_back({ByteText(static_cast<std::uint8_t>(b), form), log.InsertionColour()});
    }
  }
  const std::pair<Rgb, std::string> decoder[] = {
      {kRed, "00:00:01 Reprova\xE7\xE3o: tens\xE3o \x80 acima (\xC1rea \xD1)"},
      {kRed, ""},
      {kGreen, "{chave} \\caminho\\ \\par fim"},
      {0x123456, "ctrl \x01|\x1B|\x09| \xFF"},
      {kBlue, "   tr\xEAs  brancos   "},
  };
  for (const auto& [colour, text] : decoder) {
    log.SetInsertionColour(colour);
    log.AppendLine(text);
    lines.push_back({text, colour});
  }
  return lines;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "rtfwriter-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename());
    return names;
  }

 private:
  fs::path path_;
};

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& file, const std::string& data) {
  std::ofstream(file, std::ios::binary) << data;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

bool HaveUnrtf() { return std::system("unrtf --version >/dev/null 2>&1") == 0; }

// unrtf's plain text output writes a character above 127 as the low byte of
// its code point. A copy of its text configuration that maps every such code
// point to "&#N;" makes the output exact; the mapping from the document's
// \'hh to a code point stays unrtf's own (through iconv and code page 1252).
fs::path MakeUnrtfConfig(const fs::path& dir) {
  for (const char* system_dir : {"/usr/share/unrtf", "/usr/local/share/unrtf"}) {
    const fs::path conf = fs::path(system_dir) / "text.conf";
    if (!fs::exists(conf)) continue;
    std::string text = ReadFile(conf);
    for (unsigned cp = 128; cp < 0x2200; ++cp)
      text += std::to_string(cp) + "\n\t&#" + std::to_string(cp) + ";\n";
    WriteFile(dir / "text.conf", text);
    return dir;
  }
  return {};
}

// "&#N;" back to the character N in UTF-8.
std::string DecodeCharacterReferences(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const std::size_t end = s.compare(i, 2, "&#") == 0 ? s.find(';', i) : std::string::npos;
    if (end == std::string::npos) {
      out += s[i];
      continue;
    }
    const unsigned long cp = std::stoul(s.substr(i + 2, end - i - 2));
    if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    i = end;
  }
  return out;
}

// What a reader shows of a line: its characters in Unicode; the five bytes
// code page 1252 leaves undefined have no character and readers drop them.
std::string ReaderText(const std::string& cp1252) {
  std::string defined;
  for (const char c : cp1252)
    if (IsCp1252Defined(static_cast<std::uint8_t>(c))) defined += c;
  return Cp1252ToUtf8(defined);
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t nl; (nl = s.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(s.substr(at, nl - at));
  if (at < s.size()) lines.push_back(s.substr(at));
  return lines;
}

TEST(RtfWriterTest, UnrtfReadsEveryLineBack) {
  if (!HaveUnrtf()) GTEST_SKIP() << "unrtf is not installed";
  TempDir dir;
  LogStore log;
  const std::vector<Line> lines = FillLog(log);
  const fs::path file = dir.path() / "log.txt";
  SaveRtf(log, file);
  const fs::path config = MakeUnrtfConfig(dir.path());
  ASSERT_FALSE(config.empty()) << "unrtf is installed but its text.conf was not found";

  const std::string text = DecodeCharacterReferences(
      RunCommand("unrtf --quiet -P '" + config.string() + "' --text '" + file.string() + "'"));
  // The body follows a line of dashes.
  const std::size_t body = text.find("-----------------\n");
  ASSERT_NE(body, std::string::npos) << text;
  const std::vector<std::string> read = SplitLines(text.substr(body + 18));
  ASSERT_EQ(read.size(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "line " << i << ": " << Cp1252ToUtf8(lines[i].text));
    EXPECT_EQ(read[i], ReaderText(lines[i].text));
  }
}

TEST(RtfWriterTest, UnrtfSeesFontAndTheColourOfEveryLine) {
  if (!HaveUnrtf()) GTEST_SKIP() << "unrtf is not installed";
  TempDir dir;
  LogStore log;
  const std::vector<Line> lines = FillLog(log);
  const fs::path file = dir.path() / "log.rtf";
  SaveRtf(log, file);
  const std::string html = RunCommand("unrtf --quiet --html '" + file.string() + "'");
  const std::size_t body = html.find("<body>");
  ASSERT_NE(body, std::string::npos) << html;
  EXPECT_NE(html.find("<font face=\"Arial\"><b>", body), std::string::npos) << html.substr(body, 200);

  // One <br> per paragraph; a colour change opens a font tag before the
  // paragraph's text, so the last colour seen up to a paragraph's end is
  // the colour of its text.
  const std::string colour_tag = "color=\"#";
  std::string colour;
  std::size_t at = body;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t br = html.find("<br>", at);
    ASSERT_NE(br, std::string::npos) << "paragraph " << i;
    for (std::size_t tag = at; (tag = html.find(colour_tag, tag)) < br; tag += colour_tag.size())
      colour = html.substr(tag + colour_tag.size(), 6);
    char expected[8];
    std::snprintf(expected, sizeof expected, "%06x", lines[i].colour);
    EXPECT_EQ(colour, expected) << "paragraph " << i;
    at = br + 4;
  }
  EXPECT_EQ(html.find("<br>", at), std::string::npos);
}

TEST(RtfWriterTest, DocumentStructure) {
  LogStore log;
  FillLog(log);
  log.AppendLine("a\r\nb\rc\nd");
  std::ostringstream out;
  WriteRtf(log, out);
  const std::string rtf = out.str();
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}", 0),
            0u);
  EXPECT_NE(rtf.find("{\\colortbl ;\\red0\\green0\\blue255;\\red255\\green0\\blue0;"
                     "\\red0\\green128\\blue0;\\red18\\green52\\blue86;}"),
            std::string::npos);
  EXPECT_NE(rtf.find("\\b\\fs20"), std::string::npos);
  // Nothing but printable ASCII and line feeds; braces balance.
  int depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    const auto c = static_cast<unsigned char>(rtf[i]);
    ASSERT_TRUE((c >= 0x20 && c < 0x7F) || c == '\n') << "byte " << int(c) << " at " << i;
    if (c == '\\') {
      ++i;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      ASSERT_GT(depth, 0) << "at " << i;
      --depth;
    }
  }
  EXPECT_EQ(depth, 0);
  // A line break inside a decoder line stays inside its paragraph.
  EXPECT_NE(rtf.find("a\\line b\\line c\\line d\\par\n}"), std::string::npos);
  std::size_t paragraphs = 0;
  for (std::size_t at = 0; (at = rtf.find("\\par\n", at)) != std::string::npos; ++at) ++paragraphs;
  EXPECT_EQ(paragraphs, log.LineCount());
}

TEST(RtfWriterTest, EmptyLogIsAnEmptyDocument) {
  LogStore log;
  std::ostringstream out;
  WriteRtf(log, out);
  EXPECT_EQ(out.str().find("\\par\n"), std::string::npos);
  EXPECT_EQ(out.str().back(), '\n');
  EXPECT_NE(out.str().find("\\blue255;}"), std::string::npos);
}

TEST(RtfWriterTest, FailingStreamThrows) {
  LogStore log;
  for (int i = 0; i < 100'000; ++i) log.AppendByte(static_cast<std::uint8_t>(i), Hexadecimal);
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  EXPECT_THROW(WriteRtf(log, out), std::ios_base::failure);
}

TEST(SaveRtfTest, ReplacesAnExistingFile) {
  TempDir dir;
  const fs::path file = dir.path() / "log.txt";
  WriteFile(file, "old contents");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  LogStore log;
  log.AppendLine("new");
  SaveRtf(log, file);
  const std::string saved = ReadFile(file);
  EXPECT_EQ(saved.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(saved.find("new\\par"), std::string::npos);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"log.txt"});
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SaveRtfTest, SavesThroughASymbolicLink) {
  TempDir dir;
  WriteFile(dir.path() / "real.rtf", "old");
  fs::create_symlink("real.rtf", dir.path() / "link.rtf");
  LogStore log;
  log.AppendLine("x");
  SaveRtf(log, dir.path() / "link.rtf");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.rtf"));
  EXPECT_EQ(ReadFile(dir.path() / "real.rtf").rfind("{\\rtf1", 0), 0u);
}

TEST(SaveRtfTest, FailuresNameTheFileAndLeaveNothingBehind) {
  TempDir dir;
  fs::create_directory(dir.path() / "sub");
  LogStore log;
  log.AppendLine("x");
  const fs::path targets[] = {dir.path() / "missing" / "log.txt", dir.path() / "sub"};
  for (const fs::path& target : targets) {
    SCOPED_TRACE(target);
    try {
      SaveRtf(log, target);
      ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
      EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
  EXPECT_TRUE(fs::is_empty(dir.path() / "sub"));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"sub"});
}

// A full disk, made with the file size limit: the write fails midway, the
// old file stays as it was and the partial file goes.
TEST(SaveRtfTest, WriteFailureKeepsTheOldFile) {
  TempDir dir;
  const fs::path file = dir.path() / "log.txt";
  WriteFile(file, "old contents");
  LogStore log;
  for (int i = 0; i < 200'000; ++i) log.AppendByte(static_cast<std::uint8_t>(i), Decimal);

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100'000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message;
  try {
    SaveRtf(log, file);
  } catch (const std::system_error& e) {
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_NE(message.find("Cannot write file \"" + file.string() + "\""), std::string::npos)
      << message;
  EXPECT_EQ(ReadFile(file), "old contents");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"log.txt"});
  EXPECT_EQ(log.LineCount(), 200'000u);
}

std::string RtfOf(const LogSnapshot& log, const LogRange& range = {}) {
  std::ostringstream out;
  WriteRtf(log, out, {}, range);
  return out.str();
}

// A log that lives mostly in its spill file saves the very document the same
// log kept in memory does, and a stretch of it with cut first and last lines
// saves as a log of just those lines.
TEST(SaveRtfTest, SpilledLogAndStretchesSaveTheSameDocument) {
  TempDir dir;
  LogStore in_memory;
  LogStore spilled({.memory_bound = 8 << 10, .page_bytes = 4 << 10, .spill_directory = dir.path()});
  std::vector<Line> lines;
  for (int i = 0; i < 40; ++i) {
    lines = FillLog(in_memory);
    FillLog(spilled);
  }
  spilled.SettleSpill();
  ASSERT_GT(spilled.SpilledBytes(), 50'000u);
  const std::string expected = RtfOf(in_memory.Snapshot());
  LogSnapshot snapshot = spilled.Snapshot();
  EXPECT_EQ(RtfOf(snapshot), expected);
  SaveRtf(snapshot, dir.path() / "log.rtf");
  EXPECT_EQ(ReadFile(dir.path() / "log.rtf"), expected);

  // From column 1 of the byte line "A" in Decimal ("65 ") through the first
  // 4 bytes of the last decoder line of the last copy.
  const std::size_t first = 256 + 65;
  const std::size_t last = in_memory.LineCount() - 1;
  LogStore cut;
  cut.AppendLine("5 ");
  for (std::size_t i = first + 1; i < last; ++i) {
    cut.SetInsertionColour(in_memory.LineColour(i));
    cut.AppendLine(in_memory.LineText(i));
  }
  cut.SetInsertionColour(in_memory.LineColour(last));
  cut.AppendLine(in_memory.LineText(last).substr(0, 4));
  const LogRange range{first, 1, last, 4};
  EXPECT_EQ(RtfOf(spilled.Snapshot(), range), RtfOf(cut.Snapshot()));
  EXPECT_EQ(spilled.Snapshot().CharCount(range), cut.CharCount(0, cut.LineCount()));
}

// Cancelled from the progress report, a save stops: no file at the name,
// no temporary file beside it, the old file whole.
TEST(SaveRtfTest, CancelledSaveLeavesTheOldFile) {
  TempDir dir;
  const fs::path file = dir.path() / "log.rtf";
  WriteFile(file, "old contents");
  LogStore log;
  for (int i = 0; i < 300'000; ++i) log.AppendByte(static_cast<std::uint8_t>(i), Hexadecimal);
  std::atomic<bool> cancel{false};
  std::size_t reports = 0;
  SaveControl control{&cancel, [&](std::size_t done, std::size_t total) {
                        ++reports;
                        EXPECT_EQ(total, 300'000u);
                        if (done >= 100'000) cancel = true;
                      }};
  LogSnapshot snapshot = log.Snapshot();
  EXPECT_THROW(SaveRtf(snapshot, file, {}, {}, control), SaveCancelled);
  EXPECT_EQ(reports, 2u);
  EXPECT_EQ(ReadFile(file), "old contents");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"log.rtf"});
}

}  // namespace
}  // namespace monitor
