#include "monitor/log/LogStore.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "monitor/Cp1252.h"

namespace monitor {
namespace {

using enum ByteForm;
constexpr ByteForm kForms[] = {Character, Decimal, Hexadecimal, Blank};

// The texts of the byte formats, made with printf as an independent check of
// the compiled table.
std::string Expected(unsigned byte, ByteForm form) {
  char text[16];
  switch (form) {
    case Character:
      if (byte >= 32) return std::string(1, static_cast<char>(byte));
      std::snprintf(text, sizeof text, " CHR(%u) ", byte);
      return text;
    case Decimal:
      std::snprintf(text, sizeof text, "%u ", byte);
      return text;
    case Hexadecimal:
      std::snprintf(text, sizeof text, "%02X ", byte);
      return text;
    case Blank:
      return " ";
  }
  return "?";
}

TEST(ByteTextTest, EveryByteInEveryForm) {
  for (const ByteForm form : kForms) {
    for (unsigned b = 0; b < 256; ++b) {
      SCOPED_TRACE(testing::Message() << "form " << static_cast<int>(form) << " byte " << b);
      EXPECT_EQ(ByteText(static_cast<std::uint8_t>(b), form), Expected(b, form));
      EXPECT_EQ(ByteTextView(static_cast<std::uint8_t>(b), form), Expected(b, form));
    }
  }
  EXPECT_EQ(ByteText(13, Character), " CHR(13) ");
  EXPECT_EQ(ByteText(13, Character).size(), 9u);
  EXPECT_EQ(ByteText(0x0D, Hexadecimal), "0D ");
  EXPECT_EQ(ByteText(255, Character), "\xFF");
  EXPECT_EQ(ByteText(127, Character), "\x7F");
}

// A log holding every byte in every form, an empty line and decoder lines
// with accented text, in several colours.
struct Line {
  std::string text;
  Rgb colour;
};

std::vector<Line> FillMixedLog(LogStore& log) {
  std::vector<Line> lines;
  for (const ByteForm form : kForms) {
    for (unsigned b = 0; b < 256; ++b) {
      log.AppendByte(static_cast<std::uint8_t>(b), form);
      lines.push_back({Expected(b, form), kBlue});
    }
  }
  log.SetInsertionColour(kRed);
  log.AppendLine("Reprova\xE7\xE3o: tens\xE3o \x80 alta");  // cp1252
  lines.push_back({"Reprova\xE7\xE3o: tens\xE3o \x80 alta", kRed});
  log.AppendLine();
  lines.push_back({"", kRed});
  log.SetInsertionColour(kGreen);
  log.AppendLine("00:01 Aprovada {ok} \\ fim");
  lines.push_back({"00:01 Aprovada {ok} \\ fim", kGreen});
  log.AppendByte(65, Decimal);
  lines.push_back({"65 ", kGreen});
  return lines;
}

TEST(LogStoreTest, LinesTextsAndColours) {
  LogStore log;
  EXPECT_EQ(log.InsertionColour(), kBlue);
  const std::vector<Line> lines = FillMixedLog(log);
  ASSERT_EQ(log.LineCount(), lines.size());
  std::string whole;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log.LineText(i), lines[i].text);
    EXPECT_EQ(log.LineColour(i), lines[i].colour);
    whole += lines[i].text + "\r\n";
  }
  EXPECT_EQ(log.WholeText(), whole);
  EXPECT_EQ(log.Colours(), (std::vector<Rgb>{kBlue, kRed, kGreen}));
  EXPECT_EQ(log.CharCount(0, lines.size()), whole.size() - 2 * lines.size());
}

