#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "DecodedReports.h"
#include "fixture_sim/ReportFrame.h"

using namespace fixture_sim;
using fixture_sim::testing::DecodedReports;
using fixture_sim::testing::ReportLine;
using Bytes = std::vector<std::uint8_t>;

TEST(ReportFrame, LengthCountsTheWholeFrame) {
  for (std::size_t fields : {0u, 1u, 2u, 5u, 50u, 98u}) {
    const Bytes values(fields, 0x11);
    const Bytes frame = EncodeReportFrame(values);
    ASSERT_EQ(frame.size(), fields + 3);
    EXPECT_EQ(frame[0], 0xFA);
    EXPECT_EQ(frame[1], frame.size()) << fields << " fields";
    EXPECT_EQ(frame[2], 0xAA);
    EXPECT_EQ(Bytes(frame.begin() + 3, frame.end()), values);
  }
  EXPECT_THROW(EncodeReportFrame(Bytes(99, 0)), std::invalid_argument);
}

// The monitor's decoder reads back what the encoder wrote, field for field,
// even when the fields hold the start byte 0xFA.
TEST(ReportFrame, TheMonitorsDecoderReadsTheFramesBack) {
  const struct {
    Bytes fields;
    ReportLine line;
  } cases[] = {
      {{0x00, 0x01}, {"R00 - T01", monitor::kBlue}},
      {{0x03, 0x07}, {"R03 - T07", monitor::kGreen}},
      {{0x02, 0x05, 3, 0x05, 0x1C}, {"R02 - T05 - E05 03 (1C) ", monitor::kRed}},
      {{0x02, 0xFA, 200, 0xFA, 0xFA, 0xFA}, {"R02 - TFA - EFA 200 (FA) ", monitor::kRed}},
      {{0x05, 0x0A, 0, 1}, {"R05 - T0A", monitor::kGreen}},
      {{0x05, 0x0A, 0, 2}, {"R05 - T0A", monitor::kRed}},
  };
  DecodedReports reports;
  std::vector<ReportLine> expected;
  for (const auto& c : cases) {
    reports.Feed(EncodeReportFrame(c.fields));
    expected.push_back(c.line);
  }
  EXPECT_EQ(reports.lines, expected);
  EXPECT_EQ(reports.Pending(), 0);
  EXPECT_EQ(reports.labels, (std::vector<std::string>{"TESTANDO", "APROVADA", "REPROVADA"}));
}
