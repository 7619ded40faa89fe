// Verify and Verify with Protect against the emulated Writer.

#include "ops/VerifyWorker.h"

#include <functional>

#include "files/Checksum.h"
#include "ops/OpsFixture.h"

namespace {

using Texts = std::vector<std::string>;

constexpr std::uint16_t kOption = 0x3F55;
std::uint16_t Pattern(int n) { return static_cast<std::uint16_t>((n * 37 + 5) & 0x3FFF); }

const Texts kAllOk = {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!"};

class VerifyTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    Match(emulator.Ic());
  }

  // Fills the buffers and puts a part in the socket that holds the same: its
  // ID ends with the buffer's checksum as four hex characters.
  void Match(IcDescription ic, std::vector<std::uint8_t> eeprom = {}) {
    ic.program.clear();
    for (int n = 0; n < ic.words; ++n) {
      ic.program.push_back(Pattern(n));
      state.SetProgramWord(n, Pattern(n));
    }
    ic.option = kOption;
    state.OptionLow = WordLowHalf(kOption);
    state.OptionHigh = WordHighHalf(kOption);
    CalChecksum(state);
    ic.id = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C};
    for (char c : state.Panel.Label11) ic.id.push_back(static_cast<std::uint8_t>(c));
    std::copy(ic.id.begin(), ic.id.end(), state.IdBuffer.begin());
    ic.eeprom = eeprom;
    std::copy(eeprom.begin(), eeprom.end(), state.EepromBuffer.begin());
    emulator.SetIc(ic);
  }

  std::unique_ptr<RecordingPanel> Verify(bool protect = false, HeaderInputs inputs = HeaderInputs{"K7E1/E3"}) {
    state.VerifyProtect = protect ? 1 : 0;
    auto panel = Run(VerifyLayout(), VerifyWorker, std::move(inputs));
    EXPECT_TRUE(panel->IsEnabled("Button1"));
    EXPECT_EQ(panel->Text("StaticText1"), protect ? "Verify with Protect" : "Verify");
    return panel;
  }
};

TEST_F(VerifyTest, MatchingPartPassesAndNothingChanges) {
  const auto program = state.ProgramBuffer;
  const auto id = state.IdBuffer;
  const auto option = state.OptionWord();
  auto panel = Verify();
  EXPECT_EQ(panel->Lines(), kAllOk);
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_FALSE(panel->IsVisible("Label3"));
  EXPECT_FALSE(panel->IsVisible("EEInfo"));
  EXPECT_EQ(state.ProgramBuffer, program);
  EXPECT_EQ(state.IdBuffer, id);
  EXPECT_EQ(state.OptionWord(), option);
}

struct DifferenceCase {
  const char* name;
  std::function<void(MainState&, WriterEmulator&)> change;
  Texts lines;  // the status lines, Label3 last when shown
};

void FlipWord(MainState& s, int n, std::uint16_t bits) {
  s.SetProgramWord(n, static_cast<std::uint16_t>(s.ProgramWord(n) ^ bits));
}

std::string Pair(std::uint16_t ic, std::uint16_t buffer) {
  return "IC=" + HexDigits(ic, 4) + "H, Buffer=" + HexDigits(buffer, 4) + "H";
}

