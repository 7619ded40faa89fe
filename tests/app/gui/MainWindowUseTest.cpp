// The main window as a person meets it: start-up over the shown window, the
// Window menu's arrangements with every view open, the ID drawn on the panel,
// a configuration whose pass count is text, and files dropped on the window.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QStatusBar>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QStyle>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <filesystem>
#include <fstream>

#include "app/DeviceCatalogue.h"
#include "app/gui/TMainForm.h"
#include "files/ConfigFile.h"
#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"
#include "views/gui/ByteTextLabel.h"
#include "views/gui/TEEDataForm.h"
#include "views/gui/TIDChecksumForm.h"
#include "views/gui/TMDIChild.h"

namespace fs = std::filesystem;

namespace {

// Records, with every message, whether the window could be seen behind it.
struct WatchingPrompts : ScriptedPrompts {
  QWidget* window = nullptr;
  std::vector<bool> windowOnScreen;
  std::vector<bool> viewsThere;

  void Message(const std::string& text, const std::string& caption, PromptIcon icon) override {
    const bool exposed = window && window->isVisible() && window->windowHandle() &&
                         window->windowHandle()->isExposed();
    windowOnScreen.push_back(exposed);
    viewsThere.push_back(window && window->findChild<TMDIChild*>() && window->findChild<TIDChecksumForm*>());
    ScriptedPrompts::Message(text, caption, icon);
  }
};

template <class Done>
bool WaitUntil(Done done) {
  for (int i = 0; i < 200 && !done(); ++i) QTest::qWait(5);
  return done();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Each test runs in a fresh directory of its own: Default.cfg lives there.
class MainWindowUse : public ::testing::Test {
 protected:
  void SetUp() override {
    oldDir_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("mainwindow-use-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(oldDir_);
    fs::remove_all(dir_);
  }

  fs::path dir_, oldDir_;
  FakeClock clock_;
};

TEST_F(MainWindowUse, StartUpMessagesComeOverTheShownWindowInTheirOrder) {
  const std::string cfg = (dir_ / "Default.cfg").string();
  WriteFile(cfg, "not a configuration");
  WatchingPrompts prompts;
  TMainForm form(prompts, clock_);
  prompts.window = &form;
  // Built but not yet shown: nothing read, nothing asked.
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_FALSE(form.StartupDone());
  EXPECT_EQ(form.windowTitle(), "Writer V2.63");

  form.show();
  EXPECT_TRUE(prompts.messages.empty()) << "start-up runs after the show, not inside it";
  ASSERT_TRUE(WaitUntil([&] { return form.StartupDone(); }));
  // The damaged Default.cfg first, then the port: the order of start-up.
  EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{"'" + cfg + "' file data error!", "Open  COM1 Port Error!!"}));
  EXPECT_EQ(prompts.windowOnScreen, (std::vector<bool>{true, true}));
  EXPECT_EQ(prompts.viewsThere, (std::vector<bool>{true, true}));
  EXPECT_EQ(form.State().DeviceIndex, 0);
  EXPECT_EQ(form.State().StartupLoad, 0);

  // Shown again later: start-up does not run twice.
  form.hide();
  form.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(MainWindowUse, DefaultCfgReadAfterTheShowRebuildsTheViews) {
  const fs::path image = dir_ / "job.bin";
  WriteFile(image, std::string("\x34\x12", 2));
  MainState saved;
  saved.CurrentFileName = image.string();
  saved.IdBuffer[0] = 'Q';
  saved.CfgPath = (dir_ / "Default.cfg").string();
  ScriptedPrompts quiet;
  ASSERT_TRUE(SaveCfg(saved, {"Com1", "K7E2/E4"}, quiet));

  WatchingPrompts prompts;
  TMainForm form(prompts, clock_);
  prompts.window = &form;
  form.show();
  ASSERT_TRUE(WaitUntil([&] { return form.StartupDone(); }));
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Open  COM1 Port Error!!"});
  const MainState& s = form.State();
  EXPECT_EQ(s.DeviceIndex, 1);
  EXPECT_EQ(s.ProgramWord(0), 0x1234);
  EXPECT_EQ(s.Panel.Label18.substr(0, 1), "Q");
  auto* view = form.findChild<TMDIChild*>();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle().toStdString(), image.string());
  EXPECT_EQ(view->Model()->data(view->Model()->index(0, 0)).toString(), "1234");
}

TEST_F(MainWindowUse, ClosedBeforeStartUpLeavesDefaultCfgAsItWas) {
  WriteFile(dir_ / "Default.cfg", "the user's settings");
  ScriptedPrompts prompts;
  {
    TMainForm form(prompts, clock_);
    EXPECT_TRUE(form.close());
  }
  EXPECT_EQ(ReadFile(dir_ / "Default.cfg"), "the user's settings");
  EXPECT_TRUE(prompts.messages.empty());
}

// Field 12 of a configuration becomes the pass-count caption, whatever it says.
TEST_F(MainWindowUse, PassCountOfAConfigurationIsTakenAsText) {
  const fs::path image = dir_ / "job.bin";
  WriteFile(image, "");
  for (const std::string pass : {"0", "17", "Lot-7", "", "12a", "-3"}) {
    std::string bytes = "qel" + image.string() + '\x0F' + "Com2 K7E2/E4 a b c d e f F800 " + pass +
                        " 00 0 0 1 00 1 0 0 " + std::string(2, '\x7F') + "ID" + std::string(30, '\x7F');
    WriteFile(dir_ / "Default.cfg", bytes);
    ScriptedPrompts prompts;
    TMainForm form(prompts, clock_);
    form.FinishStartup();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Open  COM2 Port Error!!"}) << pass;
    EXPECT_EQ(form.State().Panel.Label13, pass);
    EXPECT_EQ(form.findChild<QLabel*>("Label13")->text().toStdString(), pass);
    // Nothing reset: the file's device, port and ID are in place.
    EXPECT_EQ(form.State().DeviceIndex, 1) << pass;
    EXPECT_EQ(form.PortChoice(), "Com2") << pass;
    EXPECT_EQ(form.State().IdBuffer[0], 'I') << pass;
  }
}

// The blank ID (twelve 0x7F) and the IC checksum characters on the panel:
// stored and compared as they are, drawn with a visible dot for each byte
// the font has no glyph for.
TEST_F(MainWindowUse, PanelDrawsTheIdBytesWithoutGlyphVisibly) {
  ScriptedPrompts prompts;
  TestMainForm form(prompts, clock_);
  MainState& s = form.State();
  auto* id = qobject_cast<ByteTextLabel*>(form.findChild<QLabel*>("Label18"));
  auto* ic = qobject_cast<ByteTextLabel*>(form.findChild<QLabel*>("Label17"));
  ASSERT_NE(id, nullptr);
  ASSERT_NE(ic, nullptr);
  const QString dot(ByteTextLabel::kPlaceholder);

  struct Case {
    int hex;
    std::string idBytes;  // bytes 0..11; the rest stay 0x7F
    std::string stored;   // Label18 as MainState holds it
    QString drawn;
  } cases[] = {
      {0, "", std::string(12, '\x7F'), dot.repeated(12)},
      {0, "AB", "AB" + std::string(10, '\x7F'), "AB" + dot.repeated(10)},
      {0, std::string("A\x01" "B\0", 4), "A\x01" "B", "A" + dot + "B"},
      {1, "", "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F", "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F"},
  };
  for (const Case& c : cases) {
    s.IdBuffer.fill(0x7F);
    for (std::size_t i = 0; i < c.idBytes.size(); ++i) s.IdBuffer[i] = static_cast<std::uint8_t>(c.idBytes[i]);
    s.IdShowHex = c.hex;
    form.ID2Click();
    form.RecreateIdWindow();
    EXPECT_EQ(s.Panel.Label18, c.stored);
    EXPECT_EQ(id->text(), QString::fromLatin1(c.stored.data(), static_cast<qsizetype>(c.stored.size())));
    EXPECT_EQ(id->DrawnText(), c.drawn);
  }
  EXPECT_EQ(s.Panel.Label17, std::string(4, '\x7F'));
  EXPECT_EQ(ic->text(), QString(4, QChar(0x7F)));
  EXPECT_EQ(ic->DrawnText(), dot.repeated(4));
}

// --- Window menu ---

const DeviceRecord kEepromRows[] = {
    {"EE-PART", 0x07, 0xFF, 1, 2, 0x10, 0x00, 1, 0x7F, 0, 0x7F, 0, 2, 0x00, 0x7F, 0, 0, 0, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

bool Overlap(const QRect& a, const QRect& b) { return a.intersects(b); }

TEST_F(MainWindowUse, ArrangementsLeaveEveryViewVisibleWithTheFixedIdWindow) {
  ScopedDeviceTable table(kEepromRows);
  ScriptedPrompts prompts;
  TestMainForm form(prompts, clock_);
  // The design size and the ledger's status line: the tightest the views get.
  form.resize(800, 628 + form.statusBar()->sizeHint().height());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.EEPROM1Click();
  form.Disassemble1Click();
  QMdiArea* area = form.MdiArea();
  ASSERT_EQ(area->subWindowList().size(), 4);
  auto* idWindow = form.findChild<TIDChecksumForm*>();
  ASSERT_NE(idWindow, nullptr);
  auto* program = form.findChild<TMDIChild*>();
  ASSERT_NE(program, nullptr);
  const int titleBar = program->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, program);

  const char* arrangements[] = {"WindowCascadeItem", "WindowTileItem", "WindowTileItem2"};
  for (int height : {TIDChecksumForm::kIdHeight, TIDChecksumForm::kWriterInfoHeight,
                     TIDChecksumForm::kBodyOptionHeight}) {
    for (const char* item : arrangements) {
      // A messy start: a maximised view and one shrunk into a corner.
      program->showMaximized();
      idWindow->SetFormHeight(height);
      form.CommandAction(item)->trigger();
      QCoreApplication::processEvents();
      SCOPED_TRACE(std::string(item) + " with the ID window " + std::to_string(height) + " high");

      const QRect viewport = area->viewport()->rect();
      const auto windows = area->subWindowList(QMdiArea::StackingOrder);  // bottom first
      ASSERT_EQ(windows.size(), 4);
      EXPECT_EQ(idWindow->size(), QSize(420, height)) << "the ID window keeps its size";
      for (QMdiSubWindow* w : windows) {
        EXPECT_FALSE(w->isMaximized()) << w->windowTitle().toStdString();
        EXPECT_TRUE(viewport.contains(w->geometry())) << w->windowTitle().toStdString();
        if (w != idWindow) {
          EXPECT_GE(w->width(), 160) << w->windowTitle().toStdString();
          EXPECT_GE(w->height(), 120) << w->windowTitle().toStdString();
        }
      }
      if (std::string(item) == "WindowCascadeItem") {
        // Every title bar can be seen and clicked: nothing above covers it.
        for (int i = 0; i < windows.size(); ++i) {
          const QRect title(windows[i]->geometry().topLeft(), QSize(40, titleBar));
          for (int j = i + 1; j < windows.size(); ++j)
            EXPECT_FALSE(windows[j]->geometry().intersects(title))
                << windows[i]->windowTitle().toStdString() << " under " << windows[j]->windowTitle().toStdString();
        }
        EXPECT_GE(program->width(), viewport.width() / 2);
        EXPECT_GE(program->height(), viewport.height() / 2);
      } else {
        for (int i = 0; i < windows.size(); ++i)
          for (int j = i + 1; j < windows.size(); ++j)
            EXPECT_FALSE(Overlap(windows[i]->geometry(), windows[j]->geometry()))
                << windows[i]->windowTitle().toStdString() << " and " << windows[j]->windowTitle().toStdString();
      }
    }
  }
}

// --- Drag and drop ---

// Drags urls onto the window; true when the window took the drop.
bool Drop(TMainForm& form, const QList<QUrl>& urls) {
  QMimeData mime;
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &drop);
  // The file is read once the drop has ended.
  QCoreApplication::processEvents();
  return drop.isAccepted();
}

// What a window shows after a load, for comparing a drop with "Open".
struct Outcome {
  std::vector<std::string> messages;
  std::string fileName, caption;
  std::vector<std::uint8_t> program;
  std::uint8_t optionLow, optionHigh, id0;
  int device, serialMode, disassemblyOpen;
  std::string passCount;
  bool operator==(const Outcome&) const = default;
};

Outcome Load(const std::string& path, bool byDrop) {
  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form(prompts, clock);
  MainState& s = form.State();
  s.SerialMode = 1;
  s.Panel.Label13 = "9";
  form.Disassemble1Click();  // a listing of what was there before
  if (byDrop) {
    EXPECT_TRUE(Drop(form, {QUrl::fromLocalFile(QString::fromStdString(path))})) << path;
  } else {
    prompts.files.push_back(FileChoice{path, 0});
    form.FileOpen1Execute();
  }
  auto* view = form.findChild<TMDIChild*>();
  return {prompts.Texts(),
          s.CurrentFileName,
          view ? view->windowTitle().toStdString() : std::string(),
          std::vector<std::uint8_t>(s.ProgramBuffer.begin(), s.ProgramBuffer.begin() + 64),
          s.OptionLow,
          s.OptionHigh,
          s.IdBuffer[0],
          s.DeviceIndex,
          s.SerialMode,
          s.DisassemblyWindowOpen,
          s.Panel.Label13};
}

TEST_F(MainWindowUse, AFileDroppedOnTheWindowOpensAsOpenWould) {
  const std::string words("\x34\x12\xFF\x3F\x00\x08", 6);
  WriteFile(dir_ / "plain.bin", words);
  WriteFile(dir_ / "pic.obj", words);
  const std::string hex = ":06000000341200080000AC\r\n:00000001FF\r\n";
  WriteFile(dir_ / "qel.qhx", hex);
  WriteFile(dir_ / "pic.hex", hex);
  WriteFile(dir_ / "notes.txt", "text");
  // An image with its companion configuration.
  WriteFile(dir_ / "with cfg.bin", words);
  MainState saved;
  saved.CurrentFileName = (dir_ / "plain.bin").string();
  saved.IdBuffer[0] = 'C';
  saved.OptionLow = 0x15;
  saved.CfgPath = (dir_ / "with cfg.cfg").string();
  ScriptedPrompts quiet;
  ASSERT_TRUE(SaveCfg(saved, {"Com1", "K7E2/E4"}, quiet));
  // A whole configuration, and one naming a missing image.
  saved.CfgPath = (dir_ / "setup.cfg").string();
  ASSERT_TRUE(SaveCfg(saved, {"Com1", "K7E2/E4"}, quiet));
  saved.CurrentFileName = (dir_ / "gone.bin").string();
  saved.CfgPath = (dir_ / "stale.cfg").string();
  ASSERT_TRUE(SaveCfg(saved, {"Com1", "K7E2/E4"}, quiet));

  for (const char* name : {"plain.bin", "pic.obj", "qel.qhx", "pic.hex", "with cfg.bin", "setup.cfg",
                           "stale.cfg", "notes.txt", "missing.bin"}) {
    SCOPED_TRACE(name);
    const std::string path = (dir_ / name).string();
    const Outcome dropped = Load(path, true);
    const Outcome opened = Load(path, false);
    EXPECT_EQ(dropped.messages, opened.messages);
    EXPECT_EQ(dropped.fileName, opened.fileName);
    EXPECT_EQ(dropped.caption, opened.caption);
    EXPECT_TRUE(dropped == opened);
  }
  // The loads themselves, so the comparison above compares something.
  EXPECT_EQ(Load((dir_ / "plain.bin").string(), true).program[0], 0x34);
  EXPECT_EQ(Load((dir_ / "with cfg.bin").string(), true).id0, 'C');
  EXPECT_EQ(Load((dir_ / "setup.cfg").string(), true).device, 1);
  EXPECT_EQ(Load((dir_ / "notes.txt").string(), true).messages, std::vector<std::string>{"File type incorrect!"});
  const Outcome image = Load((dir_ / "qel.qhx").string(), true);
  EXPECT_EQ(image.caption, (dir_ / "qel.qhx").string());
  EXPECT_EQ(image.serialMode, 0);
  EXPECT_EQ(image.disassemblyOpen, 0);
  EXPECT_EQ(image.passCount, "0");
}

TEST_F(MainWindowUse, OnlyASingleLocalFileCanBeDropped) {
  WriteFile(dir_ / "a.bin", "ab");
  WriteFile(dir_ / "b.bin", "cd");
  ScriptedPrompts prompts;
  TestMainForm form(prompts, clock_);
  const QUrl a = QUrl::fromLocalFile(QString::fromStdString((dir_ / "a.bin").string()));
  const QUrl b = QUrl::fromLocalFile(QString::fromStdString((dir_ / "b.bin").string()));
  EXPECT_FALSE(Drop(form, {a, b}));
  EXPECT_FALSE(Drop(form, {QUrl("http://example.invalid/a.bin")}));
  EXPECT_FALSE(Drop(form, {}));
  EXPECT_EQ(form.State().CurrentFileName, "");
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(Drop(form, {b}));
  EXPECT_EQ(form.State().CurrentFileName, (dir_ / "b.bin").string());
}

}  // namespace
