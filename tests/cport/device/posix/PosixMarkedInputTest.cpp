// The received bytes' error marks turned into data, errors and events, fed
// whole and split at every offset (an escape may end one read and start the
// next): the same result must come out.
#include <gtest/gtest.h>

#include <string>

#include "cport/device/LineFlags.h"
#include "cport/device/posix/PosixMarkedInput.h"

namespace cport::device {
namespace {

struct Decoded {
  std::string data;
  std::uint32_t errors = 0;
  std::uint32_t events = 0;
  std::uint32_t appended = 0;
  friend bool operator==(const Decoded&, const Decoded&) = default;
};

Decoded DecodeIn(std::string_view raw, std::size_t split, const ReceiveRules& rules,
                 const CountedErrors& counted) {
  MarkedInput input;
  Decoded out;
  for (std::string_view part : {raw.substr(0, split), raw.substr(split)}) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(part.data());
    const DecodeResult r = input.Decode({bytes, part.size()}, rules, counted, out.data);
    out.errors |= r.errors;
    out.events |= r.events;
    out.appended += r.appended;
  }
  return out;
}

TEST(PosixMarkedInputTest, MarksBecomeDataErrorsAndEventsAsAWindowsDriverReportsThem) {
  using namespace std::string_literals;
  const ReceiveRules plain;
  ReceiveRules checked;
  checked.parity_check = true;
  ReceiveRules replacing = checked;
  replacing.replace = true;
  replacing.error_char = '?';
  ReceiveRules nul_dropped;
  nul_dropped.discard_nul = true;
  nul_dropped.event_char = '\n';
  const CountedErrors unknown;
  const CountedErrors framing{true, false, true, false};
  const CountedErrors parity_no_break{true, true, false, false};

  const struct {
    const char* what;
    std::string raw;
    ReceiveRules rules;
    CountedErrors counted;
    Decoded want;
  } cases[] = {
      {"plain bytes", "ab\0c"s, plain, unknown, {"ab\0c"s, 0, kEvRxChar | kEvRxFlag, 4}},
      {"escaped 0xFF is one 0xFF", "z\xFF\xFFz"s, plain, unknown, {"z\xFFz"s, 0, kEvRxChar, 3}},
      {"a break leaves no byte",
       "z\xFF\0\0z"s,
       plain,
       unknown,
       {"zz", kCeBreak, kEvRxChar | kEvBreak, 2}},
      {"a break alone raises no receive event",
       "\xFF\0\0"s,
       plain,
       unknown,
       {"", kCeBreak, kEvBreak, 0}},
      {"bad byte kept; parity when parity is checked",
       "\xFF\0x"s,
       checked,
       unknown,
       {"x", kCeRxParity, kEvRxChar | kEvErr, 1}},
      {"bad byte replaced",
       "z\xFF\0x"s,
       replacing,
       unknown,
       {"z?", kCeRxParity, kEvRxChar | kEvErr, 2}},
      {"the counters say framing",
       "\xFF\0x"s,
       checked,
       framing,
       {"x", kCeFrame, kEvRxChar | kEvErr, 1}},
      {"a NUL with an error, no break counted",
       "\xFF\0\0"s,
       checked,
       parity_no_break,
       {"\0"s, kCeRxParity, kEvRxChar | kEvErr | kEvRxFlag, 1}},
      {"NULs dropped before counting; event character",
       "\0z\n\0\xFF\0\0"s,
       nul_dropped,
       unknown,
       {"z\n", kCeBreak, kEvRxChar | kEvRxFlag | kEvBreak, 2}},
      {"only dropped NULs: no receive event", "\0\0"s, nul_dropped, unknown, {"", 0, 0, 0}},
  };
  for (const auto& c : cases) {
    for (std::size_t split = 0; split <= c.raw.size(); ++split) {
      EXPECT_EQ(DecodeIn(c.raw, split, c.rules, c.counted), c.want)
          << c.what << ", split at " << split;
    }
  }
}

TEST(PosixMarkedInputTest, ResetForgetsAHalfReceivedEscape) {
  MarkedInput input;
  std::string out;
  const std::uint8_t mark[] = {0xFF, 0x00};
  const std::uint8_t next[] = {0x00, 'z'};
  input.Decode(mark, {}, {}, out);
  input.Reset();
  const DecodeResult r = input.Decode(next, {}, {}, out);
  EXPECT_EQ(out, std::string("\0z", 2));
  EXPECT_EQ(r.errors, 0u);
}

}  // namespace
}  // namespace cport::device
