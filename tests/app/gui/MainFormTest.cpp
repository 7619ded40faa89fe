#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QWheelEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/DeviceCatalogue.h"
#include "app/gui/QtPrompts.h"
#include "app/gui/TMainForm.h"
#include "link/Clock.h"
#include "support/ScratchDir.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"
#include "views/gui/ModalDialogs.h"

namespace {

// Each test starts the window in a fresh empty directory of its own.
class MainFormTest : public ::testing::Test {
 protected:
  void TearDown() override { form_.reset(); }

  TMainForm& Form() {
    if (!form_) form_ = std::make_unique<TestMainForm>(prompts_, clock_);
    return *form_;
  }
  template <typename T>
  T* Find(const char* name) {
    // The window's own control: views in the MDI area reuse control names.
    for (T* w : Form().findChildren<T*>(name)) {
      bool inView = false;
      for (QObject* o = w; o && !inView; o = o->parent()) inView = o == Form().MdiArea();
      if (!inView) return w;
    }
    ADD_FAILURE() << "no control " << name;
    return nullptr;
  }
  QString Text(const char* label) { return Find<QLabel>(label)->text(); }

  // Records the handler names the window runs, without running them.
  std::vector<std::string> RecordCommands() {
    ran_.clear();
    Form().SetCommandHook([this](const char* name) { ran_.push_back(name); }, false);
    return ran_;
  }

