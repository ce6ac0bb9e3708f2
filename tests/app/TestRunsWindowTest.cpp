// Test runs as records in the window: the counts beside the verdict, each
// run saved to the evidence folder through the port's receive path, a run
// cut by a disconnect, a folder that cannot be written, the log's context
// menu, and the find bar over a million lines, partly spilled to disk.
#include <QAction>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../cport/SharedFakeDevice.h"
#include "FakeUi.h"
#include "app/FindBar.h"
#include "app/LogView.h"
#include "app/frRiriredOz.h"
#include "cport/device/fake/FakeComDevice.h"
#include "fixture_sim/Script.h"
#include "fixture_sim/ScriptParser.h"
#include "monitor/log/RtfWriter.h"

namespace {

namespace fs = std::filesystem;
using cport::device::FakeComDevice;
using cport::testing::SharedFakeDevice;

// Three runs as the fixture plays them, with a byte of line noise between
// them: approved, rejected (a failure report on the way), approved.
constexpr const char* kThreeRuns[] = {
    "frame 0 1\nframe 1 1\nframe 3 1\nframe 5 0x0A 0 1\nbytes 07\n",
    "frame 0 2\nframe 2 5 3 5 0x1C\nframe 4 5\nframe 5 0x0A 0 2\n",
    "frame 0 3\nframe 3 3\nframe 5 0x0A 0 1\n",
};

std::string ScriptText(const char* script) {
  const auto bytes = fixture_sim::ScriptBytes(fixture_sim::ParseScript(script));
  return {bytes.begin(), bytes.end()};
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The files at their final names; with `all`, a save's temporary ones too.
std::vector<fs::path> Files(const QTemporaryDir& dir, bool all = false) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir.path().toStdString()))
    if (all || !e.path().filename().string().starts_with('.')) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string Rtf(const monitor::LogStore& log, std::size_t first, std::size_t last) {
  std::ostringstream out;
  monitor::WriteRtf(log.Snapshot(), out, {}, {first, 0, last, std::size_t(-1)});
  return out.str();
}

QString Plain(const QLabel* label) {
  QTextDocument doc;
  doc.setHtml(label->text());
  return doc.toPlainText();
}

struct PortWindow {
  QTemporaryDir dir;  // outlives the window, whose close writes what is queued
  PortWindow() : fake(std::make_shared<FakeComDevice>()), form(Options(fake)) {
    form.Settings().Formato = monitor::kFormatoRiriredOz;
    form.show();
  }
  static TfrmRiriredOz::Options Options(std::shared_ptr<FakeComDevice> fake) {
    TfrmRiriredOz::Options options;
    options.makeDevice = [fake] { return std::make_unique<SharedFakeDevice>(fake); };
    return options;
  }
  void Connect() {
    form.Serial().SetPort("ttyUSB0");
    form.bbtnConectar->click();
    ASSERT_TRUE(form.Serial().Connected());
  }
  // Plays a script into the port and waits until the log holds `lines`.
  bool Play(const char* script, std::size_t lines) {
    fake->PushReceived(ScriptText(script));
    return QTest::qWaitFor([&] { return form.Log().LineCount() >= lines; });
  }
  void ChooseFolder(const QString& folder) {
    ui.folderAnswer = folder;
    form.actSalvarCadaTeste->trigger();
  }
  FakeUi ui;
  std::shared_ptr<FakeComDevice> fake;
  TfrmRiriredOz form;
};

