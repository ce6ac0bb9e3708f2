// The main window over a long log: "Salvar" in the background while bytes go
// on arriving, Cancel and closing during a save, a selection too large for
// the clipboard, and a spill file that cannot be written.
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "FakeUi.h"
#include "app/LogView.h"
#include "app/frRiriredOz.h"
#include "monitor/log/RtfWriter.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Window {
  explicit Window(TfrmRiriredOz::Options options = {}) : form(std::move(options)) { form.show(); }
  FakeUi ui;
  TfrmRiriredOz form;
};

// One line per byte in the "String" format.
Bytes Letters(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>('a' + i % 26);
  return bytes;
}

std::string Rtf(const monitor::LogSnapshot& log, const monitor::LogRange& range = {}) {
  std::ostringstream out;
  monitor::WriteRtf(log, out, {}, range);
  return out.str();
}

std::string ReadFile(const QString& path) {
  std::ifstream in(fs::path(path.toStdString()), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool Saving(TfrmRiriredOz& f) { return f.findChild<QDialog*>("dlgSalvando") != nullptr; }

// Neither the file nor a temporary one beside it.
bool Empty(const QTemporaryDir& dir) {
  return fs::is_empty(fs::path(dir.path().toStdString()));
}

TEST(LongLogWindow, ASaveWritesTheLogAsItWasAtTheClickWhileBytesGoOnArriving) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Letters(300000));
  const std::string expected = Rtf(f.Log().Snapshot());
  QTemporaryDir dir;
  w.ui.saveAnswer = dir.filePath("log.txt");
  f.btnSalvar->click();
  ASSERT_TRUE(Saving(f));
  f.btnSalvar->click();  // a second save is not started while one runs
  EXPECT_EQ(w.ui.saveAsks, 1);

  const Bytes batch(100, 'z');
  std::size_t batches = 0;
  QDeadlineTimer deadline(30000);
  while (Saving(f) && !deadline.hasExpired()) {
    f.PresentReceived(batch);
    ++batches;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  ASSERT_FALSE(Saving(f));
  EXPECT_EQ(f.Log().LineCount(), 300000 + batch.size() * batches);
  EXPECT_TRUE(ReadFile(dir.filePath("log.txt")) == expected) << "not the log at the click";
  EXPECT_TRUE(w.ui.uncaught.isEmpty());
}

TEST(LongLogWindow, CancelOrClosingTheWindowStopsASaveAndLeavesNoFile) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Letters(4000000));
  QTemporaryDir dir;
  w.ui.saveAnswer = dir.filePath("log.txt");
  f.btnSalvar->click();
  auto* cancel = f.findChild<QPushButton*>("btnCancelar");
  ASSERT_NE(cancel, nullptr);
  QTest::mouseClick(cancel, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Saving(f); }, 30000));
  EXPECT_TRUE(Empty(dir));

  f.btnSalvar->click();
  ASSERT_TRUE(Saving(f));
  f.close();  // cancels and waits for the save's thread
  EXPECT_FALSE(Saving(f));
  EXPECT_TRUE(Empty(dir));
  QCoreApplication::processEvents();
  EXPECT_TRUE(w.ui.uncaught.isEmpty() && w.ui.errors.isEmpty());
}

TEST(LongLogWindow, ASelectionTooLargeForTheClipboardIsOfferedForSaving) {
  Window w;
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Bytes{'a', 'b', 'c', 'd', 'e'});  // "a\nb\nc\nd\ne": 9 characters
  f.memSerial->setClipboardLimit(8);
  QGuiApplication::clipboard()->setText("antes");
  QTemporaryDir dir;
  w.ui.saveAnswer = dir.filePath("selecao.txt");
  w.ui.yesAnswer = true;
  QTest::keyClick(f.memSerial, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(f.memSerial, Qt::Key_C, Qt::ControlModifier);
  ASSERT_EQ(w.ui.questions.size(), 1);
  EXPECT_EQ(w.ui.questions[0], QString::fromUtf8("A seleção é grande demais para a área de "
                                                 "transferência (1 MB).\r\nSalvar a seleção "
                                                 "em um arquivo?"));
  ASSERT_EQ(w.ui.saveAsks, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Saving(f); }));
  EXPECT_EQ(ReadFile(dir.filePath("selecao.txt")), Rtf(f.Log().Snapshot(), {0, 0, 4, 1}));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "antes");

  f.memSerial->setClipboardLimit(9);  // at the limit: copied
  QTest::keyClick(f.memSerial, Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return QGuiApplication::clipboard()->text() == QString("a\nb\nc\nd\ne"); }));
  EXPECT_EQ(w.ui.questions.size(), 1);
}

TEST(LongLogWindow, ASpillFileThatCannotBeWrittenIsReportedOnceAndTheSelectionGoes) {
  QTemporaryDir dir;
  { std::ofstream(dir.filePath("plain").toStdString()); }
  TfrmRiriredOz::Options options;
  options.logOptions.memory_bound = 4096;
  options.logOptions.page_bytes = 1024;
  options.logOptions.spill_directory = fs::path(dir.filePath("plain").toStdString()) / "spill";
  Window w(std::move(options));
  TfrmRiriredOz& f = w.form;
  f.PresentReceived(Letters(100));
  f.memSerial->selectAll();
  ASSERT_TRUE(f.memSerial->hasSelection());

  f.PresentReceived(Letters(20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.ui.errors.isEmpty(); }));
  EXPECT_TRUE(w.ui.errors[0].startsWith(
      QString::fromUtf8("Não foi possível guardar o registro em disco: ")));
  EXPECT_TRUE(w.ui.errors[0].endsWith(
      QString::fromUtf8("Not a directory.\r\nAs linhas mais antigas foram descartadas.")));
  EXPECT_EQ(w.ui.errors.size(), 1);
  // The lines it covered were dropped: those after them moved up.
  EXPECT_FALSE(f.memSerial->hasSelection());
}

}  // namespace
