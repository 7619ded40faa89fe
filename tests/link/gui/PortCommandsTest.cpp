// The window's serial link: the start-up probe, the port and handshake
// choice, the entry guard, the pulse-width edits and the shutdown.

#include <gtest/gtest.h>
#include <signal.h>

#include <QComboBox>
#include <QLineEdit>
#include <cerrno>
#include <filesystem>

#include "app/gui/TMainForm.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/PortMap.h"
#include "link/WriterLink.h"
#include "support/EmulatorProcess.h"
#include "support/ScriptedPrompts.h"

namespace {

// A window whose Comm1 talks to an emulated Writer in this process.
class PortWindow : public ::testing::Test {
 protected:
  void SetUp() override { line = AttachEmulator(pair, emulator); }
  void TearDown() override {
    form.reset();  // closes the PC end before the line goes
    line.reset();
  }

  TMainForm& Start() {
    form = std::make_unique<TMainForm>(prompts, clock, [this] { return pair.MakePcEnd(); });
    form->FinishStartup();  // what the first show runs
    form->FinishStartupProbe();
    return *form;
  }
  QComboBox* Combo(const char* name) { return form->findChild<QComboBox*>(name); }

  FakeClock clock{Clock::Duration{50}};
  WriterEmulator emulator{clock};
  DevicePair pair;
  std::unique_ptr<EmulatorLine> line;
  ScriptedPrompts prompts;
  std::unique_ptr<TMainForm> form;
};

TEST_F(PortWindow, StartUpProbeReportsTheWriterAndPicksTheCtsHandshake) {
  TMainForm& w = Start();
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Connect OK!"});
  EXPECT_EQ(w.State().PortFailed, 0);
  EXPECT_EQ(w.HandShakeIndex(), 1);
  EXPECT_TRUE(w.Comm1().Enabled());
  EXPECT_EQ(w.Comm1().DeviceName(), "Com1");
  EXPECT_EQ(pair.Settings().baudRate, 115200u);
  // What the port was before the first open is kept for the close.
  EXPECT_EQ(w.State().PortName, "Com2");
}

TEST_F(PortWindow, StartUpProbeFailures) {
  EmulatorFaults silent;
  silent.ctsNeverRaised = true;
  emulator.SetFaults(silent);
  Start();
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Connect COM1 Timeout!!"});
  form.reset();

  prompts.messages.clear();
  emulator.SetFaults({});
  emulator.SetModel(WriterModel::Model1);  // the first device needs model 2
  Start();
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Connect Fail!"});
  form.reset();

  // A port that does not open: no probe and no handshake default.
  prompts.messages.clear();
  pair.FailOpen(ENOENT);
  const std::size_t before = emulator.BytesReceived();
  TMainForm& w = Start();
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Open  COM1 Port Error!!"});
  EXPECT_EQ(w.State().PortFailed, 1);
  EXPECT_EQ(w.HandShakeIndex(), 0);
  EXPECT_EQ(emulator.BytesReceived(), before);

  // The entry guard retries once; it succeeds when the port can be had again.
  EXPECT_FALSE(w.PortReady());
  EXPECT_EQ(prompts.messages.size(), 2u);
  pair.FailOpen(0);
  EXPECT_TRUE(w.PortReady());
  EXPECT_EQ(w.State().PortFailed, 0);
  EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(PortWindow, ChangingPortOrHandshakeReopensAndProbes) {
  TMainForm& w = Start();
  prompts.messages.clear();
  Combo("HandShake")->setCurrentIndex(2);
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Connect OK!"});
  EXPECT_EQ(w.Comm1().FlowControl(), fcNone);
  EXPECT_FALSE(pair.Rts());

  prompts.messages.clear();
  pair.FailOpen(ENOENT);
  Combo("ComboBox1")->setCurrentIndex(3);
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Open  COM4 Port Error!!"});
  EXPECT_EQ(w.State().PortFailed, 1);

  prompts.messages.clear();
  pair.FailOpen(0);
  Combo("ComboBox1")->setCurrentIndex(0);
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Connect OK!"});
  EXPECT_EQ(w.Comm1().DeviceName(), "Com1");
}

TEST_F(PortWindow, AWriterThatGoesAwayUnderTheProbeDoesNotAnswer) {
  TMainForm& w = Start();
  prompts.messages.clear();
  pair.FailIo(EIO);  // the cable is pulled
  Combo("HandShake")->setCurrentIndex(2);
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Connect COM1 Timeout!!"});
  EXPECT_FALSE(w.Comm1().Enabled());
  pair.FailIo(0);  // plugged back: the next command opens the port afresh
  EXPECT_TRUE(w.PortReady());
}

TEST_F(PortWindow, ShutdownPutsBackThePortSettingsOfBeforeTheOpen) {
  TMainForm& w = Start();
  w.ShutdownLink();
  EXPECT_FALSE(w.Comm1().Enabled());
  EXPECT_FALSE(pair.PcOpen());
  EXPECT_EQ(w.Comm1().DeviceName(), "Com2");
  EXPECT_EQ(w.Comm1().BaudRate(), br9600);
}

TEST_F(PortWindow, PulseEditsAreClampedAndFeedTheHeader) {
  TMainForm& w = Start();
  QLineEdit* pulse = w.PulseWidthEdit();
  QLineEdit* erase = w.EraseWidthEdit();
  pulse->setText("200");
  EXPECT_EQ(pulse->text(), "127");
  pulse->setText("");
  EXPECT_EQ(pulse->text(), "5");
  pulse->setText("0");
  EXPECT_EQ(pulse->text(), "1");
  erase->setText("300");
  EXPECT_EQ(erase->text(), "255");
  erase->setText("40");
  EXPECT_EQ(erase->text(), "40");

  HeaderInputs in = w.CurrentHeaderInputs();
  EXPECT_EQ(in.deviceChoice, "K7E1/E3");
  EXPECT_FALSE(in.pulseEditsVisible);  // hidden in the stored window
  EXPECT_EQ(in.pulseWidthText, "1");
  EXPECT_EQ(in.eraseWidthText, "40");
  w.Link().GetHeader(kAreaProgram, kModeErase, in);
  EXPECT_EQ(w.State().CommandHeader[7], 80);
}

// writer-emulator linked as Com1 of the test's port map, as a user runs it.
TEST(PortWindowOverPty, FindsTheEmulatorProgramOnCom1) {
  const std::filesystem::path com1 = PortMapDir() / "com1";
  EmulatorProcess emulator({"--link", "Com1"});
  ASSERT_FALSE(emulator.Path().empty()) << "writer-emulator did not start";
  EXPECT_EQ(std::filesystem::read_symlink(com1).string(), emulator.Path());

  ScriptedPrompts prompts;
  {
    TMainForm form(prompts, SystemClock::Instance());
    form.FinishStartup();
    form.FinishStartupProbe();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Connect OK!"});
    // Com5 leads nowhere.
    prompts.messages.clear();
    form.findChild<QComboBox*>("ComboBox1")->setCurrentIndex(4);
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Open  COM5 Port Error!!"});
    form.ShutdownLink();
  }
  EXPECT_EQ(emulator.Stop(SIGINT), 0);
  // Leave Com1 leading nowhere again for the tests that follow.
  std::error_code ec;
  std::filesystem::remove(com1, ec);
  std::filesystem::create_symlink(PortMapDir() / "no-such-port", com1);
}

}  // namespace
