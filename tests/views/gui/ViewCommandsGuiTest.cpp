#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableView>

#include "app/DeviceCatalogue.h"
#include "app/gui/TMainForm.h"
#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"
#include "views/gui/ModalDialogs.h"
#include "views/gui/TEEDataForm.h"
#include "views/gui/TIDChecksumForm.h"
#include "views/gui/TMDIChild.h"

namespace {

class ViewCommands : public ::testing::Test {
 protected:
  template <class T>
  T* Only() {
    T* found = nullptr;
    int count = 0;
    for (QMdiSubWindow* w : form.MdiArea()->subWindowList()) {
      if (auto* t = qobject_cast<T*>(w)) {
        found = t;
        ++count;
      }
    }
    EXPECT_LE(count, 1);
    return found;
  }

  MainState& state() { return form.State(); }

  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form{prompts, clock};
};

}  // namespace

TEST_F(ViewCommands, ProgramMemoryOpensOnceAndClosingClearsBothFlags) {
  form.ProgramMemory1Click();
  auto* view = Only<TMDIChild>();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "Program Memory");
  EXPECT_EQ(state().MemoryWindowOpen, 1);

  form.ProgramMemory1Click();  // only brought forward
  EXPECT_EQ(Only<TMDIChild>(), view);
  EXPECT_EQ(form.MdiArea()->activeSubWindow(), view);

  state().DisassemblyWindowOpen = 1;
  view->close();
  EXPECT_EQ(state().MemoryWindowOpen, 0);
  EXPECT_EQ(state().DisassemblyWindowOpen, 0);
  FlushDeletes();
  EXPECT_EQ(Only<TMDIChild>(), nullptr);

  // After the user closed it the command opens a new one.
  state().CurrentFileName = "blink.qhx";
  form.ProgramMemory1Click();
  ASSERT_NE(Only<TMDIChild>(), nullptr);
  EXPECT_EQ(Only<TMDIChild>()->windowTitle(), "blink.qhx");
}

TEST_F(ViewCommands, RecreateOnlyWhenOpenAndKeepTheFlag) {
  form.RecreateMemoryView();
  form.RecreateIdWindow();
  form.RecreateEepromWindow();
  EXPECT_TRUE(form.MdiArea()->subWindowList().isEmpty());
  EXPECT_EQ(state().MemoryWindowOpen, 0);

  form.CreateMemoryView();
  auto* first = Only<TMDIChild>();
  first->move(30, 40);
  state().SetProgramWord(0, 0x1234);
  form.RecreateMemoryView();
  FlushDeletes();
  auto* second = Only<TMDIChild>();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(state().MemoryWindowOpen, 1);
  EXPECT_EQ(second->pos(), QPoint(30, 40));
  EXPECT_EQ(second->Model()->data(second->Model()->index(0, 0)).toString(), "1234");

  // The flag, not the window, decides: a re-create after a close opens nothing.
  second->close();
  form.RecreateMemoryView();
  FlushDeletes();
  EXPECT_EQ(Only<TMDIChild>(), nullptr);
}

TEST_F(ViewCommands, IdWindowFillsThePanelAndCloses) {
  state().IdBuffer[0] = 'Q';
  state().IdBuffer[1] = 0;
  form.ID2Click();
  auto* window = Only<TIDChecksumForm>();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(state().IdWindowOpen, 1);
  EXPECT_EQ(state().Panel.Label18, "Q");
  form.ID2Click();
  EXPECT_EQ(Only<TIDChecksumForm>(), window);

  state().IdBuffer[0] = 'R';
  form.RecreateIdWindow();
  EXPECT_EQ(state().Panel.Label18, "R");
  Only<TIDChecksumForm>()->close();
  EXPECT_EQ(state().IdWindowOpen, 0);
  FlushDeletes();
  EXPECT_EQ(Only<TIDChecksumForm>(), nullptr);
}

TEST_F(ViewCommands, EepromWindowOnlyForEepromDevices) {
  state().MemoryKind = 1;
  form.EEPROM1Click();
  EXPECT_EQ(Only<TEEDataForm>(), nullptr);
  EXPECT_EQ(state().EepromWindowOpen, 0);

  state().MemoryKind = 2;
  state().EepromTopHi = 0x00;
  state().EepromTopLo = 0x7F;
  form.EEPROM1Click();
  auto* window = Only<TEEDataForm>();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(state().EepromWindowOpen, 1);
  EXPECT_EQ(window->Model()->rowCount(), 8);
  form.EEPROM1Click();
  EXPECT_EQ(Only<TEEDataForm>(), window);

  form.DestroyEepromWindow();
  EXPECT_EQ(Only<TEEDataForm>(), nullptr);
  EXPECT_EQ(state().EepromWindowOpen, 0);
  form.DestroyEepromWindow();  // nothing left to destroy

  form.EEPROM1Click();
  Only<TEEDataForm>()->close();
  EXPECT_EQ(state().EepromWindowOpen, 0);
  FlushDeletes();
  EXPECT_EQ(Only<TEEDataForm>(), nullptr);
}
