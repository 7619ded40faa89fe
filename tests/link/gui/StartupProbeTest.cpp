// The start-up probe of a Writer that does not answer: the window stays
// usable while it waits, a close stops it, and whatever uses the line
// meanwhile comes after it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include "app/gui/TMainForm.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "ops/gui/TOperationForm.h"
#include "support/ScriptedPrompts.h"

namespace {

using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

// The Writer keeps quiet until Wake(). The clock moves 3 ms a reading and
// the probe reads it about every 10 ms of real time, so the probe alone would
// wait several seconds: what the test does meanwhile happens while it waits.
class SilentAtStartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    // Closing the window writes Default.cfg into the directory it started in.
    oldDir_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("startup-probe-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
    line = AttachEmulator(pair, emulator);
  }
  void TearDown() override {
    form.reset();  // closes the PC end before the line goes
    line.reset();
    fs::current_path(oldDir_);
    fs::remove_all(dir_);
  }

  // Builds and starts the window; returns once the probe byte is on the line.
  TMainForm& StartProbing() {
    EmulatorFaults silent;
    silent.silenceAfter = 0;
    emulator.SetFaults(silent);
    clock.SetStepPerRead(Clock::Duration{3});
    const std::size_t before = emulator.BytesReceived();
    form = std::make_unique<TMainForm>(prompts, clock, [this] { return pair.MakePcEnd(); });
    form->FinishStartup();
    EXPECT_TRUE(QTest::qWaitFor([&] { return emulator.BytesReceived() == before + 1; }, 5000));
    EXPECT_TRUE(form->StartupProbePending());
    return *form;
  }
  // The Writer answers again, and the probe's wait runs out within a second.
  void Wake() {
    emulator.SetFaults({});
    clock.SetStepPerRead(Clock::Duration{50});
  }

  FakeClock clock;
  WriterEmulator emulator{clock};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line;
  ScriptedPrompts prompts;
  std::unique_ptr<TMainForm> form;

 private:
  fs::path oldDir_, dir_;
};

TEST_F(SilentAtStartUp, TheWindowRunsWhileTheProbeWaitsAndCloseOrDestructionStopsIt) {
  for (const bool byClose : {true, false}) {
    SCOPED_TRACE(byClose ? "close" : "destruction");
    TMainForm& w = StartProbing();
    bool fired = false;
    QTimer::singleShot(10, &w, [&] { fired = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }, 2000));
    EXPECT_TRUE(w.StartupProbePending());
    EXPECT_TRUE(prompts.messages.empty());

    const auto start = std::chrono::steady_clock::now();
    if (byClose) {
      EXPECT_TRUE(w.close());
      EXPECT_FALSE(w.StartupProbePending());
      EXPECT_FALSE(pair.PcOpen());
      EXPECT_TRUE(fs::exists("Default.cfg"));
      QCoreApplication::processEvents();  // the stopped probe's report finds nothing to show
      fs::remove("Default.cfg");
    }
    form.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(prompts.messages.empty());
  }
}

TEST_F(SilentAtStartUp, ACommandDuringTheProbeRunsAfterItAndItsMessage) {
  TMainForm& w = StartProbing();
  Wake();
  Texts shownBefore;
  int handshake = -1;
  Texts lines;
  w.SetOperationWindowHook([&](QDialog& d) {
    shownBefore = prompts.Texts();
    handshake = w.HandShakeIndex();
    auto& op = dynamic_cast<TOperationForm&>(d);
    QSignalSpy finished(&op, &TOperationForm::WorkerFinished);
    op.show();
    EXPECT_TRUE(finished.wait(20000));
    for (const PanelLineSpec& spec : op.Layout().lines)
      if (!op.Label(spec.name)->isHidden()) lines.push_back(op.Label(spec.name)->text().toStdString());
    op.accept();
    return op.result();
  });
  w.CommandAction("BlankCheckAction")->trigger();  // F5
  // The probe that got no answer is tried once more: the Writer, awake by
  // then, answers it.
  EXPECT_EQ(shownBefore, Texts{"Connect OK!"});
  EXPECT_EQ(handshake, 1);
  EXPECT_FALSE(w.StartupProbePending());
  // The blank check had the line to itself: its own probe was answered.
  EXPECT_THAT(lines, ::testing::Contains("Data ......... OK."));
  QCoreApplication::processEvents();
  EXPECT_EQ(prompts.Texts(), Texts{"Connect OK!"});
}

// A new choice replaces the probe: its message is the only one, and a
// handshake the user picked is kept while a port choice gets the default.
TEST_F(SilentAtStartUp, APortOrHandshakeChoiceDuringTheProbeReplacesIt) {
  struct Case {
    const char* combo;
    int index;
    int handshake;
    TFlowControl flow;
    const char* port;
  } cases[] = {{"HandShake", 2, 2, fcNone, "Com1"}, {"ComboBox1", 2, 1, fcCTS, "Com3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.combo);
    prompts.messages.clear();
    TMainForm& w = StartProbing();
    emulator.SetFaults({});
    w.findChild<QComboBox*>(c.combo)->setCurrentIndex(c.index);
    EXPECT_FALSE(w.StartupProbePending());
    EXPECT_EQ(prompts.Texts(), Texts{"Connect OK!"});
    EXPECT_EQ(w.HandShakeIndex(), c.handshake);
    EXPECT_EQ(w.Comm1().FlowControl(), c.flow);
    EXPECT_EQ(w.Comm1().DeviceName(), c.port);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.messages.size(), 1u);
    form.reset();
  }
}

TEST_F(SilentAtStartUp, AWriterThatGoesAwayUnderTheProbeDoesNotAnswer) {
  TMainForm& w = StartProbing();
  pair.FailIo(EIO);  // the cable is pulled while the probe waits
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w.StartupProbePending(); }, 5000));
  EXPECT_EQ(prompts.Texts(), Texts{"Connect COM1 Timeout!!"});
  EXPECT_FALSE(w.Comm1().Enabled());
  EXPECT_EQ(w.HandShakeIndex(), 1);
  pair.FailIo(0);  // plugged back: the next command opens the port afresh
  EXPECT_TRUE(w.PortReady());
  EXPECT_EQ(prompts.messages.size(), 1u);
}

}  // namespace