TEST_F(VerifyTest, DifferencesAreReported) {
  const std::uint16_t w10 = Pattern(0x10);
  const std::vector<DifferenceCase> cases = {
      {"OPTION in a device bit: reported, verify goes on",
       [](MainState&, WriterEmulator& e) { e.SetOptionWord(kOption ^ 0x0010); },
       {"error: OPTION verify Fail!!", "ID & Checksum verify OK!!", "Data verify OK!!"}},
      {"OPTION outside the device masks", [](MainState&, WriterEmulator& e) { e.SetOptionWord(kOption ^ 0x0001); },
       kAllOk},
      {"ID", [](MainState& s, WriterEmulator&) { s.IdBuffer[3] ^= 1; },
       {"OPTION verify OK!!", "error: ID verify fail!!", "Data verify OK!!"}},
      {"ID past the checksum is not compared", [](MainState& s, WriterEmulator&) { s.IdBuffer[20] ^= 1; }, kAllOk},
      {"checksum", [](MainState& s, WriterEmulator&) { s.Panel.Label11 = "0000"; },
       {"OPTION verify OK!!", "error: Checksum verify fail!!", "Data verify OK!!"}},
      {"ID and checksum",
       [](MainState& s, WriterEmulator&) {
         s.IdBuffer[0] ^= 1;
         s.Panel.Label11 = "0000";
       },
       {"OPTION verify OK!!", "error: ID & Checksum verify fail!!", "Data verify OK!!"}},
      {"high half of word 0010 (byte 33)", [](MainState& s, WriterEmulator&) { FlipWord(s, 0x10, 0x0080); },
       {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data Verify error at 0010H",
        Pair(w10, w10 ^ 0x0080)}},
      {"low half of word 0010 (byte 32)", [](MainState& s, WriterEmulator&) { FlipWord(s, 0x10, 0x0001); },
       {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data Verify error at 0010H",
        Pair(w10, w10 ^ 0x0001)}},
      {"only the first difference", [](MainState& s, WriterEmulator&) {
         FlipWord(s, 0x3FF, 0x2000);
         FlipWord(s, 0x200, 0x0100);
       },
       {"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data Verify error at 0200H",
        Pair(Pattern(0x200), Pattern(0x200) ^ 0x0100)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Match(emulator.Ic());
    c.change(state, emulator);
    auto panel = Verify();
    EXPECT_EQ(panel->Lines(), c.lines);
    EXPECT_EQ(panel->IsVisible("Label3"), c.lines.back().starts_with("IC="));
    EXPECT_FALSE(panel->IsRed("Label5"));  // the place of a difference keeps its colour
    EXPECT_EQ(outcome.Succeeded(), c.lines == kAllOk);
  }
}

class VerifyProtectTest : public VerifyTest {
 protected:
  void SetUp() override {
    VerifyTest::SetUp();
    IcDescription ic = emulator.Ic();
    ic.isProtected = true;
    Match(ic);
    state.OptionHigh &= static_cast<std::uint8_t>(~0x40);  // the buffer asks for protection too
  }
};

TEST_F(VerifyProtectTest, ComparesOnlyTheBitsAProtectedPartShows) {
  auto panel = Verify(true);
  EXPECT_EQ(panel->Lines(), kAllOk);

  FlipWord(state, 0x10, 0x0F9F);  // bits the part hides
  EXPECT_EQ(Verify(true)->Lines(), kAllOk);

  FlipWord(state, 0x10, 0x0F9F ^ 0x0020);  // back, plus bit 5, which it shows
  const std::uint16_t w = Pattern(0x10);
  panel = Verify(true);
  EXPECT_EQ(panel->Lines(), (Texts{"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data Verify error at 0010H",
                                   Pair((w & 0x3060) | 0x0F9F, (w ^ 0x0020) | 0x0F9F)}));

  // Without protect the same part differs at the first word it hides.
  EXPECT_EQ(Verify(false)->Lines()[2], "Data Verify error at 0000H");
}

TEST_F(VerifyProtectTest, UnprotectedPartStopsAfterTheOptionLine) {
  IcDescription ic = emulator.Ic();
  ic.isProtected = false;
  Match(ic);
  const auto before = emulator.BytesReceived();
  auto panel = Verify(true);
  EXPECT_EQ(panel->Lines(), (Texts{"OPTION verify OK!!", "error: IC no protected!!"}));
  EXPECT_TRUE(panel->IsVisible("Label4"));
  EXPECT_EQ(emulator.BytesReceived() - before, 1u + 10u);  // the probe and the OPTION read only
}

struct FaultCase {
  const char* name;
  EmulatorFaults faults;
  Texts lines;
  const char* redLine;
};

EmulatorFaults Silent(std::size_t after) {
  return MakeFaults([after](EmulatorFaults& f) { f.silenceAfter = after; });
}
EmulatorFaults EarlyEnd(std::size_t after) {
  return MakeFaults([after](EmulatorFaults& f) { f.earlyEndAfter = after; });
}

// Bytes the Writer receives before each stage: probe 1, then a 10-byte
// header for OPTION, ID and program memory.
TEST_F(VerifyTest, TransferFailuresEndInTheirStageLine) {
  const std::vector<FaultCase> cases = {
      {"no CTS", MakeFaults([](EmulatorFaults& f) { f.ctsNeverRaised = true; }), {"error: Connect Timeout!!"},
       "Label2"},
      {"empty socket", MakeFaults([](EmulatorFaults& f) { f.emptySocket = true; }),
       {"error: Nothing in socket or type error!!"}, "Label2"},
      {"adapter", MakeFaults([](EmulatorFaults& f) { f.adapterError = true; }), {"error: IC adapter board error!!"},
       "Label2"},
      {"garbage", MakeFaults([](EmulatorFaults& f) { f.garbage = true; }), {"error: Writer Error!!"}, "Label2"},
      {"silent in OPTION", Silent(1), {"error: Connect Timeout!!"}, "Label2"},
      {"silent in ID", Silent(11), {"OPTION verify OK!!", "error: Connect Timeout!!"}, "Label4"},
      {"silent in the data", Silent(21), {"OPTION verify OK!!", "ID & Checksum verify OK!!", "error: Connect Timeout!!"},
       "Label5"},
      {"OPTION one byte short", EarlyEnd(1), {"error: Writer Error!!"}, "Label2"},
      {"ID short", EarlyEnd(20), {"OPTION verify OK!!", "error: Writer Error!!"}, "Label4"},
      {"ID one byte short, taken", EarlyEnd(31),
       {"OPTION verify OK!!", "ID & Checksum verify OK!!", "error: Writer Error!!"}, "Label5"},
      {"data short", EarlyEnd(100), {"OPTION verify OK!!", "ID & Checksum verify OK!!", "error: Writer Error!!"},
       "Label5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetFaults(c.faults);
    emulator.SetIc(emulator.Ic());
    auto panel = Verify();
    EXPECT_EQ(panel->Lines(), c.lines);
    EXPECT_TRUE(panel->IsRed(c.redLine));
    EXPECT_FALSE(outcome.Succeeded());
  }
}

TEST_F(VerifyTest, NoDeviceOrWrongWriter) {
  state.DeviceIndex = -1;
  auto panel = Verify();
  EXPECT_EQ(panel->Lines(), Texts{"error: Unknow IC Type!!"});
  EXPECT_EQ(emulator.BytesReceived(), 0u);
  state.DeviceIndex = 0;
  emulator.SetModel(WriterModel::Model1);
  EXPECT_EQ(Verify()->Lines(), Texts{"error: Writer type is error!"});
}

// The last data byte missing before the end mark: what lies in the transfer
// buffer from the read before must not be compared as if it were the part's.
TEST_F(VerifyTest, StreamOneByteShortIsNoMatch) {
  EXPECT_EQ(Verify()->Lines(), kAllOk);  // leaves the whole image in the transfer buffer
  SetFaults(EarlyEnd(2047));
  auto panel = Verify();
  EXPECT_EQ(panel->Lines(), (Texts{"OPTION verify OK!!", "ID & Checksum verify OK!!", "error: Writer Error!!"}));
  EXPECT_FALSE(outcome.Succeeded());
}

class VerifyEepromTest : public VerifyTest {
 protected:
  void SetUp() override {
    VerifyTest::SetUp();
    state.DeviceIndex = GetICInfo(state, kEepromPart);
    std::vector<std::uint8_t> eeprom;
    for (int i = 0; i < 64; ++i) eeprom.push_back(static_cast<std::uint8_t>(0xC3 + 5 * i));
    Match(*IcDescription::ForDevice(kEepromPart), eeprom);
  }
  std::unique_ptr<RecordingPanel> VerifyEe() { return Verify(false, HeaderInputs{kEepromPart}); }
  ScopedDeviceTable table{kEepromPartRows};
};

TEST_F(VerifyEepromTest, EepromLine) {
  auto panel = VerifyEe();
  EXPECT_EQ(panel->Lines(),
            (Texts{"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!", "EEPROM Data Verify OK!!"}));
  EXPECT_TRUE(outcome.Succeeded());

  const std::uint8_t want = state.EepromBuffer[5];
  state.EepromBuffer[5] ^= 0x81;
  panel = VerifyEe();
  EXPECT_EQ(panel->Lines(), (Texts{"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!",
                                   "EEPROM Data Verify error at 0005H",
                                   "IC=" + HexDigits(want, 2) + "H, Buffer=" + HexDigits(want ^ 0x81, 2) + "H"}));
  EXPECT_FALSE(panel->IsRed("EEInfo"));

  SetFaults(Silent(31));  // the probe and three headers are answered
  panel = VerifyEe();
  EXPECT_EQ(panel->Lines().back(), "error: Connect Timeout!!");
  EXPECT_TRUE(panel->IsRed("EEInfo"));
}

}  // namespace
