// The window's Auto Program passes through the part ledger: recorded, refused
// before any byte, interrupted passes reported once, a window closed mid-pass.

#include <QLabel>

#include "app/gui/OffGuiThread.h"
#include "ops/gui/ProgrammingFixture.h"
#include "production/Ledger.h"
#include "support/FaultyStore.h"
#include "support/ShownLines.h"
#include "production/WriterSettings.h"
#include "production/gui/TLedgerForm.h"

namespace {

class LedgerPassesTest : public ProgrammingTest {
 protected:
  // The test asks the ledger off the GUI thread, as the window does.
  std::vector<LedgerRecord> Passes() {
    return OffGuiThread([] { return OpenLedger({})->List(); });
  }
};

TEST_F(LedgerPassesTest, APassIsRecordedAndTheNextNumberShown) {
  Loaded();
  SerialNumbers();
  const WindowEnd end = RunToEnd(&TMainForm::AutoProgram1Click);
  ASSERT_TRUE(end.opened);
  EXPECT_EQ(prompts.Texts(), Texts{"New job untitled: serial numbers from 1234"});
  EXPECT_EQ(PartSerial(), 0x1234);
  const auto passes = Passes();
  ASSERT_EQ(passes.size(), 1u);
  EXPECT_EQ(passes[0].job, "untitled");
  EXPECT_EQ(passes[0].serial, "1234");
  EXPECT_EQ(passes[0].result, "ok");
  EXPECT_EQ(passes[0].port, "Com1");
  EXPECT_EQ(passes[0].station, DefaultStationName());
  EXPECT_NE(Main().LedgerStatusText().find("Next 1235"), std::string::npos) << Main().LedgerStatusText();
  EXPECT_EQ(TLedgerForm(Main()).JobText()->text().toStdString(),
            "Job untitled\nSequential, 2 bytes at 0100h, increment 1, MSB first, first number 1234\n"
            "Next number: 1235\nPolicy: reuse-failed\n"
            "Passes: ok 1, failed 0, interrupted 0, simulated 0, open 0");

  // The job's next number rules over what a configuration puts back.
  FreshPart();
  prompts.messages.clear();
  Main().State().SerialValue = {0x34, 0x12};
  ASSERT_TRUE(RunToEnd(&TMainForm::AutoProgram1Click).opened);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(PartSerial(), 0x1235);
}

TEST_F(LedgerPassesTest, RefusedBeforeAnyByte) {
  Loaded();
  SerialNumbers();
  {
    JobSpec spec{"untitled", JobKind::Serial, SerialSettingsOf(Main().State()), {}, {}, {}, {}};
    spec.serial.increment = 2;
    ASSERT_EQ(OffGuiThread([&] { return OpenLedger({})->OpenJob(spec).outcome; }), JobOpening::Outcome::Created);
  }
  const struct {
    const char* name;
    std::function<void()> setUp;
    const char* message;
  } cases[] = {
      {"settings differ from the job's", [] {}, "Job untitled"},
      {"ledger cannot be opened",
       [this] {
         ASSERT_TRUE(SaveWriterSetting(Main().State().StartDir, "Ledger", "no/such/folder/l.sqlite", nullptr));
         Main().InitLedger();
         SettleLedger(Main());
       },
       "Passes with serial numbers need the part ledger"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.setUp();
    prompts.messages.clear();
    // The pass's window never opens: only the port's entry guard spoke to the Writer.
    EXPECT_FALSE(RunCommand(&TMainForm::AutoProgram1Click, [](QDialog&) {}));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].text.find(c.message), std::string::npos) << prompts.messages[0].text;
    EXPECT_TRUE(Passes().empty());
  }
  // Without serial numbers the pass goes on, unrecorded.
  Main().State().SerialMode = 0;
  EXPECT_TRUE(RunToEnd(&TMainForm::AutoProgram1Click).opened);
}

TEST_F(LedgerPassesTest, InterruptedPassesOfThisStationAndPortReportedOnce) {
  Loaded();
  SerialNumbers();
  {
    std::shared_ptr<Ledger> ledger = OffGuiThread([] { return std::shared_ptr<Ledger>(OpenLedger({})); });
    OffGuiThread([&] { ledger->OpenJob({"untitled", JobKind::Serial, SerialSettingsOf(Main().State()), {}, {}, {}, {}}); });
    PassStart start;
    start.job = "untitled";
    start.station = DefaultStationName();
    start.port = "Com1";
    ASSERT_EQ(OffGuiThread([&] { return ledger->Reserve(start).outcome; }), ReserveResult::Outcome::Reserved);
    start.port = "Com2";  // another port's is left alone
    ASSERT_EQ(OffGuiThread([&] { return ledger->Reserve(start).outcome; }), ReserveResult::Outcome::Reserved);
  }
  ASSERT_TRUE(RunToEnd(&TMainForm::AutoProgram1Click).opened);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text.rfind("Part interrupted on station " + DefaultStationName() + ", Com1, at ", 0),
            0u) << prompts.messages[0].text;
  EXPECT_NE(prompts.messages[0].text.find("serial 1234: check that part"), std::string::npos);
  // The next number after the interrupted and the Com2 one.
  EXPECT_EQ(PartSerial(), 0x1236);
  FreshPart();
  prompts.messages.clear();
  ASSERT_TRUE(RunToEnd(&TMainForm::AutoProgram1Click).opened);
  EXPECT_TRUE(prompts.messages.empty());
}

// The ledger lost as the program memory is about to be written: the window
// says why, no byte of it goes out, and the batch has no next part.
TEST_F(LedgerPassesTest, ALedgerLostAtTheStreamMarkEndsTheBatchInTheWindow) {
  Loaded();
  SerialNumbers();
  auto plan = std::make_shared<FaultPlan>();
  FaultyLedgerOpener opener(plan);
  Fault lose;
  lose.what = Fault::Lose;
  lose.when = "SET stream_started";
  plan->Add(lose);
  bool continueOffered = true;
  RunCommand(&TMainForm::AutoProgram1Click, [&](QDialog& d) {
    auto& w = dynamic_cast<TOperationForm&>(d);
    QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
    ASSERT_TRUE(finished.wait(20000));
    const Texts lines = ShownLines(w);
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.rfind("error: Ledger error: ", 0) == 0; }),
              lines.end())
        << testing::PrintToString(lines);
    continueOffered = w.Button("Button2")->isEnabled();
    w.Button("Button1")->click();
  });
  EXPECT_FALSE(continueOffered);
  EXPECT_EQ(emulator.ProgramWord(0x100), 0x3FFF);  // no number reached the part
}

using LedgerPassesPaced = OnPacedLine<LedgerPassesTest>;

TEST_F(LedgerPassesPaced, AWindowClosedMidPassEndsItInterrupted) {
  Loaded();
  SerialNumbers();
  RunCommand(&TMainForm::AutoProgram1Click, [&](QDialog& w) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return emulator.BytesReceived() > 40; }, 5000));
    ASSERT_TRUE(dynamic_cast<TOperationForm&>(w).WorkerRunning());
    w.close();
  });
  const auto passes = Passes();
  ASSERT_EQ(passes.size(), 1u);
  EXPECT_EQ(passes[0].result, "interrupted");
  EXPECT_EQ(passes[0].serial, "1234");
}

}  // namespace