  ScratchDir scratch_{"mainform"};
  const std::filesystem::path& oldDir_ = scratch_.Before();
  const std::filesystem::path& dir_ = scratch_.Path();
  ScriptedPrompts prompts_;
  FakeClock clock_;
  std::unique_ptr<TMainForm> form_;
  std::vector<std::string> ran_;
};

TEST_F(MainFormTest, TitleToolBarSelectorsAndInitialPanel) {
  TMainForm& form = Form();
  EXPECT_EQ(form.windowTitle(), "Writer V2.63");

  auto* port = Find<QComboBox>("ComboBox1");
  ASSERT_EQ(port->count(), 8);
  EXPECT_EQ(port->itemText(0), "Com1");
  EXPECT_EQ(port->itemText(7), "Com8");
  EXPECT_EQ(form.PortChoice(), "Com1");
  auto* hand = Find<QComboBox>("HandShake");
  ASSERT_EQ(hand->count(), 3);
  EXPECT_EQ(hand->itemText(1), "CTS");

  // Spot values of the panel as it starts: captions, the blank ID and count,
  // and the modes off.
  const std::pair<const char*, const char*> texts[] = {{"StaticText2", "OSC Type:"},
                                                       {"Label18", "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F"},
                                                       {"Label13", "0"},
                                                       {"Label1", "Disable"},
                                                       {"Label19", "Disable"}};
  for (auto [name, text] : texts) EXPECT_EQ(Text(name), text) << name;
  EXPECT_EQ(Find<QGroupBox>("GroupBox5")->title(), "Serial No. (HEX) :");
  EXPECT_TRUE(Find<QLabel>("Label13")->alignment() & Qt::AlignRight);
  EXPECT_EQ(Find<QLabel>("Label11")->toolTip(), "Checksum for data");

  EXPECT_EQ(form.PulseWidthEdit()->text(), "5");
  EXPECT_EQ(form.EraseWidthEdit()->text(), "120");
  EXPECT_FALSE(form.PulseWidthVisible());
  EXPECT_TRUE(Find<QLabel>("StaticText12")->isHidden());
  for (const char* hidden : {"Erase", "WriteEE", "ToolButton23", "SpeedButton1"})
    EXPECT_FALSE(form.CommandAction(hidden)->isVisible()) << hidden;
  EXPECT_EQ(Find<QToolButton>("ToolButton6")->toolTip(), "Blank Check");
  EXPECT_FALSE(Find<QToolButton>("ToolButton12")->icon().isNull());

  auto* timer = Find<QTimer>("Timer1");
  EXPECT_EQ(timer->interval(), 500);
  EXPECT_TRUE(timer->isActive());
}

TEST_F(MainFormTest, StartsWithoutDefaultCfgOnTheFirstDeviceWithBlankBuffers) {
  TMainForm& form = Form();
  MainState& s = form.State();
  auto* devices = Find<QComboBox>("ComboBox2");
  ASSERT_EQ(devices->count(), 2);
  EXPECT_EQ(devices->itemText(0), "K7E1/E3");
  EXPECT_EQ(devices->itemText(1), "K7E2/E4");
  EXPECT_EQ(form.DeviceListText(), "K7E1/E3");
  EXPECT_EQ(s.DeviceIndex, 0);
  EXPECT_EQ(s.ProgramBytes, 2048);
  EXPECT_TRUE(std::all_of(s.ProgramBuffer.begin(), s.ProgramBuffer.end(), [](auto b) { return b == 0x7F; }));
  EXPECT_TRUE(std::all_of(s.IdBuffer.begin(), s.IdBuffer.end(), [](auto b) { return b == 0x7F; }));
  EXPECT_TRUE(std::all_of(s.EepromBuffer.begin(), s.EepromBuffer.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(s.OptionWord(), 0x2FFA);  // 7F 7F under the first device's masks
  EXPECT_EQ(std::filesystem::path(s.StartDir), dir_);
  EXPECT_EQ(std::filesystem::path(s.CfgPath), dir_ / "Default.cfg");
  EXPECT_EQ(s.StartupLoad, 0);
  EXPECT_FALSE(s.Shown);
  EXPECT_TRUE(prompts_.messages.empty());
  // The built-in devices have no data EEPROM.
  EXPECT_FALSE(form.CommandAction("EEPROM1")->isEnabled());
  EXPECT_FALSE(form.CommandAction("ClearEEPROMBuffer1")->isEnabled());
}

TEST_F(MainFormTest, EveryShortCutReachesItsHandlerOnceAndCtrlNDoesNothing) {
  TMainForm& form = Form();
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  RecordCommands();

  const std::pair<QKeySequence, const char*> keys[] = {
      {Qt::Key_F4, "EditOPTIONClick"},       {Qt::Key_F5, "BlankCheckActionExecute"},
      {Qt::Key_F6, "ToolButton7Click"},      {Qt::Key_F7, "Veryfy1Click"},
      {Qt::Key_F8, "AutoProgram1Click"},     {Qt::Key_F9, "AutoProgramwithoutBlankCheck1Click"},
      {QKeySequence("Ctrl+L"), "LoadConfig1Click"}, {QKeySequence("Ctrl+S"), "FileSaveItemClick"},
      {QKeySequence("Ctrl+F"), "FillBuffer1Click"}};
  for (auto [key, handler] : keys) {
    ran_.clear();
    QTest::keySequence(&form, key);
    EXPECT_EQ(ran_, std::vector<std::string>{handler}) << key.toString().toStdString();
  }
  ran_.clear();
  QTest::keySequence(&form, QKeySequence("Ctrl+N"));
  EXPECT_TRUE(ran_.empty());
}

TEST_F(MainFormTest, EveryMenuItemAndToolButtonRunsItsHandler) {
  TMainForm& form = Form();
  RecordCommands();
  for (const TMainForm::Command& c : TMainForm::Commands()) {
    if (c.handler == nullptr) continue;
    QAction* action = form.CommandAction(c.item);
    ASSERT_NE(action, nullptr) << c.item;
    if (c.action) {
      EXPECT_EQ(form.CommandAction(c.action), action) << c.action;
    }
    if (c.menu) {
      auto* menu = form.menuBar()->findChild<QMenu*>(c.menu);
      ASSERT_NE(menu, nullptr) << c.menu;
      EXPECT_TRUE(menu->actions().contains(action)) << c.item;
    }
    if (c.toolButton) {
      auto* button = form.findChild<QToolButton*>(c.toolButton);
      ASSERT_NE(button, nullptr) << c.toolButton;
      EXPECT_EQ(button->defaultAction(), action) << c.toolButton;
    }
    action->setEnabled(true);
    ran_.clear();
    action->trigger();
    EXPECT_EQ(ran_, std::vector<std::string>{c.handlerName}) << c.item;
  }
}

TEST_F(MainFormTest, PanelDoubleClicksOpenTheirCommands) {
  TMainForm& form = Form();
  form.show();
  RecordCommands();
  const std::pair<const char*, const char*> clicks[] = {
      {"StaticText2", "EditOPTIONClick"}, {"Label10", "EditOPTIONClick"},
      {"Label11", "EditOPTIONClick"},     {"StaticText8", "EditOPTIONClick"},
      {"GroupBox2", "EditOPTIONClick"},   {"GroupBox3", "ID2Click"},
      {"Label18", "ID2Click"},            {"GroupBox4", "CounterMode1Click"},
      {"Label17", nullptr},               {"ProtectSum", nullptr},
      {"Label13", "CounterMode1Click"},   {"Label15", nullptr}};
  for (auto [name, handler] : clicks) {
    ran_.clear();
    QTest::mouseDClick(Find<QWidget>(name), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(ran_, handler ? std::vector<std::string>{handler} : std::vector<std::string>{}) << name;
  }
}

TEST_F(MainFormTest, Label3DoubleClickTogglesTheForceWriteButton) {
  TMainForm& form = Form();
  QAction* forceWrite = form.CommandAction("ToolButton23");
  auto* label = Find<QLabel>("Label3");
  QTest::mouseDClick(label, Qt::LeftButton);
  EXPECT_TRUE(forceWrite->isVisible());
  QTest::mouseDClick(label, Qt::LeftButton);
  EXPECT_FALSE(forceWrite->isVisible());
}

TEST_F(MainFormTest, DeviceChangeResetsBuffersButNotReadDataOrSerialSettings) {
  TMainForm& form = Form();
  MainState& s = form.State();
  s.ProgramBuffer[kProgramBufferBytes - 1] = 0x00;
  s.IdBuffer[0] = 0x41;
  s.OptionLow = 0x00;
  s.ReadBuffer[5] = 0x12;
  s.CommandHeader[0] = 0xA1;
  s.SerialLength = 4;
  s.SerialMode = 1;
  s.Panel.Label13 = "17";
  form.ShowPanel();
  EXPECT_EQ(Text("Label13"), "17");
  form.SetPortIndex(3);
  form.SetHandShakeIndex(2);

  Find<QComboBox>("ComboBox2")->setCurrentIndex(1);  // what the user's pick does

  EXPECT_EQ(s.DeviceIndex, 1);
  EXPECT_EQ(s.DeviceName, "K7E2/E4");
  EXPECT_EQ(s.ProgramBuffer[kProgramBufferBytes - 1], 0x7F);
  EXPECT_EQ(s.IdBuffer[0], 0x7F);
  EXPECT_EQ(s.OptionLow, 0x7F);
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(Text("Label13"), "0");
  EXPECT_EQ(Text("Label1"), "Disable");
  EXPECT_EQ(s.ReadBuffer[5], 0x12);
  EXPECT_EQ(s.CommandHeader[0], 0xA1);
  EXPECT_EQ(s.SerialLength, 4);
  EXPECT_EQ(form.PortChoice(), "Com4");
  EXPECT_EQ(form.HandShakeIndex(), 2);
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(MainFormTest, WheelOverAnUnfocusedDeviceListKeepsTheDeviceAndBuffers) {
  TMainForm& form = Form();
  form.show();
  form.State().ProgramBuffer[0] = 0x01;
  auto* devices = Find<QComboBox>("ComboBox2");
  const QPoint at = devices->rect().center();
  QWheelEvent wheel(at, devices->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(devices, &wheel);
  EXPECT_EQ(devices->currentIndex(), 0);
  EXPECT_EQ(form.State().ProgramBuffer[0], 0x01);
}

TEST_F(MainFormTest, SelectDeviceMatchesExactlyAndKeepsTheBuffers) {
  TMainForm& form = Form();
  MainState& s = form.State();
  s.ProgramBuffer[0] = 0x01;
  EXPECT_FALSE(form.SelectDevice("k7e2/e4"));
  EXPECT_EQ(form.DeviceListText(), "K7E1/E3");
  EXPECT_TRUE(form.SelectDevice("K7E2/E4"));
  EXPECT_EQ(form.DeviceListText(), "K7E2/E4");
  EXPECT_EQ(s.DeviceIndex, 1);
  EXPECT_EQ(s.ProgramBuffer[0], 0x01);
  EXPECT_FALSE(form.SetPortIndex(8));
  EXPECT_EQ(form.PortChoice(), "Com1");
}

TEST_F(MainFormTest, ClearCommands) {
  TMainForm& form = Form();
  MainState& s = form.State();
  s.ProgramBuffer.fill(0);
  s.CurrentFileName = "/jobs/a.bin";
  s.MemoryWindowOpen = 1;
  s.DisassemblyWindowOpen = 1;
  form.ClearBuffer1Click();
  EXPECT_TRUE(std::all_of(s.ProgramBuffer.begin(), s.ProgramBuffer.end(), [](auto b) { return b == 0x7F; }));
  EXPECT_EQ(s.CurrentFileName, "");
  EXPECT_EQ(s.DisassemblyWindowOpen, 0);

  s.IdBuffer.fill(0);
  s.OptionLow = s.OptionHigh = 0;
  s.EepromBuffer.fill(0x5A);
  s.ProgramBuffer[0] = 0;
  form.ClearID1Click();
  form.ClearOPTION1Click();
  form.ClearEEPROMBuffer1Click();
  EXPECT_TRUE(std::all_of(s.IdBuffer.begin(), s.IdBuffer.end(), [](auto b) { return b == 0x7F; }));
  EXPECT_EQ(s.OptionWord(), 0x2FFA);  // 7F 7F under the first device's masks
  EXPECT_TRUE(std::all_of(s.EepromBuffer.begin(), s.EepromBuffer.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(s.ProgramBuffer[0], 0);  // each clear touches its own region only
}

// A hidden action always reads as disabled; look at the state it would show with.
bool EnabledWhenShown(QAction* action) {
  const bool visible = action->isVisible();
  action->setVisible(true);
  const bool enabled = action->isEnabled();
  action->setVisible(visible);
  return enabled;
}

TEST_F(MainFormTest, EepromControlsAndAdaptorFollowTheDevice) {
  static constexpr DeviceRecord rows[] = {
      {"EE-PART", 0x07, 0xFF, 1, 2, 0x10, 0x00, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x7F, 0, 0, 0, 0},
      {"ADAPTED", 0x03, 0xFF, 1, 2, 0x10, 0x00, 1, 0x7F, 0, 0x7F, 0, 0, 0x00, 0x00, 0, 1, 0, 0},
      {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  ScopedDeviceTable table(rows);
  TMainForm& form = Form();
  for (const char* name : {"Erase", "WriteEE", "EEPROM1", "ClearEEPROMBuffer1"})
    EXPECT_TRUE(EnabledWhenShown(form.CommandAction(name))) << name;

  form.State().EepromWindowOpen = 1;
  Find<QComboBox>("ComboBox2")->setCurrentIndex(1);
  for (const char* name : {"Erase", "WriteEE", "EEPROM1", "ClearEEPROMBuffer1"})
    EXPECT_FALSE(EnabledWhenShown(form.CommandAction(name))) << name;
  EXPECT_EQ(form.State().EepromWindowOpen, 0);
  EXPECT_EQ(prompts_.Texts(), std::vector<std::string>{"Please add the adaptor"});
  EXPECT_EQ(prompts_.messages[0].caption, "");

  Find<QComboBox>("ComboBox2")->setCurrentIndex(0);
  EXPECT_TRUE(form.CommandAction("ClearEEPROMBuffer1")->isEnabled());
  EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(MainFormTest, EmptyDeviceTableStartsWithoutADevice) {
  static constexpr DeviceRecord rows[] = {{nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  ScopedDeviceTable table(rows);
  TMainForm& form = Form();
  EXPECT_EQ(form.State().DeviceIndex, -1);
  EXPECT_EQ(form.DeviceListText(), "");
  form.ResetData();
  EXPECT_EQ(form.State().DeviceIndex, -1);
}

TEST_F(MainFormTest, TimerFollowsDisassemblyRefreshAndSerialMode) {
  TMainForm& form = Form();
  MainState& s = form.State();
  QAction* saveDis = form.CommandAction("FileSaveAsItem");
  EXPECT_FALSE(saveDis->isEnabled());
  const int ticks = s.TickCount;

  s.DisassemblyWindowOpen = 1;
  s.RefreshPending = 1;
  s.SerialMode = 1;
  form.Timer1Timer();
  EXPECT_TRUE(saveDis->isEnabled());
  EXPECT_EQ(s.RefreshPending, 0);
  EXPECT_EQ(Text("Label1"), "Enable");
  EXPECT_EQ(s.TickCount, ticks + 1);

  s.DisassemblyWindowOpen = 0;
  s.SerialMode = 0;
  form.Timer1Timer();
  EXPECT_FALSE(saveDis->isEnabled());
  EXPECT_EQ(Text("Label1"), "Disable");
}

TEST_F(MainFormTest, ShowPanelRendersThePanelTexts) {
  TMainForm& form = Form();
  PanelTexts& p = form.State().Panel;
  p.option[kOsc] = {"PB4 Type:", "CLKOUT", false};
  p.option[kPrd] = {"MCLR HI:", "Enable", true};
  p.option[kSecurity].value = "Error";
  p.Label11 = "F800";
  p.OptChecksum = "F93E";
  p.ProtectSum = "F801";
  p.Label17 = "ABCD";
  p.Label15 = "563412";
  p.Label19 = "Enable";
  form.ShowPanel();
  EXPECT_EQ(Text("StaticText2"), "PB4 Type:");
  EXPECT_EQ(Text("Label5"), "CLKOUT");
  EXPECT_FALSE(Find<QLabel>("StaticText2")->isEnabled());
  EXPECT_FALSE(Find<QLabel>("Label5")->isEnabled());
  EXPECT_EQ(Text("StaticText7"), "MCLR HI:");
  EXPECT_TRUE(Find<QLabel>("Label10")->isEnabled());
  EXPECT_EQ(Text("Label9"), "Error");
  EXPECT_EQ(Text("Label11"), "F800");
  EXPECT_EQ(Text("OptChecksum"), "F93E");
  EXPECT_EQ(Text("ProtectSum"), "F801");
  EXPECT_EQ(Text("Label17"), "ABCD");
  EXPECT_EQ(Text("Label15"), "563412");
  EXPECT_EQ(Text("Label19"), "Enable");
}

TEST_F(MainFormTest, ShowOnceAndCloseWritesStartDirWithModesOff) {
  TMainForm& form = Form();
  MainState& s = form.State();
  form.show();
  EXPECT_TRUE(s.Shown);
  EXPECT_EQ(s.RefreshPending, 1);
  s.RefreshPending = 0;
  form.hide();
  form.show();
  EXPECT_EQ(s.RefreshPending, 0);  // the show-time set-up ran once

  // Moving elsewhere after start does not move Default.cfg.
  std::filesystem::current_path(oldDir_);
  s.CfgPath = "/elsewhere/other.cfg";
  s.SerialMode = 1;
  s.QtpMode = 1;
  s.Panel.Label13 = "25";
  s.Panel.Label19 = "Enable";
  EXPECT_TRUE(form.close());
  EXPECT_EQ(std::filesystem::path(s.CfgPath), dir_ / "Default.cfg");
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(s.QtpMode, 0);
  EXPECT_EQ(Text("Label13"), "0");
  EXPECT_EQ(Text("Label19"), "Disable");
  EXPECT_EQ(Text("Label1"), "Disable");
}

TEST_F(MainFormTest, DefaultCfgWrittenAtCloseIsReadAtTheNextStart) {
  const std::filesystem::path image = dir_ / "job.bin";
  std::ofstream(image, std::ios::binary) << std::string(2048, '\x00');
  Find<QComboBox>("ComboBox2")->setCurrentIndex(1);
  MainState& s = Form().State();
  s.CurrentFileName = image.string();
  s.IdBuffer[0] = 0x41;
  s.SerialMode = 1;
  s.QtpMode = 1;
  Form().SetPortIndex(2);
  // Started here, closed from elsewhere: the file still goes to the start directory.
  std::filesystem::current_path(oldDir_);
  EXPECT_TRUE(Form().close());
  std::filesystem::current_path(dir_);
  ASSERT_TRUE(std::filesystem::exists(dir_ / "Default.cfg"));
  form_.reset();

  MainState& next = Form().State();
  EXPECT_EQ(Form().DeviceListText(), "K7E2/E4");
  EXPECT_EQ(next.DeviceIndex, 1);
  EXPECT_EQ(Form().PortChoice(), "Com3");
  EXPECT_EQ(next.IdBuffer[0], 0x41);
  EXPECT_EQ(next.CurrentFileName, image.string());
  EXPECT_EQ(next.ProgramWord(0), 0);
  EXPECT_EQ(next.SerialMode, 0);
  EXPECT_EQ(next.QtpMode, 0);
  EXPECT_EQ(next.StartupLoad, 0);
}

TEST_F(MainFormTest, UnreadableDefaultCfgStartsBlankOnTheListedDevice) {
  std::ofstream(dir_ / "Default.cfg") << "not a configuration";
  MainState& s = Form().State();
  EXPECT_EQ(s.DeviceIndex, 0);
  EXPECT_EQ(s.DeviceName, "K7E1/E3");
  EXPECT_TRUE(std::all_of(s.ProgramBuffer.begin(), s.ProgramBuffer.end(), [](auto b) { return b == 0x7F; }));
  EXPECT_TRUE(std::all_of(s.IdBuffer.begin(), s.IdBuffer.end(), [](auto b) { return b == 0x7F; }));
  EXPECT_EQ(s.OptionWord(), 0x2FFA);
  EXPECT_EQ(s.StartupLoad, 0);
  EXPECT_EQ(Text("Label1"), "Disable");
}

TEST(QtPromptsTest, FileFiltersInDialogForm) {
  EXPECT_EQ(QtPrompts::NameFilters({{"Config file", "*.cfg"}, {"QEL Bin", "*.bin"}}),
            (QStringList{"Config file (*.cfg)", "QEL Bin (*.bin)"}));
  EXPECT_EQ(QtPrompts::NameFilters({{"Images", "*.bin;*.qhx"}}), QStringList{"Images (*.bin *.qhx)"});
  EXPECT_EQ(QtPrompts::NameFilters({{"Config files (*.cfg)", "*.cfg"}}), QStringList{"Config files (*.cfg)"});
}

// Enter on a warning that offers Abort ("Reset address (0000h) is blank!!")
// takes the safe answer; the buttons stay as they are.
TEST(QtPromptsTest, EnterOnAnAbortWarningAborts) {
  QtPrompts prompts;
  for (PromptButtons buttons : {PromptButtons::AbortIgnore, PromptButtons::AbortRetryIgnore}) {
    int shown = 0;
    OnNextModal<QMessageBox>([&](QMessageBox* box) {
      shown = static_cast<int>(box->buttons().size());
      EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Abort));
      QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(prompts.Ask("Reset address (0000h) is blank!!", {}, buttons, PromptIcon::Warning), PromptAnswer::Abort);
    EXPECT_EQ(shown, buttons == PromptButtons::AbortIgnore ? 2 : 3);
  }
}

}  // namespace
