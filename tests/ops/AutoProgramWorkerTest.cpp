// Auto Program passes against the emulated Writer, with serial numbers,
// QTP files, simulation and the pass count.

#include "ops/AutoProgramWorker.h"

#include <filesystem>
#include <fstream>

#include "production/PassLedger.h"
#include "production/QtpFile.h"
#include "production/LedgerStores.h"
#include "ops/ForceWriteWorker.h"
#include "ops/OpsFixture.h"
#include "production/SerialNumber.h"
#include "support/ScriptedPrompts.h"
#include "support/SerialWords.h"

namespace {

using Texts = std::vector<std::string>;

const Texts kGoodPass = {"Blank Check ..... OK.", "OPTION program & verify OK!!", "Data program & verify OK!!",
                         "ID & Checksum verify OK!!"};

class AutoProgramTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    for (int n = 0; n < 1024; ++n) state.SetProgramWord(n, static_cast<std::uint16_t>(0x2800 | (n & 0xFF)));
    state.OptionLow = 0x7A;  // the device forces its oscillator bits to 1010b
    state.OptionHigh = 0x5F;
    state.OptionErrors = 0;
    state.Panel.Label11 = "1A2B";
  }
  // Serial words at 0x100..0x101, number 0x1234, sequential by 1.
  void SerialMode() { UseSerialNumbers(state); }
  // One pass on a fresh blank part, as "Continue" runs it; its outcome is in `outcome`.
  PassRecord Pass(bool freshPart = true) {
    if (freshPart) emulator.SetIc(*IcDescription::ForDevice("K7E1/E3"));
    if (!panel)
      panel = std::make_unique<RecordingPanel>(AutoProgramLayout());
    else
      AutoProgramContinueReset(*panel);
    OperationContext ctx{state, link, clock, HeaderInputs{"K7E1/E3"}, {}, *panel, handover, &prompts};
    ctx.ledger = ledger;
    outcome = AutoProgramWorker(ctx);
    EXPECT_TRUE(panel->IsEnabled("Button1"));
    return *outcome.pass;
  }
  std::uint16_t PartSerial() const {
    return static_cast<std::uint16_t>(((emulator.ProgramWord(0x100) & 0xFF) << 8) | (emulator.ProgramWord(0x101) & 0xFF));
  }
  std::unique_ptr<RecordingPanel> panel;
  ScriptedPrompts prompts;
};

TEST_F(AutoProgramTest, BatchStampsEachPartWithTheNextNumber) {
  SerialMode();
  state.Panel.Label13 = "41";
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const PassRecord pass = Pass();
    EXPECT_EQ(panel->Lines(), kGoodPass);
    EXPECT_TRUE(outcome.Succeeded());
    EXPECT_TRUE(pass.counted);
    EXPECT_TRUE(panel->IsEnabled("Button2"));
    EXPECT_EQ(PartSerial(), 0x1234 + i);  // what the part holds
    EXPECT_EQ(state.Panel.Label13, std::to_string(42 + i));
    EXPECT_EQ(state.Panel.Label15, HexDigits(0x1235 + i, 4));  // stamped for the next part
    EXPECT_EQ(emulator.ProgramWord(0x100) >> 8, 0x31);
  }
  EXPECT_EQ(panel->Text("StaticText1"), "Auto-Program");
}

TEST_F(AutoProgramTest, PartThatIsNotBlankIsNeverWritten) {
  IcDescription used = *IcDescription::ForDevice("K7E1/E3");
  used.program = {0x3FFF, 0x1111};
  emulator.SetIc(used);
  const std::size_t before = emulator.HeadersAccepted();
  const PassRecord pass = Pass(false);
  EXPECT_EQ(panel->Lines(), Texts{"error: Device not blank!!"});
  EXPECT_FALSE(pass.counted);
  EXPECT_EQ(state.Panel.Label13, "0");
  EXPECT_EQ(emulator.ProgramWord(1), 0x1111);
  EXPECT_EQ(emulator.ProgramWord(0), 0x3FFF);
  EXPECT_EQ(emulator.OptionWord(), 0x3FFF);
  EXPECT_EQ(emulator.HeadersAccepted() - before, 3u);  // the three reads, nothing else
}

TEST_F(AutoProgramTest, WithoutBlankCheckAndGuards) {
  state.NoBlankCheck = 1;
  Pass();
  EXPECT_EQ(panel->Text("StaticText1"), "Auto-Program without Blank Check");
  EXPECT_EQ(panel->Lines(), (Texts{"OPTION program & verify OK!!", "Data program & verify OK!!",
                                   "ID & Checksum verify OK!!"}));
  state.OptionErrors = 3;
  Pass();
  EXPECT_EQ(panel->Lines(), Texts{"error: Some Options are Blank or error!"});
  state.OptionErrors = 0;
  SerialMode();
  state.SetProgramWord(0x101, 0x3200);
  Pass();
  EXPECT_EQ(panel->Lines(), Texts{"error: The program memory is not 'RTIW'"});
  state.SetProgramWord(0x101, 0x3180);  // bit 0 of the second byte is the literal's bit 7
  Pass();
  EXPECT_TRUE(outcome.Succeeded());
}

