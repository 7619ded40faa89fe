// The gang window over four emulated Writers on in-process lines: what each
// tile shows, the main window's commands while the gang runs, "Continue" per
// tile, and a close in the middle of four passes.

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>

#include "app/gui/OffGuiThread.h"
#include "gang/gui/TGangForm.h"
#include "link/PortMap.h"
#include "ops/gui/ProgrammingFixture.h"
#include "production/Ledger.h"
#include "support/ScratchDir.h"

namespace {

// One Writer on its line, on the real clock: the stations wait for parts
// every quarter second as they do at the bench.
struct Bench {
  WriterEmulator emulator{SystemClock::Instance()};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line = AttachEmulator(pair, emulator);
};

EmulatorFaults EmptySocket() {
  EmulatorFaults faults;
  faults.emptySocket = true;
  return faults;
}

// A line slow enough that a pass takes seconds: long enough to look at it.
constexpr LineModel kSlowLine{9600};

class GangWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& bench : benches) bench = std::make_unique<Bench>();
    main_ = std::make_unique<TestMainForm>(prompts, SystemClock::Instance(), [this] { return own.pair.MakePcEnd(); });
    LoadProgrammingImage(*main_);
    UseSerialNumbers(main_->State());
    main_->ShowPanel();
    nowhere_.FailOpen(ENOENT);
    gang_ = new TGangForm(*main_, [this](const std::string& port) {
      const int n = ComNumber(port);
      return n <= 4 ? benches[n - 1]->pair.MakePcEnd() : nowhere_.MakePcEnd();
    });
    gang_->show();
  }
  void TearDown() override {
    delete gang_.data();
    main_.reset();
    for (auto& bench : benches) bench.reset();
  }

  template <class T = QWidget>
  T* Control(const char* name) {
    T* control = gang_->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  // Chooses the first n Writers and waits for each probe's answer.
  void Choose(int n) {
    for (int i = 1; i <= n; ++i) Control<QCheckBox>(("Com" + std::to_string(i)).c_str())->click();
    for (int i = 1; i <= n; ++i) EXPECT_TRUE(WaitStatus(i, [](const std::string& s) { return s == "Connect OK!"; }));
  }
  QLabel* TileLabel(int n, const char* name) {
    TGangTile* tile = gang_->Tile("Com" + std::to_string(n));
    return tile ? tile->findChild<QLabel*>(name) : nullptr;
  }
  std::string Status(int n) { return TileLabel(n, "StatusLabel")->text().toStdString(); }
  QColor Ground(int n) { return TileLabel(n, "StatusLabel")->palette().color(QPalette::Window); }
  template <class Pred>
  bool WaitStatus(int n, Pred pred) {
    return QTest::qWaitFor([&] { return pred(Status(n)); }, 20000);
  }
  static bool Programming(const std::string& s) { return s.starts_with("Programming "); }

  // The ledger's passes by port and result: {"Com1", "interrupted"} -> 1.
  std::map<std::pair<std::string, std::string>, int> LedgerResults() {
    std::map<std::pair<std::string, std::string>, int> out;
    for (const LedgerRecord& r : OffGuiThread([] { return OpenLedger({})->List(); })) ++out[{r.port, r.result}];
    return out;
  }

  ScratchDir scratch_{"gang"};  // the ledger of this test alone
  ScriptedPrompts prompts;
  Bench own;  // the main window's Writer
  std::array<std::unique_ptr<Bench>, 4> benches;
  std::unique_ptr<TMainForm> main_;
  QPointer<TGangForm> gang_;

 private:
  DevicePair nowhere_;  // the ports without a Writer
};

