// The setup dialog's captions show whole in English and Brazilian
// Portuguese, at this machine's font and at a larger one.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QTest>

#include <filesystem>
#include <string>

#include "CaptionCheck.h"
#include "SetupTestSupport.h"
#include "app/Translation.h"

namespace cport::testing {
namespace {

TEST(SetupDialogCaptions, ShowWholeInBothLanguagesAndAtALargerFont) {
  ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(RIRIRED_BINARY_DIR) / "locale" /
                                      "pt_BR" / "LC_MESSAGES" / "cport.mo"))
      << "build the catalogues target";
  FedPortNames names({"ttyS0", "ttyUSB0"});
  for (const std::string language : {"en", "pt_BR"}) {
    SCOPED_TRACE(language);
    SetUpTranslation(RIRIRED_BINARY_DIR, language);
    TComSetupFrm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(caption_check::CaptionFaults(form), "");

    const qreal points = QFontInfo(form.Label6->font()).pointSizeF();
    caption_check::EnlargeFont(form, 2);
    EXPECT_GT(QFontInfo(form.Label6->font()).pointSizeF(), points + 1);
    EXPECT_EQ(caption_check::SettledFaults(form), "");
    // The lists stay one column; the dialog keeps a fixed border.
    for (TComComboBox* box : form.Combos()) EXPECT_EQ(box->x(), form.Combo1->x());
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
  }
  SetUpTranslation(RIRIRED_BINARY_DIR, "en");
}

}  // namespace
}  // namespace cport::testing