TEST(LogStoreTest, ClearEmptiesTheLogButKeepsTheInsertionColour) {
  LogStore log;
  FillMixedLog(log);
  const auto revision = log.Revision();
  log.Clear();
  EXPECT_EQ(log.LineCount(), 0u);
  EXPECT_EQ(log.WholeText(), "");
  EXPECT_TRUE(log.Colours().empty());
  EXPECT_EQ(log.InsertionColour(), kGreen);
  EXPECT_NE(log.Revision(), revision);
  EXPECT_EQ(log.ClearCount(), 1u);

  log.AppendLine("depois");
  log.SetInsertionColour(kBlue);
  log.AppendByte(0, Hexadecimal);
  EXPECT_EQ(log.WholeText(), "depois\r\n00 \r\n");
  EXPECT_EQ(log.LineColour(0), kGreen);
  EXPECT_EQ(log.LineColour(1), kBlue);
}

TEST(LogStoreTest, RevisionChangesWithEveryLineOnly) {
  LogStore log;
  auto revision = log.Revision();
  auto changed = [&] {
    const bool c = log.Revision() != revision;
    revision = log.Revision();
    return c;
  };
  log.AppendByte(1, Character);
  EXPECT_TRUE(changed());
  log.AppendLine();
  EXPECT_TRUE(changed());
  log.AppendLine("x");
  EXPECT_TRUE(changed());
  log.SetInsertionColour(kRed);  // no line changes
  EXPECT_FALSE(changed());
  log.Clear();
  EXPECT_TRUE(changed());
}

TEST(LogStoreTest, OutOfRangeLineThrows) {
  LogStore log;
  log.AppendLine();
  EXPECT_THROW(log.LineText(1), std::out_of_range);
  EXPECT_THROW(log.LineColour(1), std::out_of_range);
}

