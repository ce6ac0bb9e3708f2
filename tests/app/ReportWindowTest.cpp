// The "Ririred OZ" format in the window: report lines, colours and verdict.
#include <QCheckBox>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeUi.h"
#include "app/frRiriredOz.h"
#include "monitor/DescriptionFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct TempDir {
  TempDir() {
    path = std::filesystem::temp_directory_path() /
           ("riri-window-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::filesystem::path path;
};

struct ReportWindow {
  explicit ReportWindow(const std::filesystem::path& dir)
      : form(MakeOptions([this] { return now; }, dir)) {
    form.Settings().Formato = monitor::kFormatoRiriredOz;
  }
  static TfrmRiriredOz::Options MakeOptions(std::function<double()> clock,
                                            const std::filesystem::path& dir) {
    TfrmRiriredOz::Options options;
    options.timeOfDay = std::move(clock);
    options.programDir = dir;
    return options;
  }
  FakeUi ui;
  double now = 0.5;
  TfrmRiriredOz form;
};

constexpr double kSecond = 1.0 / 86400.0;

}  // namespace

TEST(ReportWindow, WorkedRunGivesColouredLinesAndTheVerdict) {
  TempDir dir;  // no RiriredOz.ini in it: every description is "***"
  ReportWindow w(dir.path);
  TfrmRiriredOz& f = w.form;
  f.ckbMostrarTempo->setChecked(true);

  f.PresentReceived(Bytes{0xFA, 0x05, 0xAA, 0x00, 0x01});
  EXPECT_EQ(f.lbResultado->text(), "TESTANDO");
  EXPECT_EQ(f.lbResultado->palette().color(QPalette::WindowText), QColor(0, 0, 255));

  w.now += 65 * kSecond;
  f.PresentReceived(Bytes{0xFA, 0x08, 0xAA, 0x02, 0x07, 0x03, 0x05, 0x1C});
  w.now += 25 * kSecond;
  f.PresentReceived(Bytes{0xFA, 0x07, 0xAA, 0x05, 0x01, 0x00, 0x01});

  monitor::LogStore& log = f.Log();
  ASSERT_EQ(log.LineCount(), 3u);
  EXPECT_EQ(log.LineText(0), "00:00 - *** - ***");
  EXPECT_EQ(log.LineText(1), "01:05 - *** - *** - *** 03 (1C) ");
  EXPECT_EQ(log.LineText(2), "01:30 - *** - ***");
  EXPECT_EQ(log.LineColour(0), monitor::kBlue);
  EXPECT_EQ(log.LineColour(1), monitor::kRed);
  EXPECT_EQ(log.LineColour(2), monitor::kGreen);
  EXPECT_EQ(f.lbResultado->text(), "APROVADA");
  EXPECT_EQ(f.lbResultado->palette().color(QPalette::WindowText), QColor(0, 128, 0));
  // And it is drawn in that colour.
  const QImage drawn = f.lbResultado->grab().toImage();
  int green = 0;
  for (int y = 0; y < drawn.height(); ++y) {
    for (int x = 0; x < drawn.width(); ++x) green += drawn.pixelColor(x, y) == QColor(0, 128, 0);
  }
  EXPECT_GT(green, 100);
}

TEST(ReportWindow, DescriptionsComeFromTheFileBesideTheProgram) {
  TempDir dir;
  {
    std::ofstream ini(dir.path / "RiriredOz.ini", std::ios::binary);
    ini << "[RESULTADOS]\r\n0x00=In\xED" "cio\r\n0x05=Final\r\n[TESTES]\r\n0x01=Tens\xE3o\r\n";
  }
  ReportWindow w(dir.path);
  TfrmRiriredOz& f = w.form;
  f.ckbAutoLimparLog->setChecked(true);
  f.PresentReceived(Bytes{1, 2, 3});  // idle bytes: nothing shown
  f.Settings().Formato = monitor::kFormatoDecimal;
  f.PresentReceived(Bytes{9});
  f.Settings().Formato = monitor::kFormatoRiriredOz;
  ASSERT_EQ(f.Log().LineCount(), 1u);
  f.PresentReceived(Bytes{0xFA, 0x05, 0xAA, 0x00, 0x01});
  ASSERT_EQ(f.Log().LineCount(), 1u) << "a test start clears the log first";
  EXPECT_EQ(f.Log().LineText(0), "In\xED" "cio - Tens\xE3o");
  f.PresentReceived(Bytes{0xFA, 0x07, 0xAA, 0x05, 0x01, 0x00, 0x02});
  EXPECT_EQ(f.Log().LineText(1), "Final - Tens\xE3o");
  EXPECT_EQ(f.lbResultado->text(), "REPROVADA");
  EXPECT_EQ(f.lbResultado->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST(ReportWindow, AfterCloseTheReleasedReaderIsNeverReached) {
  TempDir dir;
  {
    std::ofstream ini(dir.path / "RiriredOz.ini", std::ios::binary);
    ini << "[RESULTADOS]\n0x01=Andamento\n";
  }
  ReportWindow w(dir.path);
  TfrmRiriredOz& f = w.form;
  ASSERT_NE(f.MonitorIni(), nullptr);
  f.close();
  EXPECT_EQ(f.MonitorIni(), nullptr);
  f.PresentReceived(Bytes{0xFA, 0x05, 0xAA, 0x01, 0x01});
  ASSERT_EQ(f.Log().LineCount(), 1u);
  EXPECT_EQ(f.Log().LineText(0), "*** - ***");
}

TEST(ReportWindow, SwitchingTheFormatMidFrameContinuesTheSameFrame) {
  TempDir dir;
  ReportWindow w(dir.path);
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Bytes{0xFA, 0x05, 0xAA});
  f.Settings().Formato = monitor::kFormatoHexaDecimal;
  f.PresentReceived(Bytes{0x10});
  f.Settings().Formato = monitor::kFormatoRiriredOz;
  f.PresentReceived(Bytes{0x03, 0x01});
  ASSERT_EQ(f.Log().LineCount(), 2u);
  EXPECT_EQ(f.Log().LineText(0), "10 ");
  EXPECT_EQ(f.Log().LineText(1), "*** - ***");
  EXPECT_EQ(f.Log().LineColour(1), monitor::kGreen);
}
