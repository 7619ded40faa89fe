// The gang window's shape: a grid that fits the screen, port boxes that stay
// where they were clicked, a title naming the job and the Writers, the
// choices kept for the next opening, and a tile whose words and bar agree.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <array>
#include <memory>

#include "gang/gui/TGangForm.h"
#include "link/PortMap.h"
#include "ops/gui/ProgrammingFixture.h"
#include "support/ScratchDir.h"

namespace {

struct Bench {
  WriterEmulator emulator{SystemClock::Instance()};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line = AttachEmulator(pair, emulator);
};

class GangLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& bench : benches) bench = std::make_unique<Bench>();
    main_ = std::make_unique<TestMainForm>(prompts, SystemClock::Instance(), [this] { return own.pair.MakePcEnd(); });
    LoadProgrammingImage(*main_);
    UseSerialNumbers(main_->State());
    main_->ShowPanel();
    Open();
  }
  void TearDown() override {
    delete gang_.data();
    main_.reset();
    for (auto& bench : benches) bench.reset();
  }
  void Open() {
    delete gang_.data();
    gang_ = new TGangForm(*main_, [this](const std::string& port) { return benches[ComNumber(port) - 1]->pair.MakePcEnd(); });
    gang_->show();
  }
  QCheckBox* Box(int n) { return gang_->findChild<QCheckBox*>(QString("Com%1").arg(n)); }
  template <class T>
  T* Control(const char* name) {
    T* control = gang_->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  std::string Status(int n) {
    TGangTile* tile = gang_->Tile("Com" + std::to_string(n));
    return tile ? tile->Status()->text().toStdString() : "";
  }

  ScratchDir scratch_{"gang-layout"};
  ScriptedPrompts prompts;
  Bench own;
  std::array<std::unique_ptr<Bench>, 8> benches;
  std::unique_ptr<TMainForm> main_;
  QPointer<TGangForm> gang_;
};

// Ticked one by one up to eight: after every tick the boxes are where they
// were, the window is inside the main window's screen and the title counts
// the Writers. On a screen of 1280x800 or more the eight tiles need no
// scrolling (scripts/screenshots.sh runs it so and keeps the picture).
TEST_F(GangLayoutTest, EightTilesFitTheScreenAndTheBoxesStayWhereTheyWere) {
  const QRect area = gang_->ScreenArea();
  EXPECT_EQ(area, main_->screen()->availableGeometry());
  std::array<QPoint, 8> places;
  for (int n = 1; n <= 8; ++n) places[n - 1] = Box(n)->mapTo(gang_.data(), QPoint(0, 0));
  EXPECT_EQ(gang_->windowTitle(), "Gang Auto Program - untitled");
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    Box(n)->click();
    QCoreApplication::processEvents();
    for (int m = 1; m <= 8; ++m) EXPECT_EQ(Box(m)->mapTo(gang_.data(), QPoint(0, 0)), places[m - 1]) << "Com" << m;
    EXPECT_TRUE(area.contains(gang_->frameGeometry()));
    EXPECT_EQ(gang_->windowTitle().toStdString(),
              "Gang Auto Program - untitled - " + std::to_string(n) + (n == 1 ? " Writer" : " Writers"));
  }
  for (int n = 1; n <= 8; ++n)
    EXPECT_TRUE(QTest::qWaitFor([&] { return Status(n) == "Connect OK!"; }, 20000)) << n;
  if (area.width() >= 1280 && area.height() >= 800 - 40) {
    EXPECT_EQ(gang_->TileColumns(), 4);
    EXPECT_FALSE(Control<QScrollArea>("TileScroll")->verticalScrollBar()->isVisible());
  }
  if (const QString dir = qEnvironmentVariable("WRITER_SCREENSHOT_DIR"); !dir.isEmpty()) {
    QCoreApplication::processEvents();
    EXPECT_TRUE(gang_->grab().save(dir + "/gang-eight-writers.png"));
    EXPECT_TRUE(gang_->screen()->grabWindow(0).save(dir + "/gang-eight-writers-screen.png"));
  }

  // A window moved past the screen's corner comes back inside at the next tick.
  gang_->move(area.right() - 100, area.bottom() - 100);
  Box(8)->click();
  EXPECT_TRUE(area.contains(gang_->frameGeometry()));
  EXPECT_EQ(gang_->windowTitle(), "Gang Auto Program - untitled - 7 Writers");
}

// The ticked ports and both choices come back when the window opens again.
TEST_F(GangLayoutTest, TheChoicesAreKeptForTheNextOpening) {
  Box(2)->click();
  Box(5)->click();
  Control<QRadioButton>("NoBlankCheckOption")->click();
  Control<QRadioButton>("ContinueOption")->click();
  Open();
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(Box(n)->isChecked(), n == 2 || n == 5) << n;
  EXPECT_NE(gang_->Tile("Com5"), nullptr);  // chosen, so asked again
  EXPECT_TRUE(Control<QRadioButton>("NoBlankCheckOption")->isChecked());
  EXPECT_TRUE(Control<QRadioButton>("ContinueOption")->isChecked());
  EXPECT_EQ(gang_->windowTitle(), "Gang Auto Program - untitled - 2 Writers");

  Box(2)->click();
  Control<QRadioButton>("AutoProgramOption")->click();
  Control<QRadioButton>("WaitForPartOption")->click();
  Open();
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(Box(n)->isChecked(), n == 5) << n;
  EXPECT_TRUE(Control<QRadioButton>("AutoProgramOption")->isChecked());
  EXPECT_TRUE(Control<QRadioButton>("WaitForPartOption")->isChecked());
}

// A new pass says "0%" while the last pass's full bar would still be up.
TEST(GangTileGauge, TheBarShowsTheWordsOwnFigure) {
  const struct {
    const char* status;
    int gauge;
    int shown;
  } cases[] = {
      {"Programming 0%", 100, 0},   {"Programming 45%", 0, 45},   {"Verifying 100%", 3, 100},
      {"OK  serial 0012", 100, 100}, {"Waiting for a part", 30, 30}, {"FAIL  Data program fail !!", 60, 60},
      {"Programming %", 20, 20},    {"Odd 1000%", 20, 20},        {"", 150, 100},
  };
  for (const auto& c : cases) {
    GangTileView view;
    view.status = c.status;
    view.gauge = c.gauge;
    EXPECT_EQ(TileGauge(view), c.shown) << c.status;
  }
  GangTileView starting;
  starting.status = "Programming 0%";
  starting.gauge = 100;
  TGangTile tile("Com1", nullptr);
  tile.Show(starting);
  EXPECT_EQ(tile.findChild<QProgressBar*>("CGauge1")->value(), 0);
}

}  // namespace
