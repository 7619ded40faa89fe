#pragma once
// The main window with an emulated Writer behind Comm1, in a directory of the
// test's own. Operation windows run through the window hook: the test drives
// each window instead of a modal loop, so nothing ever blocks.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/gui/TMainForm.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "link/Clock.h"
#include "link/DevicePair.h"
#include "ops/gui/TOperationForm.h"
#include "support/EmulatedWriter.h"
#include "support/ScratchDir.h"
#include "support/ScriptedPrompts.h"
#include "support/ShownLines.h"
#include "support/TestMainForm.h"

// A line paced at 115200 baud on a clock that runs about as fast as real
// time, so an operation is still at work when its window closes. Drain()
// jumps the clock so the Writer finishes at once, as it does while the user
// reaches for the next command.
class PacedLine {
 public:
  PacedLine(FakeClock& clock, WriterEmulator& emulator, EmulatorLine& line)
      : clock_(clock), emulator_(emulator), line_(line) {
    clock.SetStepPerRead(Clock::Duration{0});
    emulator.SetLineModel(LineModel{115200});
    ticker_ = std::jthread([this](std::stop_token stop) {
      while (!stop.stop_requested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        clock_.Advance(Clock::Duration{1});
      }
    });
  }
  void Drain() {
    emulator_.SetFaults({});
    clock_.Advance(std::chrono::seconds(10));
    line_.Poke();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !emulator_.NextEventIn(); }, 5000));
    // The line's thread may still be handing the last replies over: a stale
    // byte that lands after the next operation's purge would be taken as its
    // answer. Pump returns only once that delivery is done.
    emulator_.Pump();
  }

 private:
  FakeClock& clock_;
  WriterEmulator& emulator_;
  EmulatorLine& line_;
  std::jthread ticker_;
};

class OperationWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { line = AttachEmulator(pair, emulator); }
  void TearDown() override {
    main_.reset();  // closes the PC end before the line goes
    line.reset();
  }

  // Each test's window gets a folder and a part ledger of its own.
  ScratchDir scratch_{"opwindow"};

  TMainForm& Main() {
    if (!main_) main_ = std::make_unique<TestMainForm>(prompts, clock, [this] { return pair.MakePcEnd(); });
    return *main_;
  }

  // Runs a command; `drive` gets its window in place of the modal loop.
  // Returns whether a window opened.
  bool RunCommand(const char* action, const std::function<void(QDialog&)>& drive) {
    return RunCommand([&] { Main().CommandAction(action)->trigger(); }, drive);
  }
  bool RunCommand(void (TMainForm::*handler)(), const std::function<void(QDialog&)>& drive) {
    return RunCommand([&] { (Main().*handler)(); }, drive);
  }
  bool RunCommand(const std::function<void()>& command, const std::function<void(QDialog&)>& drive) {
    bool opened = false;
    Main().SetOperationWindowHook([&](QDialog& window) {
      opened = true;
      EXPECT_TRUE(Main().OperationOpen());
      window.show();
      drive(window);
      return window.result();
    });
    command();
    Main().SetOperationWindowHook({});
    EXPECT_FALSE(Main().OperationOpen());
    return opened;
  }

  // A label of the main window itself: the views in its MDI area reuse names.
  QLabel* PanelLabel(const char* name) {
    for (QLabel* label : Main().findChildren<QLabel*>(name))
      if (!Main().MdiArea()->isAncestorOf(label)) return label;
    ADD_FAILURE() << "no panel label " << name;
    return nullptr;
  }

  struct WindowEnd {
    bool opened = false;
    std::string title;
    Texts lines;
    bool okEnabled = false;
  };
  // Runs an operation command to the worker's end, notes what its window
  // shows and presses OK.
  template <class Command>
  WindowEnd RunToEnd(Command command) {
    WindowEnd out;
    out.opened = RunCommand(command, [&](QDialog& d) {
      auto& w = dynamic_cast<TOperationForm&>(d);
      QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
      EXPECT_TRUE(finished.wait(20000));
      out.title = w.Label("StaticText1")->text().toStdString();
      out.lines = ShownLines(w);
      out.okEnabled = w.Button("Button1")->isEnabled();
      QTest::mouseClick(w.Button("Button1"), Qt::LeftButton);
      EXPECT_FALSE(w.isVisible());
    });
    return out;
  }

  FakeClock clock{Clock::Duration{50}};
  WriterEmulator emulator{clock};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line;
  ScriptedPrompts prompts;

 private:
  std::unique_ptr<TMainForm> main_;
};

// Base's fixture with its line paced for the whole test (see PacedLine).
template <class Base>
class OnPacedLine : public Base {
 protected:
  void SetUp() override {
    Base::SetUp();
    paced_ = std::make_unique<PacedLine>(this->clock, this->emulator, *this->line);
  }
  void TearDown() override {
    paced_.reset();
    Base::TearDown();
  }
  // A closed window's worker sends nothing more, neither at once nor once
  // the Writer has finished what it was sending.
  void ExpectNothingSentAfter(std::size_t atClose) {
    QTest::qWait(2);
    EXPECT_EQ(this->emulator.BytesReceived(), atClose);
    paced_->Drain();
    EXPECT_EQ(this->emulator.BytesReceived(), atClose);
  }

 private:
  std::unique_ptr<PacedLine> paced_;
};
