#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "app/DeviceCatalogue.h"
#include "app/gui/TMainForm.h"
#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"
#include "views/gui/TEditOption.h"

namespace {

QComboBox* List(TEditOption& e, int n) { return e.findChild<QComboBox*>(QString("ComboBox%1").arg(n)); }
QLabel* Caption(TEditOption& e, int n) { return e.findChild<QLabel*>(QString("StaticText%1").arg(n)); }

QStringList Items(QComboBox* box) {
  QStringList out;
  for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
  return out;
}

// What a user's pick in the drop-down does.
void Choose(QComboBox* box, const QString& text) {
  const int i = box->findText(text);
  ASSERT_GE(i, 0) << text.toStdString();
  box->setCurrentIndex(i);
  emit box->activated(i);
}

MainState SecondDevice() {
  MainState s;
  s.DeviceIndex = GetICInfo(s, "K7E2/E4");  // osc 1, OST 2, WDT 1, PED 1, security 2
  return s;
}

}  // namespace

TEST(TEditOptionTest, CaptionsListsAndGreyingFollowTheSchemes) {
  MainState s = SecondDevice();
  s.OptionLow = 0x6A;  // RC
  s.OptionHigh = 0x1E;  // word bit 7 clear: OST 0110b = 40mS; bit 13 clear: security Enable
  TEditOption e(s);
  EXPECT_EQ(e.windowTitle(), "Edit OPTION");
  EXPECT_EQ(Caption(e, 1)->text(), "Oscillator Type");
  EXPECT_EQ(Items(List(e, 1)), (QStringList{"Blank", "HF", "XT", "LF", "RC"}));
  EXPECT_EQ(List(e, 1)->currentText(), "RC");
  EXPECT_EQ(Caption(e, 2)->text(), "OST");
  EXPECT_EQ(List(e, 2)->currentText(), "40mS");
  EXPECT_EQ(List(e, 5)->currentText(), "Enable");
  EXPECT_EQ(Items(List(e, 5)), (QStringList{"Disable", "Enable"}));
  // PRD does not exist for this family.
  EXPECT_FALSE(List(e, 6)->isEnabled());
  EXPECT_FALSE(Caption(e, 6)->isEnabled());
  EXPECT_EQ(Items(List(e, 6)), (QStringList{"Blank", "Disable", "Enable"}));
  EXPECT_TRUE(List(e, 1)->isEnabled());
  auto* memo = e.findChild<QPlainTextEdit*>("Memo1");
  ASSERT_NE(memo, nullptr);
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_TRUE(memo->toPlainText().startsWith("PRD=Power Range Detect.\n         Don't enable PRD if"));

  // Other schemes: PB4 caption, PUT, MCLR; an unlisted code selects item 0.
  s.OscScheme = 3;
  s.OstScheme = 4;
  s.PrdScheme = 2;
  s.OptionLow = 0x00;
  TEditOption e2(s);
  EXPECT_EQ(Caption(e2, 1)->text(), "PB4 Type");
  EXPECT_EQ(List(e2, 1)->currentIndex(), 0);
  EXPECT_EQ(Caption(e2, 2)->text(), "PUT");
  EXPECT_EQ(Caption(e2, 6)->text(), "MCLR HI:");
  EXPECT_TRUE(List(e2, 6)->isEnabled());
}

TEST(TEditOptionTest, OkWritesTheChosenBitsCancelChangesNothing) {
  MainState s = SecondDevice();
  {
    TEditOption e(s);
    Choose(List(e, 1), "XT");
    Choose(List(e, 2), "20mS");
    Choose(List(e, 3), "Enable");
    Choose(List(e, 4), "Disable");
    Choose(List(e, 5), "Enable");
    EXPECT_EQ(s.OptionWord(), 0x3FFF);  // nothing before OK
    e.findChild<QPushButton*>("BitBtn2")->click();
    EXPECT_EQ(e.result(), QDialog::Rejected);
  }
  EXPECT_EQ(s.OptionWord(), 0x3FFF);
  EXPECT_EQ(s.RefreshPending, 0);

  TEditOption e(s);
  Choose(List(e, 1), "XT");      // bits 3..0 = 0110
  Choose(List(e, 2), "20mS");    // bits 7..4 = 1001
  Choose(List(e, 3), "Enable");  // bits 9..8 = 10
  Choose(List(e, 4), "Disable"); // bits 11..10 = 01
  Choose(List(e, 5), "Enable");  // bit 13 = 0
  e.findChild<QPushButton*>("BitBtn1")->click();
  EXPECT_EQ(e.result(), QDialog::Accepted);
  EXPECT_EQ(s.OptionWord(), 0x1696);
  EXPECT_EQ(s.RefreshPending, 1);
}

TEST(TEditOptionTest, MainWindowCommandsDecodeAndOpenTheEditor) {
  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form(prompts, clock);
  MainState& s = form.State();
  s.DeviceIndex = GetICInfo(s, "K7E1/E3");
  s.OptionLow = 0x00;
  form.RefreshData();
  EXPECT_EQ(s.OptionLow, 0x0A);
  EXPECT_FALSE(s.Panel.option[kOsc].enabled);
  EXPECT_EQ(s.Panel.Label11, "F800");

  // The editor is modal: answer it from the event loop.
  QTimer::singleShot(0, [] {
    auto* e = qobject_cast<TEditOption*>(QApplication::activeModalWidget());
    ASSERT_NE(e, nullptr);
    Choose(List(*e, 5), "Enable");
    e->findChild<QPushButton*>("BitBtn1")->click();
  });
  form.EditOPTIONClick();
  EXPECT_EQ(s.OptionHigh & 0x40, 0);
  EXPECT_EQ(s.RefreshPending, 1);
  EXPECT_EQ(form.findChild<TEditOption*>(), nullptr);  // freed after closing
}

// The help note reads whole without scrolling, at the default font and at a
// larger one, and takes the room a larger window gives.
TEST(TEditOptionTest, HelpTextFitsAndGrowsWithTheWindow) {
  for (int pointSize : {0, 14}) {
    MainState s = SecondDevice();
    TEditOption e(s);
    if (pointSize > 0) {
      QFont larger = e.font();
      larger.setPointSize(pointSize);
      e.setFont(larger);
    }
    e.show();
    QCoreApplication::processEvents();
    auto* memo = e.findChild<QPlainTextEdit*>("Memo1");
    ASSERT_NE(memo, nullptr);
    SCOPED_TRACE(pointSize);
    EXPECT_EQ(memo->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(memo->horizontalScrollBar()->maximum(), 0);
    EXPECT_TRUE(memo->toPlainText().endsWith("High level around 3.8V."));
    const QSize before = memo->size();
    e.resize(e.width() + 120, e.height() + 90);
    QCoreApplication::processEvents();
    EXPECT_GT(memo->width(), before.width());
    EXPECT_GT(memo->height(), before.height());
  }
}