TEST_F(AutoProgramTest, IdDifferenceIsReportedAndThePassStillCounts) {
  // Hand-overs of a pass: inputs, stamp, image check, ID, caption, image copy,
  // caption again for the ID compare. The caption changes before the compare.
  MeddlingHandover meddling(7, [this] { state.Panel.Label11 = "5678"; });
  panel = std::make_unique<RecordingPanel>(AutoProgramLayout());
  OperationContext ctx{state, link, clock, HeaderInputs{"K7E1/E3"}, {}, *panel, meddling, &prompts};
  outcome = AutoProgramWorker(ctx);
  EXPECT_EQ(panel->Lines(), (Texts{"Blank Check ..... OK.", "OPTION program & verify OK!!",
                                   "Data program & verify OK!!", "error: Checksum verify fail!!"}));
  EXPECT_TRUE(outcome.pass->counted);
  EXPECT_EQ(state.Panel.Label13, "1");
  EXPECT_FALSE(outcome.Succeeded());
}

TEST_F(AutoProgramTest, FailuresStopThePassUncounted) {
  struct Case {
    const char* name;
    EmulatorFaults faults;
    Texts lines;
  };
  // Bytes of a pass: probe 1, three blank-check headers 30, OPTION header 10
  // and 2 data bytes, ID header 10 and 16 bytes, program header 10, stream.
  const std::vector<Case> cases = {
      {"OPTION write fails", MakeFaults([](EmulatorFaults& f) { f.failAtByte = 0; }),
       {"Blank Check ..... OK.", "error: OPTION program fail !!"}},
      {"silent in the stream", MakeFaults([](EmulatorFaults& f) { f.silenceAfter = 1 + 30 + 12 + 26 + 10 + 64; }),
       {"Blank Check ..... OK.", "error: Connect Timeout!!", "0010"}},
      {"empty socket", MakeFaults([](EmulatorFaults& f) { f.emptySocket = true; }),
       {"error: Nothing in socket or type error!!"}},
      {"part lifted out mid-stream", MakeFaults([](EmulatorFaults& f) { f.socketEmptiedAt = 100; }),
       {"Blank Check ..... OK.", "error: Nothing in socket or type error!", "0030"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emulator.SetIc(*IcDescription::ForDevice("K7E1/E3"));
    SetFaults(c.faults);
    const auto pass = Pass(false);
    EXPECT_EQ(panel->Lines(), c.lines);
    EXPECT_FALSE(pass.counted);
    EXPECT_TRUE(panel->IsEnabled("Button2"));
  }
  EXPECT_EQ(state.Panel.Label13, "0");
}

TEST_F(AutoProgramTest, FlashPartIsErasedFirst) {
  IcDescription flash = *IcDescription::ForDevice("K7E1/E3");
  flash.flash = true;
  flash.program = {0x0000, 0x1234};
  emulator.SetIc(flash);
  state.EraseFirst = 1;
  Pass(false);
  EXPECT_EQ(panel->Lines(), (Texts{"Blank Check ..... OK.", "Erase End", "OPTION program & verify OK!!",
                                   "Data program & verify OK!!", "ID & Checksum verify OK!!"}));
  state.NoBlankCheck = 1;
  emulator.SetIc(flash);
  Pass(false);
  EXPECT_FALSE(outcome.Succeeded());  // without the erase the old bits stay
}

TEST_F(AutoProgramTest, SimulationNeverTouchesTheWriter) {
  SerialMode();
  ToggleSimulation(state);
  EXPECT_EQ(state.Panel.SpeedButton1, "QTP Sim Disable");
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Pass(false).counted);
    EXPECT_TRUE(panel->Lines().empty());
  }
  EXPECT_EQ(emulator.BytesReceived(), 0u);
  EXPECT_EQ(state.Panel.Label13, "3");
  EXPECT_EQ(state.Panel.Label15, "1237");
}

// After its last or a broken record the file is no longer in use: serial
// numbers set up afterwards count on instead of reading a closed file.
void ExpectQtpRunEnded(const MainState& s) {
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(s.QtpMode, 0);
  EXPECT_EQ(s.QtpEnd, 0);
  EXPECT_EQ(s.QtpRecord, 0);
  EXPECT_EQ(s.Panel.Label19, "Disable");
  EXPECT_EQ(s.QtpIn, nullptr);
}

