// The main window's captions show whole at this machine's font and at a
// larger one, connected or not.
#include <QCheckBox>
#include <QFontInfo>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "../cport/setup/CaptionCheck.h"
#include "FakeUi.h"
#include "app/frRiriredOz.h"
#include "cport/port/ComPort.h"

namespace {

TEST(MainWindowCaptions, ShowWholeConnectedOrNotAndAtALargerFont) {
  FakeUi ui;
  TfrmRiriredOz form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(caption_check::CaptionFaults(form), "");

  // The connect button's other caption, as the port's open event sets it.
  form.Serial().OnAfterOpen(form.Serial());
  ASSERT_EQ(form.bbtnConectar->text(), "&Desconectar");
  EXPECT_EQ(caption_check::SettledFaults(form), "");

  const qreal points = QFontInfo(form.ckbAutoPageDown->font()).pointSizeF();
  caption_check::EnlargeFont(form, 2);
  EXPECT_GT(QFontInfo(form.ckbAutoPageDown->font()).pointSizeF(), points + 1);
  EXPECT_EQ(caption_check::SettledFaults(form), "");
}

}  // namespace
