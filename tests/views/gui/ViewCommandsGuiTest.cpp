#include <gtest/gtest.h>

#include <QComboBox>
#include <QItemSelectionModel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <functional>

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

namespace {

const DeviceRecord kSizes[] = {
    {"LARGE", 0x0F, 0xFF, 1, 2, 0x10, 0x00, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x7F, 0, 0, 0, 0},  // 512 rows
    {"SMALL", 0x00, 0xFF, 1, 2, 0x10, 0x00, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x7F, 0, 0, 0, 0},  // 32 rows
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// The program-memory view as a user leaves it: scrolled down, one word selected.
struct Scrolled {
  int top;
  QModelIndex cell;
};

Scrolled ScrollAndSelect(BufferGridForm* view, int row, int column) {
  view->Grid()->setCurrentIndex(view->Model()->index(row, column));
  view->Grid()->verticalScrollBar()->setValue(row - 3);
  return {view->Grid()->verticalScrollBar()->value(), view->Grid()->currentIndex()};
}

}  // namespace

// Re-creating a view after Fill Buffer, a read or a batch keeps where the
// user was, as far as the device's grid reaches.
TEST(ViewPlace, RecreatedGridsKeepScrollAndSelection) {
  ScopedDeviceTable table(kSizes);
  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form{prompts, clock};
  form.resize(1000, 700);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.EEPROM1Click();
  auto view = [&] { return form.findChild<TMDIChild*>(); };
  ASSERT_NE(view(), nullptr);
  ASSERT_EQ(view()->Model()->rowCount(), 512);
  const Scrolled before = ScrollAndSelect(view(), 300, 5);
  ASSERT_EQ(before.top, 297);

  // Every way a command re-creates the view.
  const std::pair<const char*, std::function<void()>> recreations[] = {
      {"RecreateMemoryView", [&] { form.RecreateMemoryView(); }},
      {"ClearBuffer1Click", [&] { form.ClearBuffer1Click(); }},
      {"CreateMemoryView", [&] { form.CreateMemoryView(); }},
  };
  for (const auto& [name, recreate] : recreations) {
    TMDIChild* old = view();
    recreate();
    FlushDeletes();
    ASSERT_NE(view(), old) << name;
    QCoreApplication::processEvents();
    EXPECT_EQ(view()->Grid()->verticalScrollBar()->value(), before.top) << name;
    EXPECT_EQ(view()->Grid()->currentIndex().row(), 300) << name;
    EXPECT_EQ(view()->Grid()->currentIndex().column(), 5) << name;
    EXPECT_TRUE(view()->Grid()->selectionModel()->isSelected(view()->Grid()->currentIndex())) << name;
  }

  // The EEPROM view too.
  auto* eeprom = form.findChild<TEEDataForm*>();
  ASSERT_NE(eeprom, nullptr);
  eeprom->Grid()->setCurrentIndex(eeprom->Model()->index(6, 2));
  form.RecreateEepromWindow();
  FlushDeletes();
  EXPECT_EQ(form.findChild<TEEDataForm*>()->Grid()->currentIndex().row(), 6);

  // A smaller device: the selected row is gone, the scroll stops at the end.
  form.findChild<QComboBox*>("ComboBox2")->setCurrentIndex(1);
  FlushDeletes();
  QCoreApplication::processEvents();
  ASSERT_EQ(view()->Model()->rowCount(), 32);
  EXPECT_TRUE(view()->Grid()->selectionModel()->selectedIndexes().isEmpty());
  EXPECT_EQ(view()->Grid()->verticalScrollBar()->value(), view()->Grid()->verticalScrollBar()->maximum());

  // Re-created behind another window, it stays behind.
  form.ID2Click();
  QMdiSubWindow* front = form.MdiArea()->activeSubWindow();
  ASSERT_NE(front, view());
  form.RecreateMemoryView();
  FlushDeletes();
  EXPECT_EQ(form.MdiArea()->activeSubWindow(), front);
}