TEST_F(AutoProgramTest, QtpFileEndingMidBatch) {
  SerialMode();
  MainState writer = state;
  const std::string path = ::testing::TempDir() + "/batch.txt";
  std::ofstream(path, std::ios::binary) << QtpFileText(writer, 2);
  ASSERT_TRUE(LoadQtpFile(state, path, prompts));
  EXPECT_EQ(state.Panel.Label19, "batch.txt");
  EXPECT_EQ(state.Panel.Label15, "1234");
  auto pass = Pass();
  EXPECT_EQ(PartSerial(), 0x1234);
  EXPECT_FALSE(pass.batchOver);
  pass = Pass();
  EXPECT_EQ(PartSerial(), 0x1235);
  EXPECT_TRUE(pass.qtpFinished);
  EXPECT_EQ(prompts.LastText(), "QTP Program Finished!");
  EXPECT_FALSE(panel->IsEnabled("Button2"));
  ExpectQtpRunEnded(state);
  SerialMode();  // sequential numbers again
  prompts.messages.clear();
  EXPECT_FALSE(Pass().batchOver);
  EXPECT_TRUE(prompts.messages.empty());
  std::filesystem::remove(path);
}

TEST_F(AutoProgramTest, BrokenQtpRecordEndsTheBatch) {
  SerialMode();
  const std::string path = ::testing::TempDir() + "/broken.txt";
  std::ofstream(path, std::ios::binary) << QtpRecordText(state) << ":04010000123134314X\r\n";
  ASSERT_TRUE(LoadQtpFile(state, path, prompts));
  const auto pass = Pass();
  EXPECT_TRUE(pass.counted);
  EXPECT_TRUE(pass.batchOver);
  EXPECT_EQ(prompts.LastText(), "File data error!");
  EXPECT_FALSE(panel->IsEnabled("Button2"));
  ExpectQtpRunEnded(state);
  std::filesystem::remove(path);
}

TEST_F(AutoProgramTest, QtpLoadRefusesWordsThatAreNotRtiw) {
  const std::string path = ::testing::TempDir() + "/far.txt";
  MainState far;
  far.SerialAddress = 0xFFF0;
  std::ofstream(path, std::ios::binary) << QtpRecordText(far) << kQtpEndRecord;
  EXPECT_FALSE(LoadQtpFile(state, path, prompts));
  EXPECT_EQ(prompts.LastText(), "The program memory is not 'RTIW'");
  EXPECT_EQ(state.QtpMode, 0);
  EXPECT_EQ(state.SerialMode, 0);
  EXPECT_EQ(state.QtpIn, nullptr);
  std::filesystem::remove(path);
}

// Passes drawing their numbers from a part ledger (a SQLite file of the test's own).
class LedgerPassTest : public AutoProgramTest {
 protected:
  void SetUp() override {
    AutoProgramTest::SetUp();
    SerialMode();
    store = place.Open();
  }
  // A station's run: the job opened from the state, as a front end opens it.
  std::unique_ptr<PassLedger> Station(const std::string& job = "example", const std::string& qtp = {},
                                      std::optional<LedgerPolicy> policy = {}) {
    const auto opening = store->OpenJob(JobSpecOf(state, job, qtp, policy));
    EXPECT_NE(opening.outcome, JobOpening::Outcome::Refused) << opening.message;
    auto shared = std::shared_ptr<Ledger>(store.get(), [](Ledger*) {});
    auto station = std::make_unique<PassLedger>(shared, job, "bench1", "Com1",
                                                qtp.empty() ? QtpRecordReader{} : QtpFileRecords(qtp, false));
    ledger = station.get();
    return station;
  }
  // "serial result stage" of every pass, oldest first.
  Texts Recorded() {
    Texts out;
    for (const auto& p : store->List())
      out.push_back(p.serial + " " + p.result + (p.stage.empty() ? "" : " " + p.stage));
    return out;
  }
  LedgerPlace place{Store::Sqlite};
  std::unique_ptr<Ledger> store;
};

TEST_F(LedgerPassTest, RunsOneAfterAnotherNeverReissueANumber) {
  for (int run = 0; run < 2; ++run) {
    state.SerialValue = {0x34, 0x12};  // as the configuration file puts it back every run
    const auto station = Station();
    for (int i = 0; i < 2; ++i) {
      EXPECT_TRUE(Pass().counted);
      EXPECT_EQ(PartSerial(), 0x1234 + 2 * run + i);
      EXPECT_EQ(state.Panel.Label15, HexDigits(0x1235 + 2 * run + i, 4));  // the ledger's next
    }
  }
  EXPECT_EQ(Recorded(), (Texts{"1234 ok", "1235 ok", "1236 ok", "1237 ok"}));
  EXPECT_EQ(store->List().back().passCount, 4);
}

