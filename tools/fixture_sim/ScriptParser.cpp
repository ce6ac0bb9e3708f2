#include "fixture_sim/ScriptParser.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

#include "fixture_sim/ReportFrame.h"

namespace fixture_sim {
namespace {

using namespace std::string_literals;

struct Word {
  std::string text;  // a quoted word without its quotes, escapes resolved
  bool quoted = false;
};

std::string Quote(std::string_view word) { return "\"" + std::string(word) + "\""; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;
}

// Reads the quoted word that starts at line[pos] (the opening quote) and
// leaves pos after its closing quote.
Word ReadQuoted(std::string_view line, std::size_t& pos, int lineNumber) {
  Word word{"", true};
  ++pos;
  while (pos < line.size() && line[pos] != '"') {
    const auto c = static_cast<unsigned char>(line[pos]);
    if (c == '\\') {
      if (pos + 1 >= line.size()) break;
      const char e = line[pos + 1];
      pos += 2;
      switch (e) {
        case '\\':
          word.text += '\\';
          break;
        case '"':
          word.text += '"';
          break;
        case 'n':
          word.text += '\n';
          break;
        case 'r':
          word.text += '\r';
          break;
        case 't':
          word.text += '\t';
          break;
        case '0':
          word.text += '\0';
          break;
        case 'x': {
          const auto hi = pos < line.size() ? HexDigit(line[pos]) : std::nullopt;
          const auto lo = pos + 1 < line.size() ? HexDigit(line[pos + 1]) : std::nullopt;
          if (!hi || !lo) throw ScriptError(lineNumber, "\\x needs two hexadecimal digits");
          word.text += static_cast<char>(*hi * 16 + *lo);
          pos += 2;
          break;
        }
        default:
          throw ScriptError(lineNumber, "unknown escape \\"s + e + " in a quoted string");
      }
      continue;
    }
    if (c >= 0x80 || (c < 0x20 && c != '\t') || c == 0x7F) {
      throw ScriptError(lineNumber,
                        "only printable ASCII may stand in a quoted string; write other "
                        "bytes as \\xHH");
    }
    word.text += static_cast<char>(c);
    ++pos;
  }
  if (pos >= line.size()) throw ScriptError(lineNumber, "quoted string without its closing quote");
  ++pos;
  if (pos < line.size() && !IsBlank(line[pos])) {
    throw ScriptError(lineNumber, "a blank must follow the closing quote");
  }
  return word;
}

// The words of one line, up to a comment.
std::vector<Word> SplitWords(std::string_view line, int lineNumber) {
  std::vector<Word> words;
  std::size_t pos = 0;
  for (;;) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] == '#') break;
    if (line[pos] == '"') {
      words.push_back(ReadQuoted(line, pos, lineNumber));
      continue;
    }
    const std::size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos])) ++pos;
    words.push_back({std::string(line.substr(start, pos - start)), false});
  }
  return words;
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string_view DropHexPrefix(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  return text;
}

// A `bytes` word: one or two hexadecimal digits, "0x" allowed.
std::optional<std::uint8_t> ParseHexByte(std::string_view text) {
  text = DropHexPrefix(text);
  if (text.empty() || text.size() > 2) return std::nullopt;
  int value = 0;
  for (char c : text) {
    const auto digit = HexDigit(c);
    if (!digit) return std::nullopt;
    value = value * 16 + *digit;
  }
  return static_cast<std::uint8_t>(value);
}

// A `frame` word: decimal, or hexadecimal after "0x"; 0 to 255.
std::optional<std::uint8_t> ParseFieldValue(std::string_view text) {
  std::optional<std::uint64_t> value;
  const std::string_view hex = DropHexPrefix(text);
  if (hex.size() != text.size()) {
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
    if (ec == std::errc() && end == hex.data() + hex.size()) value = v;
  } else {
    value = ParseDecimal(text);
  }
  if (!value || *value > 255) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

void ExpectUnquoted(const std::vector<Word>& words, std::string_view command, int lineNumber) {
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i].quoted) {
      throw ScriptError(lineNumber, std::string(command) + " takes no quoted string");
    }
  }
}

BytesCommand ParseBytes(const std::vector<Word>& words, int lineNumber) {
  ExpectUnquoted(words, "bytes", lineNumber);
  if (words.size() < 2) throw ScriptError(lineNumber, "bytes needs at least one byte");
  BytesCommand command;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const auto byte = ParseHexByte(words[i].text);
    if (!byte) {
      throw ScriptError(lineNumber, Quote(words[i].text) +
                                        " is not a hexadecimal byte (00 to FF, as in FA or 0x0A)");
    }
    command.bytes.push_back(*byte);
  }
  return command;
}

BytesCommand ParseText(const std::vector<Word>& words, int lineNumber) {
  if (words.size() != 2 || !words[1].quoted) {
    throw ScriptError(lineNumber, "text takes exactly one quoted string, as in text \"OK\\r\\n\"");
  }
  if (words[1].text.empty()) throw ScriptError(lineNumber, "text needs at least one character");
  return BytesCommand{{words[1].text.begin(), words[1].text.end()}};
}

BytesCommand ParseFrame(const std::vector<Word>& words, int lineNumber) {
  ExpectUnquoted(words, "frame", lineNumber);
  const std::size_t count = words.size() - 1;
  if (count < 2) {
    throw ScriptError(lineNumber, "frame needs at least a result code and a test code");
  }
  if (count > kMostFrameFields) {
    throw ScriptError(lineNumber,
                      "frame holds at most 98 values (a frame is at most 101 bytes), "
                      "here " +
                          std::to_string(count));
  }
  std::vector<std::uint8_t> fields;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const auto value = ParseFieldValue(words[i].text);
    if (!value) {
      throw ScriptError(lineNumber,
                        Quote(words[i].text) + " is not a byte value (0 to 255, or 0x00 to 0xFF)");
    }
    fields.push_back(*value);
  }
  return BytesCommand{EncodeReportFrame(fields)};
}