TEST(TestRunsWindow, ThreeRunsGiveTheCountsAndAFileEachHoldingExactlyThatRun) {
  PortWindow w;
  TfrmRiriredOz& f = w.form;
  const QTemporaryDir& dir = w.dir;
  w.ChooseFolder(dir.path());
  EXPECT_TRUE(f.actSalvarCadaTeste->isChecked());
  EXPECT_EQ(f.Settings().PastaEvidencias, dir.path().toStdString());
  w.Connect();
  // Each file holds its run as the log was when the verdict came (its colour
  // table then included).
  const std::size_t ends[] = {4, 8, 11};
  std::set<std::string> expected;
  std::string rejected_run;
  for (int run = 0; run < 3; ++run) {
    ASSERT_TRUE(w.Play(kThreeRuns[run], ends[run]));
    const std::size_t first = run == 0 ? 0 : ends[run - 1];
    expected.insert(Rtf(f.Log(), first, ends[run] - 1));
    if (run == 1) rejected_run = Rtf(f.Log(), first, ends[run] - 1);
  }
  ASSERT_EQ(f.Log().LineCount(), 11u);

  EXPECT_EQ(Plain(f.lbContagem), QString::fromUtf8("2 aprovadas · 1 reprovada"));
  EXPECT_TRUE(f.lbContagem->text().contains("#008000")) << f.lbContagem->text().toStdString();
  EXPECT_TRUE(f.lbContagem->text().contains("#ff0000"));
  EXPECT_LT(f.lbContagem->geometry().right(), f.lbResultado->geometry().left())
      << "the counts cover the verdict";
  EXPECT_EQ(f.lbResultado->text(), "APROVADA");

  ASSERT_TRUE(QTest::qWaitFor([&] { return Files(dir).size() == 3; }));
  std::set<std::string> written;
  int approved = 0, rejected = 0;
  const QRegularExpression name(
      "^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_(APROVADA|REPROVADA)(_\\d+)?\\.rtf$");
  for (const fs::path& file : Files(dir)) {
    const auto m = name.match(QString::fromStdString(file.filename().string()));
    ASSERT_TRUE(m.hasMatch()) << file;
    (m.captured(1) == "APROVADA" ? approved : rejected) += 1;
    written.insert(ReadFile(file));
    if (m.captured(1) == "REPROVADA") {
      EXPECT_EQ(ReadFile(file), rejected_run);
    }
  }
  EXPECT_EQ(approved, 2);
  EXPECT_EQ(rejected, 1);
  EXPECT_TRUE(written == expected) << "a file does not hold exactly its run";

  // "Limpar" keeps the counts; "Zerar contagem" resets them.
  f.btnLimpar->click();
  EXPECT_EQ(Plain(f.lbContagem), QString::fromUtf8("2 aprovadas · 1 reprovada"));
  f.actZerarContagem->trigger();
  EXPECT_EQ(Plain(f.lbContagem), "");
  ASSERT_TRUE(w.Play("frame 0 1\nframe 5 0x0A 0 1\n", 2));
  EXPECT_EQ(Plain(f.lbContagem), QString::fromUtf8("1 aprovada · 0 reprovadas"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Files(dir).size() == 4; }));

  // The log's context menu, in its order.
  std::unique_ptr<QMenu> menu(f.memSerial->createContextMenu(&f));
  QStringList texts;
  for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(texts.join('|'),
            QString::fromUtf8("Copiar|Selecionar tudo|Localizar…|Salvar seleção…|-|"
                              "Zerar contagem|Salvar cada teste em…|Mostrar sinais da linha"));
  EXPECT_TRUE(w.ui.errors.isEmpty() && w.ui.uncaught.isEmpty());
}

TEST(TestRunsWindow, ARunCutByADisconnectIsSavedAsInterruptedAndABadFolderIsReportedOnce) {
  PortWindow w;
  TfrmRiriredOz& f = w.form;
  const QTemporaryDir& dir = w.dir;
  w.ChooseFolder(dir.path());
  w.Connect();
  ASSERT_TRUE(w.Play("frame 0 1\nframe 1 1\n", 2));
  f.bbtnConectar->click();  // disconnect in the middle of the run
  ASSERT_TRUE(QTest::qWaitFor([&] { return Files(dir).size() == 1; }));
  const fs::path file = Files(dir)[0];
  EXPECT_TRUE(file.filename().string().ends_with("_INTERROMPIDA.rtf")) << file;
  EXPECT_EQ(ReadFile(file), Rtf(f.Log(), 0, 1));

  // A folder that is a file: reported once, and the option stays on.
  const fs::path plain = fs::path(dir.path().toStdString()) / "arquivo";
  std::ofstream(plain).put('x');
  f.Settings().PastaEvidencias = plain.string();
  w.Connect();
  ASSERT_TRUE(w.Play("frame 0 1\nframe 5 0 0 1\nframe 0 2\nframe 5 0 0 2\n", 6));
  // A run saved in a good folder after them: the saves go in order, so both
  // failures have been told by the time its file is there.
  f.Settings().PastaEvidencias = dir.path().toStdString();
  ASSERT_TRUE(w.Play("frame 0 3\nframe 5 0 0 1\n", 8));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Files(dir).size() == 3; }));
  QCoreApplication::processEvents();
  ASSERT_EQ(w.ui.errors.size(), 1) << w.ui.errors.join('\n').toStdString();
  EXPECT_TRUE(w.ui.errors[0].startsWith(QString::fromUtf8("Não foi possível salvar o teste")));
  EXPECT_TRUE(f.actSalvarCadaTeste->isChecked());
  EXPECT_EQ(Files(dir, true).size(), 3u) << "a temporary file was left";

  // Turned off from the menu.
  f.actSalvarCadaTeste->trigger();
  EXPECT_FALSE(f.actSalvarCadaTeste->isChecked());
  EXPECT_EQ(f.Settings().PastaEvidencias, "");
}

