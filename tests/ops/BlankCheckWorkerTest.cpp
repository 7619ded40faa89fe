// Blank check and erase against the emulated Writer.

#include "ops/BlankCheckWorker.h"

#include "ops/OpsFixture.h"

namespace {

using Texts = std::vector<std::string>;

class BlankCheckTest : public OpsTest {
 protected:
  std::unique_ptr<RecordingPanel> Check(bool erase = false) {
    state.EraseFirst = erase ? 1 : 0;
    auto panel = Run(BlankCheckLayout(), BlankCheckWorker);
    EXPECT_TRUE(panel->IsEnabled("Button1"));
    return panel;
  }
  Texts Shown(bool erase = false) { return Check(erase)->Lines(); }
};


TEST_F(BlankCheckTest, BlankPartPassesEveryLine) {
  auto panel = Check();
  EXPECT_EQ(panel->Lines(), (Texts{"OPTION ....... OK", "ID Checksum ......... OK.", "Data ......... OK."}));
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_EQ(panel->Text("StaticText1"), "Blank Check");
  EXPECT_FALSE(panel->IsVisible("Label1"));
}

TEST_F(BlankCheckTest, NoDeviceNeverTouchesTheWriter) {
  state.DeviceIndex = -1;
  auto panel = Check();
  EXPECT_EQ(panel->Lines(), Texts{"Unknow IC Type!!"});  // not red
  EXPECT_EQ(emulator.BytesReceived(), 0u);
  EXPECT_FALSE(outcome.Succeeded());
}

TEST_F(BlankCheckTest, OptionOutsideTheMasksStillBlank) {
  // K7E1/E3 implements low-half bits 4-6 and high-half bits 0-4 and 6 only.
  emulator.SetOptionWord(0x3FF0 & ~(1u << 12));
  EXPECT_EQ(Shown()[0], "OPTION ....... OK");
  emulator.SetOptionWord(0x3FEF);
  EXPECT_EQ(Shown(), Texts{"OPTION ....... Not Blank!!"});
}

TEST_F(BlankCheckTest, IdLooksAtTheFirstSixteenBytesOnly) {
  EXPECT_EQ(Shown()[1], "ID Checksum ......... OK.");  // the Writer's own bytes 16-31 are not blank
  IcDescription ic = emulator.Ic();
  ic.id = {0x7F, 0x7F, 0x7F, 0x41};
  emulator.SetIc(ic);
  auto panel = Check();
  EXPECT_EQ(panel->Lines(), (Texts{"OPTION ....... OK", "error: ID Checksum ....... Not Blank!!"}));
}

TEST_F(BlankCheckTest, FirstNonBlankByteNamesItsWord) {
  // Index 5 is the high half of word 2: value then "h"; index 4 the low half: "0x" form.
  emulator.SetProgramWord(2, PackedWord(0x7F, 0x02));
  EXPECT_EQ(Shown(), (Texts{"OPTION ....... OK", "ID Checksum ......... OK.", "Data ....... Not Blank!!",
                            "Error at 0002h = 017Fh"}));
  emulator.SetProgramWord(2, PackedWord(0x05, 0x02));
  EXPECT_EQ(Shown().back(), "Error at 0002h = 0x0105");
}

TEST_F(BlankCheckTest, LastWordOfThePart) {
  emulator.SetProgramWord(1023, 0x3FFE);
  EXPECT_EQ(Shown().back(), "Error at 03FFh = 0x3FFE");
}

struct FaultCase {
  const char* name;
  EmulatorFaults faults;
  Texts lines;
  const char* redLine;
};

TEST_F(BlankCheckTest, FailuresEndInTheirStageLine) {
    const std::vector<FaultCase> cases = {
      {"empty socket", MakeFaults([](EmulatorFaults& f) { f.emptySocket = true; }), {"error: Nothing in socket or type error!!"}, "Label2"},
      {"adapter", MakeFaults([](EmulatorFaults& f) { f.adapterError = true; }), {"error: IC adapter board error!!"}, "Label2"},
      {"no answer to the probe", MakeFaults([](EmulatorFaults& f) { f.ctsNeverRaised = true; }), {"error: Connect Timeout!!"}, "Label3"},
      {"garbage", MakeFaults([](EmulatorFaults& f) { f.garbage = true; }), {"error: Writer Error!!"}, "Label2"},
      {"silent after the ID header", MakeFaults([](EmulatorFaults& f) { f.silenceAfter = 1 + 10 + 9; }),
       {"OPTION ....... OK", "error: Connect Timeout!!"}, "Label3"},
      {"silent after the data header", MakeFaults([](EmulatorFaults& f) { f.silenceAfter = 1 + 10 + 10 + 9; }),
       {"OPTION ....... OK", "ID Checksum ......... OK.", "error: Connect Timeout!!"}, "Label4"},
      // An ID read one byte short is taken, its last byte is never looked at;
      // a short OPTION or data read is not.
      {"ID one byte short, data short", MakeFaults([](EmulatorFaults& f) { f.earlyEndAfter = 31; }),
       {"OPTION ....... OK", "ID Checksum ......... OK.", "error: Writer Error!!"}, "Label4"},
      {"ID two bytes short", MakeFaults([](EmulatorFaults& f) { f.earlyEndAfter = 30; }),
       {"OPTION ....... OK", "error: Writer Error!!"}, "Label3"},
      {"OPTION one byte short", MakeFaults([](EmulatorFaults& f) { f.earlyEndAfter = 1; }),
       {"error: Writer Error!!"}, "Label2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetFaults(c.faults);
    auto panel = Check();
    EXPECT_EQ(panel->Lines(), c.lines);
    EXPECT_TRUE(panel->IsRed(c.redLine));
    EXPECT_FALSE(outcome.Succeeded());
  }
}

TEST_F(BlankCheckTest, EraseThenCheckOnAFlashPart) {
  IcDescription ic = emulator.Ic();
  ic.flash = true;
  ic.program = {0x0123, 0x0456};
  emulator.SetIc(ic);
  state.MemoryKind = 2;
  auto panel = Check(true);
  EXPECT_EQ(panel->Text("StaticText1"), "Erase Flash Memory");
  EXPECT_EQ(panel->Lines(),
            (Texts{"Erase End", "OPTION ....... OK", "ID Checksum ......... OK.", "Data ......... OK."}));
  EXPECT_EQ(emulator.ProgramWord(0), 0x3FFF);
}

TEST_F(BlankCheckTest, EraseRefusedByAnOtpPart) {
  auto panel = Check(true);
  EXPECT_EQ(panel->Lines(), (Texts{"error: Nothing in socket or type error!!"}));
  EXPECT_TRUE(panel->IsRed("Label1"));
}

// Only the end mark says the part is erased; "send the data" (0xB5) is no
// erase, and nothing is read after it.
TEST_F(BlankCheckTest, EraseHeaderAnsweredOtherThanDone) {
  using Bytes = std::vector<std::uint8_t>;
  const std::vector<std::pair<std::uint8_t, std::string>> cases = {
      {0xB5, "error: Writer Error!!"},
      {0xB0, "error: Writer Error!!"},
      {0xFD, "error: IC adapter board error!!"},
      {0xFE, "error: Nothing in socket or type error!!"},
  };
  for (const auto& [reply, text] : cases) {
    SCOPED_TRACE(int(reply));
    // The probe is answered, then the erase header (bytes 1 to 10).
    ScriptedWriter writer(pair, [reply](std::size_t i, std::uint8_t) {
      return i == 0 ? Bytes{0xB4} : i == 10 ? Bytes{reply} : Bytes{};
    });
    auto panel = Check(true);
    EXPECT_EQ(panel->Lines(), Texts{text});
    EXPECT_TRUE(panel->IsRed("Label1"));
    EXPECT_EQ(writer.Received(), 11u);
  }
}

}  // namespace