// Lines beyond the first storage chunks, texts beyond a text block, and
// reading a range that starts and ends anywhere must give what was stored.
std::vector<Line> CheckLargeLog(LogStore& log) {
  std::vector<Line> lines;
  const std::string long_text(100'000, '\xE9');
  const Rgb colours[] = {kBlue, kRed, kGreen};
  for (std::size_t i = 0; i < 600'000; ++i) {
    if (i % 9973 == 0) log.SetInsertionColour(colours[i / 9973 % 3]);
    const Rgb colour = log.InsertionColour();
    if (i % 7919 == 0) {
      const std::string text = i == 7919 * 3 ? long_text : "linha " + std::to_string(i);
      log.AppendLine(text);
      lines.push_back({text, colour});
    } else if (i % 1000 == 0) {
      log.AppendLine();
      lines.push_back({"", colour});
    } else {
      const auto form = kForms[i % 4];
      log.AppendByte(static_cast<std::uint8_t>(i), form);
      lines.push_back({Expected(i & 0xFF, form), colour});
    }
  }
  EXPECT_EQ(log.LineCount(), lines.size());
  const std::size_t chunk = 1 << 18;
  const std::pair<std::size_t, std::size_t> ranges[] = {
      {0, lines.size()}, {chunk - 3, chunk + 5}, {7919 * 3 - 1, 7919 * 3 + 2},
      {599'990, 700'000}, {123'457, 123'457}, {2 * chunk, 2 * chunk + 1}};
  for (const auto& [first, last] : ranges) {
    SCOPED_TRACE(testing::Message() << first << ".." << last);
    std::size_t i = first;
    std::size_t mismatches = 0;
    log.ForEachLine(first, last, [&](std::string_view text, Rgb colour) {
      if (text != lines[i].text || colour != lines[i].colour || log.LineText(i) != lines[i].text ||
          log.LineColour(i) != lines[i].colour)
        ++mismatches;
      ++i;
    });
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(i, std::max(first, std::min(last, lines.size())));
    std::uint64_t chars = 0;
    for (std::size_t k = first; k < std::min(last, lines.size()); ++k) chars += lines[k].text.size();
    EXPECT_EQ(log.CharCount(first, last), chars);
  }
  return lines;
}

TEST(LogStoreTest, LargeLogReadsBackInAnyRange) {
  LogStore log;
  CheckLargeLog(log);
  EXPECT_EQ(log.SpilledBytes(), 0u);
}

// The same log with a memory bound of a few pages: most of it lives in the
// spill file, and reads back the same, in memory that stays at the bound.
TEST(LogSpillTest, SpilledLogReadsBackAsInMemory) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("riri-spill-" + std::to_string(::getpid()));
  LogStore log({.memory_bound = 64 << 10, .page_bytes = 16 << 10, .spill_directory = dir});
  const std::vector<Line> lines = CheckLargeLog(log);
  log.SettleSpill();
  EXPECT_GT(log.SpilledBytes(), 1'000'000u);
  EXPECT_LE(log.MemoryBytes(), (64 << 10) + (16 << 10));
  // The file has no name: a crash would leave nothing in the directory.
  EXPECT_TRUE(std::filesystem::is_empty(dir));

  // A snapshot keeps reading the log as it was, through a Clear and new
  // lines that reuse the memory.
  LogSnapshot snapshot = log.Snapshot();
  log.Clear();
  EXPECT_EQ(log.SpilledBytes(), 0u);
  for (int i = 0; i < 100'000; ++i) log.AppendByte(7, ByteForm::Decimal);
  ASSERT_EQ(snapshot.LineCount(), lines.size());
  std::size_t i = 0, mismatches = 0;
  snapshot.ForEachLine(0, lines.size(), [&](std::string_view text, Rgb colour) {
    mismatches += text != lines[i].text || colour != lines[i].colour;
    ++i;
  });
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(snapshot.CharCount({.first_line = 5, .first_column = 1, .last_line = 8, .last_column = 2}),
            lines[5].text.size() - std::min<std::size_t>(1, lines[5].text.size()) +
                lines[6].text.size() + lines[7].text.size() + std::min<std::size_t>(2, lines[8].text.size()));
  std::filesystem::remove_all(dir);
}

// Pages are spilled by a thread of their own; a Clear while some are still
// with it must not let their outcome land on the pages of the new log.
TEST(LogSpillTest, ClearsWhilePagesAreBeingWrittenLeaveOnlyTheNewLines) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("riri-spill-clear-" + std::to_string(::getpid()));
  LogStore log({.memory_bound = 4 << 10, .page_bytes = 1 << 10, .spill_directory = dir});
  for (int round = 0; round < 50; ++round) {
    for (int i = 0; i < 20'000; ++i) log.AppendByte(static_cast<std::uint8_t>(round), ByteForm::Hexadecimal);
    log.Clear();
  }
  constexpr int kLines = 50'000;
  for (int i = 0; i < kLines; ++i) log.AppendByte(static_cast<std::uint8_t>(i % 200), ByteForm::Decimal);
  log.SettleSpill();
  EXPECT_GT(log.SpilledBytes(), 80'000u);
  EXPECT_LE(log.MemoryBytes(), (4u << 10) + (1u << 10));
  ASSERT_EQ(log.LineCount(), static_cast<std::size_t>(kLines));
  std::size_t wrong = 0;
  for (int i = 0; i < kLines; ++i) wrong += log.LineText(i) != std::to_string(i % 200) + " ";
  EXPECT_EQ(wrong, 0u);
  EXPECT_FALSE(log.TakeSpillFailure().has_value());
  std::filesystem::remove_all(dir);
}

TEST(Cp1252Test, CodePoints) {
  const std::pair<unsigned, char32_t> table[] = {
      {0x00, 0x0000}, {0x41, 0x0041}, {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081},
      {0x8A, 0x0160}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x99, 0x2122},
      {0x9D, 0x009D}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE7, 0x00E7}, {0xFF, 0x00FF}};
  for (const auto& [byte, cp] : table) {
    SCOPED_TRACE(byte);
    EXPECT_EQ(Cp1252ToUnicode(static_cast<std::uint8_t>(byte)), cp);
  }
  int undefined = 0;
  for (unsigned b = 0; b < 256; ++b) undefined += IsCp1252Defined(static_cast<std::uint8_t>(b)) ? 0 : 1;
  EXPECT_EQ(undefined, 5);
  EXPECT_EQ(Cp1252ToUtf8("Reprova\xE7\xE3o \x80\x99"), "Reprova\u00E7\u00E3o \u20AC\u2122");
}

}  // namespace
}  // namespace monitor