TEST(TestRunsWindow, FindingInAMillionLinesShowsTheMatchWithoutBlockingTheWindow) {
  QTemporaryDir spill;
  TfrmRiriredOz::Options options;
  options.logOptions.memory_bound = 256 << 10;
  options.logOptions.page_bytes = 64 << 10;
  options.logOptions.spill_directory = spill.path().toStdString();
  FakeUi ui;
  TfrmRiriredOz f(std::move(options));
  f.show();
  // Report-like lines, the match halfway: a search from the end goes round
  // the end and half a million lines to reach it.
  constexpr std::size_t kLines = 1000000, kMatch = kLines / 2;
  for (std::size_t i = 0; i < kLines; ++i) {
    f.Log().AppendLine(i == kMatch ? "Teste 07 - ERRO 0x1C na linha"
                                   : "Teste " + std::to_string(i % 100) + " - Tensao OK");
  }
  f.memSerial->contentsChanged();
  f.Log().SettleSpill();
  ASSERT_GT(f.Log().SpilledBytes(), 0u) << "the match is not on disk";
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.memSerial->isAtEnd(); }));

  // The event loop's longest block while the search runs: a 5 ms timer's
  // lateness.
  QElapsedTimer clock;
  qint64 last = 0, worst = 0;
  int ticks = 0;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    worst = std::max(worst, now - last);
    last = now;
    ++ticks;
  });
  QTest::keyClick(f.memSerial, Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(f.pnLocalizar->isVisible());
  QTest::keyClicks(f.pnLocalizar->edit(), "0X1c");
  clock.start();
  tick.start(5);
  QTest::keyClick(f.pnLocalizar->edit(), Qt::Key_Return);
  const bool stepped = f.pnLocalizar->searching();
  const int ticks_before = ticks;
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.pnLocalizar->searching(); }, 60000));
  worst = std::max(worst, clock.elapsed() - last);
  tick.stop();
  std::printf("find over %zu lines: %lld ms, longest block %lld ms, %d ticks\n",
              f.Log().LineCount(), static_cast<long long>(clock.elapsed()),
              static_cast<long long>(worst), ticks);
  ASSERT_TRUE(f.memSerial->hasSelection());
  EXPECT_EQ(f.memSerial->selectedText(), "0x1C");
  EXPECT_LE(f.memSerial->firstVisibleLine(), kMatch) << "the match is not in view";
  EXPECT_GT(f.memSerial->firstVisibleLine() + 10, kMatch) << "the match is not in view";
  if (stepped) {
    EXPECT_GT(ticks, ticks_before) << "the window did not run during the search";
  }
  EXPECT_LT(worst, 1000) << "a guard only: the search froze the window";
  EXPECT_FALSE(f.memSerial->followsEnd() && f.memSerial->isAtEnd());

  // Not there: Esc stops the search and the match stays selected; Esc again
  // closes the bar, and neither opens the setup dialog.
  f.pnLocalizar->edit()->setText("inexistente");
  QTest::keyClick(f.pnLocalizar->edit(), Qt::Key_Return);
  ASSERT_TRUE(f.pnLocalizar->searching()) << "a million lines in one step";
  QTest::keyClick(f.pnLocalizar->edit(), Qt::Key_Escape);
  EXPECT_FALSE(f.pnLocalizar->searching());
  EXPECT_EQ(f.memSerial->selectedText(), "0x1C");
  QTest::keyClick(f.pnLocalizar->edit(), Qt::Key_Escape);
  EXPECT_FALSE(f.pnLocalizar->isVisible());
  // F3 from the log: round again to the same, only match.
  f.pnLocalizar->edit()->setText("0x1C");
  f.pnLocalizar->matchCase()->setChecked(true);
  f.memSerial->selectText(kMatch + 5, 0, 1);
  QTest::keyClick(f.memSerial, Qt::Key_F3);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.pnLocalizar->searching(); }, 60000));
  EXPECT_EQ(f.memSerial->selectedText(), "0x1C");
  EXPECT_TRUE(ui.errors.isEmpty() && ui.uncaught.isEmpty());
}

}  // namespace