TEST_F(GangWindowTest, TilesShowEachStateAndACloseMidPassInterruptsEveryWriter) {
  benches[0]->emulator.SetFaults(EmptySocket());
  EmulatorFaults failing;
  failing.failAtByte = 100;
  benches[2]->emulator.SetFaults(failing);
  benches[3]->emulator.SetLineModel(kSlowLine);
  Choose(4);
  Control<QPushButton>("StartButton")->click();

  const QColor grey = Ground(1);
  EXPECT_TRUE(WaitStatus(1, [](const std::string& s) { return s == "Waiting for a part"; }));
  EXPECT_TRUE(WaitStatus(2, [](const std::string& s) { return s.starts_with("OK  serial "); }));
  EXPECT_TRUE(WaitStatus(3, [](const std::string& s) { return s == "FAIL  Data program fail !!"; }));
  EXPECT_TRUE(WaitStatus(4, Programming));
  EXPECT_EQ(Ground(1), grey);
  EXPECT_EQ(Ground(2), QColor(0, 150, 0));
  EXPECT_EQ(Ground(3), QColor(210, 0, 0));
  EXPECT_EQ(TileLabel(2, "PassCount")->text(), "1");
  EXPECT_EQ(Status(2), "OK  serial " + TileLabel(2, "LastSerial")->text().toStdString());
  EXPECT_FALSE(main_->CommandAction("AutoProgram1")->isEnabled());
  EXPECT_FALSE(main_->CommandAction("FileOpenItem")->isEnabled());

  // The panel's lines on demand.
  QPlainTextEdit* lines = gang_->Tile("Com3")->Lines();
  EXPECT_FALSE(lines->isVisible());
  gang_->Tile("Com3")->findChild<QPushButton*>("PanelButton")->click();
  EXPECT_TRUE(lines->isVisible());
  EXPECT_TRUE(lines->toPlainText().contains("Data program fail !!"));
  // scripts/screenshots.sh keeps the picture of every state at once.
  if (const QString dir = qEnvironmentVariable("WRITER_SCREENSHOT_DIR"); !dir.isEmpty()) {
    QTest::qWait(50);  // the window grows with the panel's lines
    EXPECT_TRUE(gang_->grab().save(dir + "/gang-window.png"));
  }

  // Every Writer in the middle of a pass: a part seated in the empty socket,
  // the other two parts taken out and new ones seated.
  for (auto& bench : benches) bench->emulator.SetLineModel(kSlowLine);
  benches[0]->emulator.SetFaults({});
  for (int i : {1, 2}) {
    Bench& b = *benches[i];
    b.emulator.SetFaults(EmptySocket());
    const std::size_t before = b.emulator.BytesReceived();
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.emulator.BytesReceived() >= before + 20; }, 5000));
    b.emulator.SetFaults({});
    b.emulator.SetIc(*IcDescription::ForDevice("K7E1/E3"));
  }
  for (int n = 1; n <= 4; ++n) ASSERT_TRUE(WaitStatus(n, Programming)) << n;

  std::array<std::size_t, 4> atClose{};
  const auto start = std::chrono::steady_clock::now();
  gang_->close();
  const auto took = std::chrono::steady_clock::now() - start;
  for (int i = 0; i < 4; ++i) atClose[i] = benches[i]->emulator.BytesReceived();
  EXPECT_LT(took, std::chrono::seconds(1));
  EXPECT_TRUE(main_->CommandAction("AutoProgram1")->isEnabled());
  QTest::qWait(300);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(benches[i]->emulator.BytesReceived(), atClose[i]) << i;

  const auto results = LedgerResults();
  for (const char* port : {"Com1", "Com2", "Com3", "Com4"}) {
    EXPECT_EQ((results.count({port, "interrupted"}) ? results.at({port, "interrupted"}) : 0), 1) << port;
    EXPECT_EQ(results.count({port, "open"}), 0u) << port;
  }
  EXPECT_EQ(results.at({"Com2", "ok"}), 1);
  EXPECT_EQ(results.at({"Com3", "failed"}), 1);
}

TEST_F(GangWindowTest, ContinuePerTileAndTheMainWindowOffOnlyWhileTheGangRuns) {
  Control<QCheckBox>("Com5")->click();  // no Writer there: the tile says so
  Choose(2);
  EXPECT_TRUE(WaitStatus(5, [](const std::string& s) { return s == "Open  COM5 Port Error!!"; }));
  Control<QCheckBox>("Com5")->click();
  EXPECT_EQ(gang_->Tile("Com5"), nullptr);

  Control<QRadioButton>("ContinueOption")->click();
  EXPECT_FALSE(main_->CommandAction("ProgramMemory2")->isEnabled());  // off in serial-number mode
  Control<QPushButton>("StartButton")->click();
  EXPECT_FALSE(Control<QCheckBox>("Com3")->isEnabled());
  EXPECT_FALSE(main_->CommandsEnabled());

  std::set<std::string> serials;
  for (int pass = 1; pass <= 2; ++pass) {
    for (int n = 1; n <= 2; ++n) {
      TGangTile* tile = gang_->Tile("Com" + std::to_string(n));
      ASSERT_TRUE(QTest::qWaitFor(
          [&] { return tile->ContinueButton()->isEnabled() && TileLabel(n, "PassCount")->text() == QString::number(pass); },
          20000));
      EXPECT_TRUE(WaitStatus(n, [](const std::string& s) { return s.starts_with("OK  serial "); }));
      serials.insert(TileLabel(n, "LastSerial")->text().toStdString());
      // F8 of the main window does nothing while its image is in use.
      bool ran = false;
      main_->SetCommandHook([&](const char*) { ran = true; }, false);
      main_->CommandAction("AutoProgram1")->trigger();
      EXPECT_FALSE(ran);
      main_->SetCommandHook({});
    }
    if (pass == 1)
      for (int n = 1; n <= 2; ++n) {
        benches[n - 1]->emulator.SetIc(*IcDescription::ForDevice("K7E1/E3"));
        gang_->Tile("Com" + std::to_string(n))->ContinueButton()->click();
      }
  }
  EXPECT_EQ(serials.size(), 4u);  // each part its own number

  Control<QPushButton>("StopButton")->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !gang_->Busy(); }, 5000));
  EXPECT_TRUE(main_->CommandsEnabled());
  EXPECT_TRUE(main_->CommandAction("AutoProgram1")->isEnabled());
  EXPECT_FALSE(main_->CommandAction("ProgramMemory2")->isEnabled());  // and stays so
  EXPECT_TRUE(Control<QCheckBox>("Com3")->isEnabled());
  // The main window's job, new in this run's ledger, announced once.
  EXPECT_EQ(prompts.Texts(), Texts{"New job untitled: serial numbers from 1234"});
}

TEST_F(GangWindowTest, ClosingTheMainWindowStopsTheGangBeforeTheWindowGoes) {
  Choose(1);
  Control<QPushButton>("StartButton")->click();
  ASSERT_TRUE(WaitStatus(1, [](const std::string& s) { return s.starts_with("OK  serial "); }));
  main_->close();
  EXPECT_FALSE(gang_->isVisible());
  EXPECT_FALSE(gang_->Busy());
  EXPECT_TRUE(main_->CommandsEnabled());
}

}  // namespace