PauseCommand ParsePause(const std::vector<Word>& words, int lineNumber) {
  ExpectUnquoted(words, "pause", lineNumber);
  const std::string usage = "pause takes one duration such as 500ms, 2s or 1.5s";
  if (words.size() != 2) throw ScriptError(lineNumber, usage);
  std::string_view text = words[1].text;
  std::optional<std::uint64_t> ms;
  if (text.ends_with("ms")) {
    ms = ParseDecimal(text.substr(0, text.size() - 2));
  } else if (text.ends_with("s")) {
    text.remove_suffix(1);
    const auto dot = text.find('.');
    const auto whole = ParseDecimal(text.substr(0, dot));
    std::optional<std::uint64_t> thousandths = 0;
    if (dot != std::string_view::npos) {
      const std::string_view fraction = text.substr(dot + 1);
      thousandths =
          fraction.size() >= 1 && fraction.size() <= 3 ? ParseDecimal(fraction) : std::nullopt;
      for (std::size_t i = fraction.size(); thousandths && i < 3; ++i) *thousandths *= 10;
    }
    if (whole && thousandths && *whole <= 86'400) ms = *whole * 1000 + *thousandths;
  }
  if (!ms) throw ScriptError(lineNumber, Quote(words[1].text) + ": " + usage);
  if (*ms > 86'400'000) throw ScriptError(lineNumber, "pause of more than 24 h");
  return PauseCommand{std::chrono::milliseconds(*ms)};
}

StreamCommand ParseStream(const std::vector<Word>& words, int lineNumber) {
  ExpectUnquoted(words, "stream", lineNumber);
  const std::string usage =
      "stream <count> bytes at <rate> B/s [pattern counter|random|frames] [seed <n>], "
      "or at max instead of <rate> B/s";
  auto word = [&](std::size_t i) -> std::string_view {
    return i < words.size() ? std::string_view(words[i].text) : std::string_view();
  };
  if (words.size() < 5 || word(2) != "bytes" || word(3) != "at") {
    throw ScriptError(lineNumber, usage);
  }
  StreamCommand command;
  const auto count = ParseDecimal(word(1));
  if (!count || *count == 0) {
    throw ScriptError(lineNumber, Quote(word(1)) + " is not a byte count (a whole number from 1)");
  }
  command.count = *count;
  std::size_t next = 5;
  if (word(4) != "max") {
    const auto rate = ParseDecimal(word(4));
    if (!rate || *rate == 0 || *rate > kMaxStreamRate) {
      throw ScriptError(lineNumber,
                        Quote(word(4)) + " is not a rate (1 to 1000000000 B/s, or max)");
    }
    if (word(5) != "B/s") throw ScriptError(lineNumber, "the rate must be followed by B/s");
    command.rate = *rate;
    next = 6;
  }
  bool havePattern = false;
  bool haveSeed = false;
  for (; next < words.size(); next += 2) {
    const std::string_view option = word(next);
    const std::string_view value = word(next + 1);
    if (option == "pattern" && !havePattern) {
      havePattern = true;
      if (value == "counter") {
        command.pattern = StreamPattern::spCounter;
      } else if (value == "random") {
        command.pattern = StreamPattern::spRandom;
      } else if (value == "frames") {
        command.pattern = StreamPattern::spFrames;
      } else {
        throw ScriptError(lineNumber, "pattern must be counter, random or frames");
      }
    } else if (option == "seed" && !haveSeed) {
      haveSeed = true;
      const auto seed = ParseDecimal(value);
      if (!seed) throw ScriptError(lineNumber, "seed needs a whole number");
      command.seed = *seed;
    } else if (option == "pattern" || option == "seed") {
      throw ScriptError(lineNumber, std::string(option) + " is given twice");
    } else {
      throw ScriptError(lineNumber, Quote(option) + " unexpected; " + usage);
    }
  }
  if (haveSeed && command.pattern != StreamPattern::spRandom) {
    throw ScriptError(lineNumber, "seed applies to pattern random only");
  }
  return command;
}

}  // namespace

Script ParseScript(std::string_view text) {
  Script script;
  int lineNumber = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;

    const std::vector<Word> words = SplitWords(line, lineNumber);
    if (words.empty()) continue;
    const Word& command = words.front();
    ScriptCommand parsed{lineNumber, {}};
    if (command.quoted) {
      throw ScriptError(lineNumber, "a line must begin with a command, not a quoted string");
    } else if (command.text == "bytes") {
      parsed.action = ParseBytes(words, lineNumber);
    } else if (command.text == "text") {
      parsed.action = ParseText(words, lineNumber);
    } else if (command.text == "frame") {
      parsed.action = ParseFrame(words, lineNumber);
    } else if (command.text == "pause") {
      parsed.action = ParsePause(words, lineNumber);
    } else if (command.text == "stream") {
      parsed.action = ParseStream(words, lineNumber);
    } else {
      throw ScriptError(lineNumber, "unknown command " + Quote(command.text) +
                                        " (known: bytes, text, frame, pause, stream)");
    }
    script.push_back(std::move(parsed));
  }
  return script;
}

}  // namespace fixture_sim
