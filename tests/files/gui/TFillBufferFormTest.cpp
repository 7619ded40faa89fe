#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/DeviceCatalogue.h"
#include "app/gui/TMainForm.h"
#include "files/gui/TDisassembleForm.h"
#include "files/gui/TFillBufferForm.h"
#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"
#include "views/gui/TMDIChild.h"

namespace {

QLineEdit* Edit(QWidget& w, int n) { return w.findChild<QLineEdit*>(QString("Edit%1").arg(n)); }

struct FillFixture : testing::Test {
  void SetUp() override { s.DeviceIndex = GetICInfo(s, "K7E1/E3"); }
  ScriptedPrompts prompts;
  MainState s;
};

}  // namespace

TEST_F(FillFixture, StartsWithTheWholeDeviceAndTakesHexKeysOnly) {
  TFillBufferForm f(s, prompts);
  EXPECT_EQ(f.windowTitle(), "Fill Buffer");
  EXPECT_EQ(Edit(f, 1)->text(), "0");
  EXPECT_EQ(Edit(f, 2)->text(), "3FF");
  EXPECT_EQ(Edit(f, 3)->text(), "3FFF");
  QLineEdit* data = Edit(f, 3);
  data->clear();
  QTest::keyClicks(data, "1g-z2aF7");
  EXPECT_EQ(data->text(), "12aF");  // other keys dropped, four characters at most
  QTest::keyClick(data, Qt::Key_Backspace);
  EXPECT_EQ(data->text(), "12a");
}

TEST_F(FillFixture, OkFillsAndSumsOrShowsTheErrorAndClosesEitherWay) {
  {
    TFillBufferForm f(s, prompts);
    Edit(f, 1)->setText("10");
    Edit(f, 2)->setText("10");
    Edit(f, 3)->setText("1234");
    f.findChild<QPushButton*>("BitBtn1")->click();
    EXPECT_EQ(f.result(), QDialog::Accepted);
  }
  EXPECT_EQ(s.ProgramWord(0x10), 0x1234);
  EXPECT_NE(s.Panel.Label11, "Blank");
  EXPECT_TRUE(prompts.messages.empty());

  TFillBufferForm f(s, prompts);
  Edit(f, 1)->setText("20");
  Edit(f, 2)->setText("10");
  f.findChild<QPushButton*>("BitBtn1")->click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "Start address is a invalid value!");
  EXPECT_EQ(prompts.messages[0].caption, "Error");
  EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
  EXPECT_EQ(f.result(), QDialog::Accepted);
  EXPECT_EQ(s.ProgramWord(0x10), 0x1234);
}

TEST(FillCommand, CancelStillRecomputesTheChecksumsAndClosesTheListing) {
  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form(prompts, clock);
  MainState& s = form.State();
  s.DeviceIndex = GetICInfo(s, "K7E2/E4");
  // Closing the program-memory view clears the listing's flag, not the listing.
  form.ProgramMemory1Click();
  form.Disassemble1Click();
  auto* view = form.MdiArea()->findChild<TMDIChild*>();
  ASSERT_NE(view, nullptr);
  view->close();
  ASSERT_EQ(s.DisassemblyWindowOpen, 0);
  ASSERT_NE(form.MdiArea()->findChild<TDisassembleForm*>(), nullptr);
  QTimer::singleShot(0, [] {
    auto* f = qobject_cast<TFillBufferForm*>(QApplication::activeModalWidget());
    ASSERT_NE(f, nullptr);
    f->findChild<QPushButton*>("BitBtn2")->click();
  });
  form.FillBuffer1Click();
  EXPECT_EQ(s.Panel.Label11, "F800");
  EXPECT_EQ(form.findChild<TFillBufferForm*>(), nullptr);
  EXPECT_EQ(form.MdiArea()->findChild<TDisassembleForm*>(), nullptr);
  EXPECT_EQ(s.DisassemblyWindowOpen, 0);
}
