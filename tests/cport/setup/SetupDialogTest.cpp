// The setup dialog's form: layout, texts in English and Brazilian
// Portuguese, tab order and keys.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <string>

#include "SetupTestSupport.h"
#include "app/Translation.h"
#include "cport/setup/FormTranslation.h"

namespace cport::testing {
namespace {

QString TextOf(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QPushButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  return {};
}

TEST(TComSetupFrm, LayoutAsDesigned) {
  FedPortNames names({"ttyS0"});
  TComSetupFrm form;
  EXPECT_EQ(form.size(), QSize(231, 216));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());  // a fixed dialog border
  EXPECT_EQ(form.windowTitle(), "Setup");

  const struct {
    const char* name;
    const char* parent;
    QRect geometry;  // a width or height of 0 is not checked
    const char* text;
  } cases[] = {
      {"GroupBox1", "ComSetupFrm", {8, 8, 217, 169}, " Settings "},
      {"Label1", "GroupBox1", {8, 24, 0, 0}, "Port"},
      {"Label2", "GroupBox1", {8, 48, 0, 0}, "Baud rate"},
      {"Label3", "GroupBox1", {8, 72, 0, 0}, "Data bits"},
      {"Label4", "GroupBox1", {8, 96, 0, 0}, "Stop bits"},
      {"Label5", "GroupBox1", {8, 120, 0, 0}, "Parity"},
      {"Label6", "GroupBox1", {8, 144, 0, 0}, "Flow control"},
      {"Combo1", "GroupBox1", {80, 16, 129, 0}, ""},
      {"Combo2", "GroupBox1", {80, 40, 129, 0}, ""},
      {"Combo3", "GroupBox1", {80, 64, 129, 0}, ""},
      {"Combo4", "GroupBox1", {80, 88, 129, 0}, ""},
      {"Combo5", "GroupBox1", {80, 112, 129, 0}, ""},
      {"Combo6", "GroupBox1", {80, 136, 129, 0}, ""},
      {"Button1", "ComSetupFrm", {70, 184, 75, 25}, "OK"},
      {"Button2", "ComSetupFrm", {150, 184, 75, 25}, "Cancel"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto* w = form.findChild<QWidget*>(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), c.parent);
    EXPECT_EQ(w->pos(), c.geometry.topLeft());
    if (c.geometry.width() > 0) {
      EXPECT_EQ(w->width(), c.geometry.width());
    }
    if (c.geometry.height() > 0) {
      EXPECT_EQ(w->height(), c.geometry.height());
    }
    EXPECT_EQ(TextOf(w), c.text);
    if (qobject_cast<QLabel*>(w)) {
      EXPECT_LE(w->x() + w->sizeHint().width(), form.Combo1->x());
    }
  }

  const std::array<TComProperty, 6> settings = {
      TComProperty::cpPort,     TComProperty::cpBaudRate, TComProperty::cpDataBits,
      TComProperty::cpStopBits, TComProperty::cpParity,   TComProperty::cpFlowControl};
  for (std::size_t i = 0; i < 6; ++i) {
    TComComboBox* box = form.Combos()[i];
    EXPECT_EQ(box->objectName(), QString("Combo%1").arg(i + 1));
    EXPECT_EQ(box->ComProperty(), settings[i]);
    EXPECT_FALSE(box->AutoApply());
    EXPECT_EQ(box->ComPort(), nullptr);
    EXPECT_EQ(box->currentIndex(), 0);
  }

  // Tab order: the six lists, then OK and Cancel.
  QWidget* w = form.Combo1;
  for (QWidget* next : {static_cast<QWidget*>(form.Combo2), static_cast<QWidget*>(form.Combo3),
                        static_cast<QWidget*>(form.Combo4), static_cast<QWidget*>(form.Combo5),
                        static_cast<QWidget*>(form.Combo6), static_cast<QWidget*>(form.Button1),
                        static_cast<QWidget*>(form.Button2)}) {
    w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
    EXPECT_EQ(w, next) << w->objectName().toStdString();
  }
}

TEST(TComSetupFrm, EnterPressesOkAndEscapePressesNothing) {
  FedPortNames names({"ttyS0"});
  TComSetupFrm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_TRUE(form.Button1->isDefault());
  EXPECT_FALSE(form.Button2->isDefault());

  QTest::keyClick(form.Combo3, Qt::Key_Escape);
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.result(), 0);

  QTest::keyClick(form.Combo3, Qt::Key_Return);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
}

// The program's translation set-up with the catalogues the build puts
// beside the executable; English again afterwards.
class TranslatedSetupForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(RIRIRED_BINARY_DIR) / "locale" /
                                        "pt_BR" / "LC_MESSAGES" / "cport.mo"))
        << "build the catalogues target";
    SetUpTranslation(RIRIRED_BINARY_DIR, TranslationLanguage("pt_BR.UTF-8", ""));
  }
  void TearDown() override { SetUpTranslation(RIRIRED_BINARY_DIR, "en"); }
};

TEST_F(TranslatedSetupForm, TextsFollowTheCportCatalogueAndTheListsStayData) {
  FedPortNames names({"ttyS0"});
  TComSetupFrm form;
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Configuração"));
  const struct {
    QWidget* widget;
    const char* text;
  } cases[] = {
      {form.GroupBox1, " Configurações "}, {form.Label1, "Porta"},
      {form.Label2, "Velocidade"},         {form.Label3, "Dados"},
      {form.Label4, "Parada"},             {form.Label5, "Paridade"},
      {form.Label6, "Fluxo"},              {form.Button1, "OK"},
      {form.Button2, "Cancelar"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextOf(c.widget), QString::fromUtf8(c.text));
    // Every label still ends before the lists begin.
    if (qobject_cast<QLabel*>(c.widget)) {
      EXPECT_LE(c.widget->x() + c.widget->sizeHint().width(), form.Combo1->x()) << c.text;
    }
  }
  EXPECT_EQ(form.Combo2->itemText(0), "Custom");
  EXPECT_EQ(form.Combo5->itemText(0), "None");

  SetUpTranslation(RIRIRED_BINARY_DIR, "en");
  TComSetupFrm english;
  EXPECT_EQ(english.windowTitle(), "Setup");
  EXPECT_EQ(english.Label6->text(), "Flow control");
  EXPECT_EQ(english.Button2->text(), "Cancel");
}

TEST_F(TranslatedSetupForm, ExcludedWidgetsKeepTheirTextsWithEverythingInside) {
  QWidget form;
  form.setWindowTitle("Setup");
  auto* kept = new QComboBox(&form);
  kept->setObjectName("Kept");
  kept->addItems({"Port", "Parity"});
  auto* data = new QComboBox(&form);
  data->setObjectName("Data");
  data->addItems({"Port", "Parity"});
  auto* group = new QGroupBox("Parity", &form);
  group->setObjectName("Group");
  auto* inside = new QLabel("Port", group);
  auto* untranslated = new QLabel("Not in the catalogue", &form);
  auto* empty = new QLabel(&form);

  TranslateFormTexts(form, "cport", {"Data", "Group"});

  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Configuração"));
  EXPECT_EQ(kept->itemText(0), "Porta");
  EXPECT_EQ(kept->itemText(1), "Paridade");
  EXPECT_EQ(data->itemText(0), "Port");
  EXPECT_EQ(group->title(), "Parity");
  EXPECT_EQ(inside->text(), "Port");
  EXPECT_EQ(untranslated->text(), "Not in the catalogue");
  EXPECT_EQ(empty->text(), "");  // not the catalogue's header
}

}  // namespace
}  // namespace cport::testing