TEST_F(LedgerPassTest, HowAPassEndsDecidesItsNumber) {
  const auto station = Station("example", {}, LedgerPolicy::ReuseFailed);
  IcDescription used = *IcDescription::ForDevice("K7E1/E3");
  used.program = {0x3FFF, 0x1111};
  emulator.SetIc(used);
  Pass(false);  // not blank: the number goes to the next part
  SetFaults(MakeFaults([](EmulatorFaults& f) { f.socketEmptiedAt = 100; }));
  emulator.SetIc(*IcDescription::ForDevice("K7E1/E3"));
  Pass(false);  // lifted out mid-stream: the part may carry the number
  SetFaults({});
  Pass();
  EXPECT_EQ(PartSerial(), 0x1235);
  ToggleSimulation(state);
  Pass(false);
  EXPECT_EQ(Recorded(), (Texts{"1234 failed blank_check", "1234 failed program", "1235 ok", "1236 simulated"}));
  EXPECT_EQ(store->List()[0].message, "Device not blank!!");
}

TEST_F(LedgerPassTest, StoppedPassIsInterruptedAndItsNumberUsedUp) {
  const auto station = Station();
  auto stopper = std::make_unique<std::stop_source>();
  panel = std::make_unique<RecordingPanel>(AutoProgramLayout());
  HookedHandover stopAfterStamp(2, [&] { stopper->request_stop(); });
  OperationContext ctx{state, link, clock, HeaderInputs{"K7E1/E3"}, stopper->get_token(), *panel, stopAfterStamp};
  ctx.ledger = ledger;
  outcome = AutoProgramWorker(ctx);
  EXPECT_EQ(outcome.result, OpResult::Stopped);
  EXPECT_FALSE(ledger->PassOpen());
  Pass();
  EXPECT_EQ(Recorded(), (Texts{"1234 interrupted", "1235 ok"}));
}

TEST_F(LedgerPassTest, WindowClosedAndStationKilledLeaveInterruptedPasses) {
  PassStart part;
  part.numbered = true;
  const auto closed = Station();
  EXPECT_EQ(closed->Begin(part).pass.serial, "1234");
  EXPECT_TRUE(closed->Interrupt());  // the window closed mid-pass
  EXPECT_FALSE(closed->PassOpen());
  EXPECT_EQ(Station()->Begin(part).pass.serial, "1235");  // never ended: the station died
  const auto texts = Station()->RecoverInterrupted();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("on station bench1, Com1, at "), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find(" UTC, serial 1235: check that part"), std::string::npos) << texts[0];
  EXPECT_EQ(Recorded(), (Texts{"1234 interrupted", "1235 interrupted"}));
}

TEST_F(LedgerPassTest, RefusedPassNeverTouchesTheWriter) {
  state.SerialLength = 1;
  state.SerialStep = 0x80;
  state.SerialValue = {0x00};
  const auto station = Station("tiny");
  EXPECT_TRUE(Pass().counted);
  EXPECT_TRUE(Pass().counted);  // 00, 80, then the sequence is back at its start
  const auto sent = emulator.BytesReceived();
  const PassRecord refused = Pass();
  EXPECT_EQ(outcome.verdict, Verdict::LedgerRefused);
  EXPECT_TRUE(refused.batchOver);
  EXPECT_EQ(panel->Lines(), Texts{"error: Job tiny is used up: no serial number is left"});
  EXPECT_EQ(emulator.BytesReceived(), sent);
  EXPECT_EQ(Recorded(), (Texts{"00 ok", "80 ok"}));
}

TEST_F(LedgerPassTest, QtpJobGoesOnWhereTheLastRunEnded) {
  MainState writer = state;
  const std::string path = ::testing::TempDir() + "/ledger-qtp.txt";
  std::ofstream(path, std::ios::binary) << QtpFileText(writer, 3);
  std::unique_ptr<PassLedger> station;
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(LoadQtpFile(state, path, prompts));
    station = Station("qtp", path);
    Pass();
    EXPECT_EQ(PartSerial(), 0x1234 + run);
  }
  EXPECT_TRUE(Pass().qtpFinished);
  EXPECT_EQ(PartSerial(), 0x1236);
  EXPECT_EQ(prompts.LastText(), "QTP Program Finished!");
  EXPECT_EQ(store->List().back().qtpRecord, 3);
  std::filesystem::remove(path);
}

TEST_F(LedgerPassTest, ForceWriteIsRecordedUnnumbered) {
  const auto station = Station();
  state.SerialMode = 0;
  Run(ForceWriteLayout(), ForceWriteWorker);
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_EQ(Recorded(), Texts{" ok"});
  EXPECT_EQ(store->List()[0].job, "example");
}

}  // namespace
