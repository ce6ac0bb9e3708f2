// The line as it happens, through the window over the in-memory device: a
// burst of bytes, a break, a parity error and the ring indicator going up
// and down reach the log in order as marked lines, are saved with it, light
// the lamps, and the modem lines stay out of the log when the operator says
// so.
#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../cport/SharedFakeDevice.h"
#include "FakeUi.h"
#include "app/PortStatusPanel.h"
#include "app/frRiriredOz.h"
#include "cport/device/LineFlags.h"
#include "monitor/LineMarks.h"
#include "monitor/log/RtfWriter.h"

namespace {

using namespace cport::device;
using cport::testing::SharedFakeDevice;

std::vector<std::string> Lines(monitor::LogStore& log) {
  std::vector<std::string> lines;
  log.ForEachLine(0, log.LineCount(), [&](std::string_view t, monitor::Rgb) { lines.emplace_back(t); });
  return lines;
}

TEST(LineEvents, BytesBreaksErrorsAndTheRingShowInOrderAndAreSaved) {
  auto fake = std::make_shared<FakeComDevice>();
  TfrmRiriredOz::Options options;
  options.makeDevice = [fake] { return std::make_unique<SharedFakeDevice>(fake); };
  // 14:03:07.120
  options.timeOfDay = [] { return (14 * 3600 + 3 * 60 + 7.120) / 86400.0; };
  FakeUi ui;
  TfrmRiriredOz f(options);
  f.show();
  EXPECT_EQ(f.pnPortStatus->portText(), "desconectada");
  f.Serial().SetPort("ttyUSB0");
  f.Serial().Parity().SetCheck(true);
  f.bbtnConectar->click();
  ASSERT_TRUE(f.Serial().Connected());
  EXPECT_EQ(f.pnPortStatus->portText(), "ttyUSB0 9600 8N1");

  auto step = [&](auto&& act, std::size_t lines) {
    act();
    return QTest::qWaitFor([&] { return f.Log().LineCount() >= lines; });
  };
  ASSERT_TRUE(step([&] { fake->PushReceived("AB"); }, 2));
  ASSERT_TRUE(step([&] {
    fake->AddLineErrors(kCeBreak);
    fake->RaiseLineEvents(kEvBreak | kEvErr);
  }, 3));
  ASSERT_TRUE(step([&] {
    fake->AddLineErrors(kCeRxParity);
    fake->RaiseLineEvents(kEvErr);
  }, 4));
  ASSERT_TRUE(step([&] {
    fake->SetModemStatus(kMsRingOn);
    fake->RaiseLineEvents(kEvRing);
  }, 5));
  EXPECT_TRUE(f.pnPortStatus->lit().Contains(cport::LineSignal::lsRing));
  ASSERT_TRUE(step([&] {
    fake->SetModemStatus(0);
    fake->RaiseLineEvents(kEvRing);
  }, 6));
  ASSERT_TRUE(step([&] { fake->PushReceived("C"); }, 7));
  EXPECT_FALSE(f.pnPortStatus->lit().Contains(cport::LineSignal::lsRing));

  const std::vector<std::string> expected = {
      "A", "B", "\x97 BREAK 14:03:07.120 \x97", "\x97 erro de paridade 14:03:07.120 \x97",
      "\x97 RING ativo 14:03:07.120 \x97", "\x97 RING inativo 14:03:07.120 \x97", "C"};
  EXPECT_EQ(Lines(f.Log()), expected);
  EXPECT_EQ(f.Log().LineColour(2), monitor::kMarkColour);
  EXPECT_EQ(f.Log().LineColour(6), monitor::kBlue) << "received bytes keep the log's colour";
  std::ostringstream rtf;
  monitor::WriteRtf(f.Log(), rtf);
  EXPECT_NE(rtf.str().find("\\'97 BREAK 14:03:07.120 \\'97\\par"), std::string::npos);
  EXPECT_NE(rtf.str().find("\\red128\\green0\\blue128;"), std::string::npos);

  // Unticked in the log's menu: the lamps still follow the line, the log
  // shows only bytes and line errors.
  f.actMostrarSinais->trigger();
  ASSERT_FALSE(f.Settings().MostrarSinais);
  fake->SetModemStatus(kMsRingOn);
  fake->RaiseLineEvents(kEvRing);
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.pnPortStatus->lit().Contains(cport::LineSignal::lsRing); }));
  ASSERT_TRUE(step([&] { fake->PushReceived("D"); }, 8));
  EXPECT_EQ(Lines(f.Log()).back(), "D");
  EXPECT_EQ(f.Log().LineCount(), 8u);

  // The operator's own close is no loss.
  f.bbtnConectar->click();
  EXPECT_EQ(f.pnPortStatus->portText(), "desconectada");
  EXPECT_EQ(f.Log().LineCount(), 8u);
  EXPECT_TRUE(ui.uncaught.isEmpty()) << ui.uncaught.join("\n").toStdString();
}

}  // namespace
