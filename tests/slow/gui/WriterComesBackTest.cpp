// The Writer goes away in the middle of an Auto Program pass (writer-emulator
// killed, as a cable pulled) and comes back on the same Com1 (started again
// with the same link): the pass ends in its own red line with no message box,
// and "Continue" opens the port afresh and runs a whole pass; so it does when
// the Writer went and came back while the window waited. Real processes,
// paced so the kill lands mid-stream: this takes seconds.

#include <gtest/gtest.h>
#include <signal.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "link/Clock.h"
#include "link/PortMap.h"
#include "ops/gui/TOperationForm.h"
#include "support/EmulatorProcess.h"
#include "support/ScriptedPrompts.h"
#include "support/ShownLines.h"
#include "support/TestMainForm.h"

namespace {

std::vector<std::string> OnCom1(std::vector<std::string> more) {
  std::vector<std::string> args = {"--link", "Com1", "--port-map", PortMapDir().string()};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(WriterComesBack, ContinueAfterTheWriterWasRestartedRunsAWholePass) {
  // 9600 baud and 2 ms a word: the data stage takes seconds.
  auto emulator = std::make_unique<EmulatorProcess>(OnCom1({"--baud", "9600", "--word-time-us", "2000"}));
  ASSERT_FALSE(emulator->Path().empty()) << "writer-emulator did not start";
  ScriptedPrompts prompts;
  TestMainForm form(prompts, SystemClock::Instance());
  ASSERT_EQ(form.State().PortFailed, 0);
  MainState& s = form.State();
  for (int n = 0; n < 64; ++n) s.SetProgramWord(n, static_cast<std::uint16_t>(0x2800 + n));
  s.OptionLow = 0x1A;
  s.OptionHigh = 0x4B;
  form.RefreshData();
  form.CalChecksum();
  ASSERT_EQ(s.OptionErrors, 0);

  bool opened = false;
  form.SetOperationWindowHook([&](QDialog& d) {
    opened = true;
    d.show();
    auto& w = dynamic_cast<TOperationForm&>(d);
    QSignalSpy lost(&w, &TOperationForm::WorkerFinished);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Label("Label2")->text() == "Program Data..."; }, 20000))
        << "no data stage";
    kill(emulator->Pid(), SIGKILL);
    EXPECT_TRUE(lost.wait(20000)) << "the pass did not end";
    // The data stage's own line says the Writer does not answer; no box.
    EXPECT_EQ(w.Label("Label2")->text(), "Connect Timeout!!");
    EXPECT_TRUE(w.IsRed("Label2"));
    EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();

    // Back on the same link, then gone and back once more between passes.
    for (const char* when : {"after a cut pass", "while the window waited"}) {
      SCOPED_TRACE(when);
      emulator.reset();  // the killed one reaped, as a Writer is off before it is back
      emulator = std::make_unique<EmulatorProcess>(OnCom1({}));  // a fresh part in the socket
      if (emulator->Path().empty()) {
        ADD_FAILURE() << "writer-emulator did not start again";
        break;
      }
      QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
      EXPECT_TRUE(w.Button("Button2")->isEnabled());
      w.Button("Button2")->click();
      EXPECT_TRUE(finished.wait(20000)) << "the pass did not end";
      EXPECT_EQ(ShownLines(w), (Texts{"Blank Check ..... OK.", "OPTION program & verify OK!!",
                                      "Data program & verify OK!!", "ID & Checksum verify OK!!"}));
      kill(emulator->Pid(), SIGKILL);
    }
    w.Button("Button1")->click();
    return d.result();
  });
  form.AutoProgram1Click();
  form.SetOperationWindowHook({});
  EXPECT_TRUE(opened);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  EXPECT_EQ(s.Panel.Label13, "2");
  form.ShutdownLink();
}

}  // namespace
