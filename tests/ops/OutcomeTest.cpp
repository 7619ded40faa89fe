// What an operation came to, as a value: the stage, the verdict with its link
// status and the address and values it names, as writer-cli's exit status,
// --json and the production log take them. The texts the window shows for
// the same ends are asserted by each worker's own table and the fault matrix.

#include "ops/Outcome.h"

#include <stdexcept>

#include "ops/BlankCheckWorker.h"
#include "ops/ForceWriteWorker.h"
#include "ops/OpsFixture.h"
#include "ops/ProgramMemoryWorker.h"
#include "ops/ProgramOptionWorker.h"
#include "ops/ReadIcWorker.h"
#include "ops/VerifyWorker.h"

namespace {

using OutcomeTest = OpsTest;

TEST_F(OutcomeTest, WorkersNameTheStageVerdictAndValues) {
  struct Case {
    const char* name;
    std::function<void(MainState&, WriterEmulator&)> setUp;
    const OperationLayout& layout;
    Worker worker;
    OpResult result;
    OpStage stage;
    Verdict verdict;
    std::int32_t link;
    std::optional<std::uint32_t> address, ic, buffer;
    int meddleAt = 0;  // the hand-over before which the window's buffer changes
  } cases[] = {
      {"blank check, data at word 2",
       [](MainState&, WriterEmulator& e) { e.SetProgramWord(2, 0x1234); },
       BlankCheckLayout(), BlankCheckWorker, OpResult::Failed, OpStage::BlankCheck, Verdict::NotBlank, 0, 2,
       0x1234, {}},
      {"verify of a blank part, word 0x10 differs",
       [](MainState& s, WriterEmulator&) {
         s.BlankProgram();
         s.BlankId();
         s.Panel.Label11 = std::string(4, '\x7F');  // as a blank part's ID bytes 12 to 15 read
         s.SetProgramWord(0x10, 0x0155);
       },
       VerifyLayout(), VerifyWorker, OpResult::Failed, OpStage::ProgramVerify, Verdict::Differs, 0, 0x10, 0x3FFF,
       0x0155},
      {"program memory over a cleared bit",
       [](MainState& s, WriterEmulator& e) {
         s.SetProgramWord(40, 0x0001);
         e.SetProgramWord(40, 0x0000);
       },
       ProgramMemoryLayout(), ProgramMemoryWorker, OpResult::Failed, OpStage::Program, Verdict::WriteFailed, 0, 40,
       {}, {}},
      {"read with the socket empty",
       [](MainState&, WriterEmulator& e) { e.SetFaults(MakeFaults([](EmulatorFaults& f) { f.emptySocket = true; })); },
       ReadIcLayout(), ReadIcWorker, OpResult::Failed, OpStage::Option, Verdict::Link, kLinkSocketError, {}, {}, {}},
      {"OPTION fields blank",
       [](MainState& s, WriterEmulator&) { s.OptionErrors = 1; },
       ProgramOptionLayout(), ProgramOptionWorker, OpResult::Failed, OpStage::Check, Verdict::OptionFields, 0, {}, {},
       {}},
      {"force write simulated",
       [](MainState& s, WriterEmulator&) { s.SimMode = 1; },
       ForceWriteLayout(), ForceWriteWorker, OpResult::Simulated, OpStage::Count, Verdict::None, 0, {}, {}, {}},
      // The compare takes the buffer as it stands then: word 3 was cleared meanwhile.
      {"force write, the part differs where it is compared", [](MainState& s, WriterEmulator&) { s.BlankProgram(); },
       ForceWriteLayout(), ForceWriteWorker, OpResult::Failed, OpStage::ProgramVerify, Verdict::Differs, 0, 3,
       0x3FFF, 0x0000, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MainState fresh;
    state = fresh;
    state.DeviceIndex = GetICInfo(state, "K7E1/E3");
    emulator.SetFaults({});
    emulator.SetIc(*IcDescription::ForDevice("K7E1/E3"));
    c.setUp(state, emulator);
    line->Poke();
    auto panel = std::make_unique<RecordingPanel>(c.layout);
    MeddlingHandover via(c.meddleAt, [this] { state.SetProgramWord(3, 0x0000); });
    RunWith(*panel, via, c.worker);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.stage, c.stage);
    EXPECT_EQ(outcome.verdict, c.verdict);
    EXPECT_EQ(outcome.link, c.link);
    EXPECT_EQ(outcome.address, c.address);
    EXPECT_EQ(outcome.ic, c.ic);
    EXPECT_EQ(outcome.buffer, c.buffer);
    // The failing text is one the window shows.
    if (outcome.Failed()) {
      const auto lines = panel->Lines();
      EXPECT_TRUE(std::find(lines.begin(), lines.end(), outcome.text) != lines.end() ||
                  std::find(lines.begin(), lines.end(), "error: " + outcome.text) != lines.end())
          << outcome.text;
    }
  }
}

TEST(Outcome, TheFirstFailureIsTheVerdictAndItsStageStays) {
  Outcome out;
  EXPECT_EQ(out.result, OpResult::Stopped);  // nothing ran to its end yet
  out.Enter(OpStage::IdVerify);
  EXPECT_FALSE(out.Fail(Verdict::Differs, "ID verify fail!!"));
  out.Enter(OpStage::OptionVerify);
  out.Fail(Verdict::Differs, "OPTION verify Fail!!", 0, {{}, 1, 2});
  out.Done();
  EXPECT_EQ(out.result, OpResult::Failed);
  EXPECT_EQ(out.stage, OpStage::IdVerify);
  EXPECT_EQ(out.text, "ID verify fail!!");
  EXPECT_EQ(out.ic, std::nullopt);
  // A line that fails under the operation is what ended it.
  out.EndByLineFault("Write error (Error: 5) ");
  EXPECT_EQ(out.verdict, Verdict::LineFault);
  EXPECT_EQ(out.stage, OpStage::IdVerify);
  EXPECT_FALSE(out.Succeeded());
}

TEST(RecordingPanel, AControlTheWindowLacksFailsInsteadOfBeingInvented) {
  RecordingPanel panel(BlankCheckLayout());
  EXPECT_THROW(panel.SetText("Label9", "x"), std::invalid_argument);
  EXPECT_THROW(panel.SetEnabled("Button2", true), std::invalid_argument);
  EXPECT_THROW(panel.Text("EEInfo"), std::invalid_argument);
  EXPECT_NO_THROW(panel.Red("Label5", "x"));
  EXPECT_NO_THROW(panel.SetText(kTitleControl, "Blank Check"));
}

}  // namespace
