// The programming workers against the emulated Writer: program memory, ID and
// checksum, OPTION, EEPROM and force write.

#include <functional>

#include "ops/ForceWriteWorker.h"
#include "ops/OpsFixture.h"
#include "ops/ProgramEepromWorker.h"
#include "ops/ProgramIdWorker.h"
#include "ops/ProgramMemoryWorker.h"
#include "ops/ProgramOptionWorker.h"

namespace {

using Texts = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// A small image: word n holds n * 3 + 1, so no two neighbouring bytes are alike.
void LoadImage(MainState& state, int words = 1024) {
  for (int n = 0; n < words; ++n) state.SetProgramWord(n, static_cast<std::uint16_t>((n * 3 + 1) & 0x3FFF));
}

class ProgramMemoryTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    state.BlankProgram();
    LoadImage(state);
  }
  std::unique_ptr<RecordingPanel> Program() {
    auto panel = Run(ProgramMemoryLayout(), ProgramMemoryWorker);
    EXPECT_TRUE(panel->IsEnabled("Button1"));
    return panel;
  }
};

TEST_F(ProgramMemoryTest, ProgramsAndReadsBack) {
  auto panel = Program();
  EXPECT_EQ(panel->Lines(), (Texts{"Program Ok!!", "Data verify OK!!"}));
  EXPECT_TRUE(outcome.Succeeded());
  for (int n = 0; n < 1024; ++n) ASSERT_EQ(emulator.ProgramWord(n), state.ProgramWord(n)) << n;
  // Label2 showed each 32nd byte's word address, then the address of the last byte.
  const auto t = panel->Transcript();
  EXPECT_EQ(std::count(t.begin(), t.end(), "Label2 = 0000"), 1);
  EXPECT_NE(std::find(t.begin(), t.end(), "Label2 = 0010"), t.end());
  EXPECT_NE(std::find(t.begin(), t.end(), "Label2 = 03FF"), t.end());
}

TEST_F(ProgramMemoryTest, BlankImageNeverReachesTheWriter) {
  state.BlankProgram();
  state.ProgramBuffer[7] = 0x3F;  // still every low five bits set
  auto panel = Program();
  EXPECT_EQ(panel->Lines(), (Texts{"error: Data memory are blank or error!", "0000"}));
  EXPECT_EQ(emulator.BytesReceived(), 0u);
}

TEST_F(ProgramMemoryTest, OtpBitsCannotComeBack) {
  // The part already holds 0 where the image wants 1: the Writer fails that byte.
  emulator.SetProgramWord(40, 0x0000);
  auto panel = Program();
  EXPECT_EQ(panel->Lines(), (Texts{"error: Programming fail !!", "0028"}));
  EXPECT_FALSE(outcome.Succeeded());
}

TEST_F(ProgramMemoryTest, StreamFailuresAndTimeouts) {
  struct Case {
    const char* name;
    EmulatorFaults faults;
    Texts lines;
  };
  const std::vector<Case> cases = {
      {"fail at byte 100", MakeFaults([](EmulatorFaults& f) { f.failAtByte = 100; }),
       {"error: Programming fail !!", "0032"}},
      {"silent in the stream", MakeFaults([](EmulatorFaults& f) { f.silenceAfter = 1 + 10 + 40; }),
       {"error: Connect Timeout!!", "0010"}},
      {"empty socket", MakeFaults([](EmulatorFaults& f) { f.emptySocket = true; }),
       {"error: Nothing in socket or type error!!", "0000"}},
      {"adapter", MakeFaults([](EmulatorFaults& f) { f.adapterError = true; }),
       {"error: IC adapter board error!!", "0000"}},
      {"garbage", MakeFaults([](EmulatorFaults& f) { f.garbage = true; }), {"error: Writer Error!!", "0000"}},
      // One "!" where the stream meets it; two after a header or a read.
      {"part lifted out mid-stream", MakeFaults([](EmulatorFaults& f) { f.socketEmptiedAt = 100; }),
       {"error: Nothing in socket or type error!", "0030"}},
      {"no answer", MakeFaults([](EmulatorFaults& f) { f.ctsNeverRaised = true; }),
       {"error: Connect Timeout!!", "0000"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emulator.SetIc(emulator.Ic());  // a fresh blank part
    SetFaults(c.faults);
    EXPECT_EQ(Program()->Lines(), c.lines);
  }
}

class ScriptedProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    comm.SetDeviceName("Com1");
    comm.Open();
    link.SetPollIntervalMs(1);
    state.DeviceIndex = GetICInfo(state, "K7E1/E3");
    LoadImage(state);
  }
  std::unique_ptr<RecordingPanel> Run(const OperationLayout& layout, const Worker& worker) {
    auto panel = std::make_unique<RecordingPanel>(layout);
    OperationContext ctx{state, link, clock, HeaderInputs{"K7E1/E3"}, {}, *panel, handover};
    outcome = worker(ctx);
    return panel;
  }
  std::unique_ptr<RecordingPanel> Program() { return Run(ProgramMemoryLayout(), ProgramMemoryWorker); }
  Outcome outcome;
  FakeClock clock{Clock::Duration{50}};
  DevicePair pair;
  TComm comm{pair.MakePcEnd()};
  MainState state;
  WriterLink link{state, comm, clock};
  InlineHandover handover;
};

// Probe, header, then the stream: n + 6 bytes answered 0xB5, then a read-back
// header answered with the image (byte `at` XOR `tamper`) and the end mark.
ScriptedWriter::Reply NeverDone(const MainState& state, std::size_t at, std::uint8_t tamper) {
  return [&state, at, tamper](std::size_t i, std::uint8_t) -> Bytes {
    const std::size_t n = static_cast<std::size_t>(state.ProgramBytes);
    if (i == 0) return {0xB4};
    if (i == 10) return {0xB5};
    if (i > 10 && i <= 10 + n + 6) return {0xB5};
    if (i == 10 + n + 6 + 10) {
      Bytes data(state.ProgramBuffer.begin(), state.ProgramBuffer.begin() + n);
      data[at] = static_cast<std::uint8_t>(data[at] ^ tamper);
      data.push_back(0xB8);
      return data;
    }
    return {};
  };
}

TEST_F(ScriptedProgramTest, WriterThatNeverSaysDoneGetsExactlyTheImagePlusSix) {
  ScriptedWriter writer(pair, NeverDone(state, 0, 0));
  auto panel = Program();
  EXPECT_EQ(writer.Received(), 1u + 10 + 2048 + 6 + 10);
  EXPECT_EQ(panel->Lines(), (Texts{"Program.....", "Data verify OK!!"}));
  EXPECT_FALSE(outcome.Succeeded());  // the Writer never said it had programmed
}

TEST_F(ScriptedProgramTest, ReadBackDifferingInTheLastByteFails) {
  ScriptedWriter writer(pair, NeverDone(state, 2047, 1));
  EXPECT_EQ(Program()->Lines(), (Texts{"Program.....", "error: Data verify Fail!!"}));
}

class ProgramIdTest : public OpsTest {
 protected:
  std::unique_ptr<RecordingPanel> Program() {
    auto panel = Run(ProgramIdLayout(), ProgramIdWorker);
    EXPECT_TRUE(panel->IsEnabled("Button1"));
    return panel;
  }
};

TEST_F(ProgramIdTest, IdAndChecksumCaptionGoIntoTheIc) {
  for (int i = 0; i < 12; ++i) state.IdBuffer[i] = static_cast<std::uint8_t>('A' + i);
  state.Panel.Label11 = "3A7F";
  auto panel = Program();
  EXPECT_EQ(panel->Lines(), (Texts{"Program Ok!!", "ID & Checksum verify OK!!"}));
  const auto id = emulator.IdArea();
  EXPECT_EQ(std::string(id.begin(), id.begin() + 16), "ABCDEFGHIJKL3A7F");
}

TEST_F(ProgramIdTest, BlankCaptionIsWrittenAsItsFirstFourLetters) {
  state.BlankId();
  state.Panel.Label11 = "Blank";
  Program();
  EXPECT_TRUE(outcome.Succeeded());
  const auto id = emulator.IdArea();
  EXPECT_EQ(std::string(id.begin() + 12, id.begin() + 16), "Blan");
}

TEST_F(ProgramIdTest, FailureAddressByByteIndex) {
  const std::vector<std::pair<std::size_t, std::string>> cases = {
      {4, "error: Program ID fail at address 0002 !!"},
      {9, "error: Program ID fail at address 0004 !!"},
      {10, "error: Checksum program fail !!"},
      {14, "error: Checksum program fail !!"},
  };
  for (const auto& [index, text] : cases) {
    SCOPED_TRACE(index);
    emulator.SetIc(emulator.Ic());
    SetFaults(MakeFaults([index](EmulatorFaults& f) { f.failAtByte = index; }));
    EXPECT_EQ(Program()->Lines(), Texts{text});
  }
}

TEST_F(ProgramIdTest, ReadBackVerdicts) {
  // An ID byte of eight bits (typed as text) leaves the part with seven, so
  // it reads back different. The checksum caption is read again for the
  // compare: one that changed meanwhile differs.
  struct Case {
    const char* name;
    std::uint8_t idByte;
    bool captionChanges;
    Texts lines;
  };
  const std::vector<Case> cases = {
      {"as written", 'A', false, {"Program Ok!!", "ID & Checksum verify OK!!"}},
      {"an eight-bit ID byte", 0xC1, false, {"Program Ok!!", "error: ID verify fail!!"}},
      {"the caption changed", 'A', true, {"Program Ok!!", "error: Checksum verify fail!!"}},
      {"both", 0xC1, true, {"Program Ok!!", "error: ID & Checksum verify fail!!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emulator.SetIc(emulator.Ic());
    state.IdBuffer[3] = c.idByte;
    state.Panel.Label11 = "1234";
    // Hand-overs: the ID, the caption for the write, the caption for the compare.
    MeddlingHandover meddling(3, [&] {
      if (c.captionChanges) state.Panel.Label11 = "5678";
    });
    RecordingPanel panel(ProgramIdLayout());
    RunWith(panel, meddling, ProgramIdWorker);
    EXPECT_EQ(panel.Lines(), c.lines);
  }
}

class ProgramOptionTest : public OpsTest {
 protected:
  std::unique_ptr<RecordingPanel> Program() { return Run(ProgramOptionLayout(), ProgramOptionWorker); }
};

TEST_F(ProgramOptionTest, GuardRefusesBlankOrInvalidFields) {
  const std::vector<std::pair<int, std::string>> cases = {
      {1, "error: Some Options are Blank !!"},
      {2, "error: Some Options are Error !!"},
      {3, "error: Some Options are Blank or Error!!"},
  };
  for (const auto& [errors, text] : cases) {
    state.OptionErrors = errors;
    auto panel = Program();
    EXPECT_EQ(panel->Lines(), Texts{text});
    EXPECT_TRUE(panel->IsEnabled("Button1"));
  }
  EXPECT_EQ(emulator.BytesReceived(), 0u);
}

TEST_F(ProgramOptionTest, ProgramsAndComparesUnderTheMasks) {
  state.OptionErrors = 0;
  state.OptionLow = 0x2A;
  state.OptionHigh = 0x5D;
  auto panel = Program();
  EXPECT_EQ(panel->Lines(), Texts{"OPTION program & verify OK!!"});
  EXPECT_EQ(emulator.OptionWord() & 0x3FFF & ~(1u << 12), PackedWord(0x2A, 0x5D) & ~(1u << 12));

  // A part whose OPTION reads back different in one bit (K7E1/E3 implements
  // low-half bits 4-6 and high-half bits 0-4 and 6).
  struct Case {
    const char* name;
    std::size_t half;
    std::uint8_t bit;
    Texts lines;
  };
  const std::vector<Case> cases = {
      {"low bit 0, outside the mask", 0, 0x01, {"OPTION program & verify OK!!"}},
      {"high bit 5, outside the mask", 1, 0x20, {"OPTION program & verify OK!!"}},
      {"low bit 5, inside the mask", 0, 0x20, {"error: OPTION verify Fail!!"}},
      {"high bit 0, inside the mask", 1, 0x01, {"error: OPTION verify Fail!!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emulator.SetIc(emulator.Ic());
    const std::uint8_t written = c.half == 0 ? state.OptionLow : state.OptionHigh;
    SetFaults(MakeFaults([&](EmulatorFaults& f) {
      f.wornCell = EmulatorFaults::WornCell{kAreaOption, c.half, static_cast<std::uint8_t>(written ^ c.bit)};
    }));
    EXPECT_EQ(Program()->Lines(), c.lines);
  }
}

TEST_F(ProgramOptionTest, WriteAndReadFailures) {
  state.OptionErrors = 0;
  state.OptionLow = 0x2A;
  state.OptionHigh = 0x5D;
  struct Case {
    EmulatorFaults faults;
    std::string text;
  };
  const std::vector<Case> cases = {
      {MakeFaults([](EmulatorFaults& f) { f.failAtByte = 0; }), "error: OPTION program fail !!"},
      {MakeFaults([](EmulatorFaults& f) { f.failAtByte = 1; }), "error: OPTION program fail !!"},
      {MakeFaults([](EmulatorFaults& f) { f.silenceAfter = 1 + 10 + 2; }), "error: Connect Timeout!!"},
      {MakeFaults([](EmulatorFaults& f) { f.emptySocket = true; }), "error: Nothing in socket or type error!!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    emulator.SetIc(emulator.Ic());
    SetFaults(c.faults);
    EXPECT_EQ(Program()->Lines(), Texts{c.text});
  }
  // An OTP OPTION word that already lost bits the buffer wants reads back different.
  SetFaults({});
  IcDescription ic = emulator.Ic();
  ic.option = 0x0000;
  emulator.SetIc(ic);
  EXPECT_EQ(Program()->Lines(), Texts{"error: OPTION program fail !!"});
}

// A flash part with 320 bytes of data EEPROM.
constexpr DeviceRecord kEepromRows[] = {
    {"K7E1/E3", 0x03, 0xFF, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 1, 0x00, 0x00, 0, 0, 0x3F, 0},
    {"K7E8/EE", 0x03, 0xFF, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 2, 0x01, 0x3F, 0, 0, 0x3F, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

class ProgramEepromTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    state.DeviceIndex = GetICInfo(state, "K7E8/EE");
    emulator.SetIc(*IcDescription::ForDevice("K7E8/EE"));
    for (int a = 0; a < 320; ++a) state.EepromBuffer[a] = static_cast<std::uint8_t>(a * 7 + 3);
  }
  std::unique_ptr<RecordingPanel> Program() {
    auto panel = Run(ProgramEepromLayout(), ProgramEepromWorker, HeaderInputs{"K7E8/EE"});
    EXPECT_TRUE(panel->IsEnabled("ButtonOk"));
    return panel;
  }
  ScopedDeviceTable table{kEepromRows};
};

TEST_F(ProgramEepromTest, PairsOfDataAndAddressThenTheReadBack) {
  auto panel = Program();
  EXPECT_EQ(panel->Lines(), (Texts{"EEPROM Program Ok!!", "EEPROM Data Verify OK!!"}));
  EXPECT_EQ(state.ReadBuffer[2 * 0x123 + 1], 0x23);  // staged address byte, before the read-back
  const auto eeprom = emulator.Eeprom();
  for (int a = 0; a < 320; ++a) ASSERT_EQ(eeprom[a], state.EepromBuffer[a]) << a;
}

TEST_F(ProgramEepromTest, FailureAtThePairAndVerifyDetail) {
  SetFaults(MakeFaults([](EmulatorFaults& f) { f.failAtByte = 7; }));
  EXPECT_EQ(Program()->Lines(), Texts{"error: EEPROM program fail at 0003H"});
  SetFaults({});
  // The Writer says "all written" after 100 of the 640 bytes: not a finished write.
  SetFaults(MakeFaults([](EmulatorFaults& f) { f.earlyEndAfter = 100; }));
  EXPECT_EQ(Program()->Lines(), Texts{"error: Writer Error!!"});
  // A worn cell at address 5 reads back FF: the first difference, with both values.
  state.EepromBuffer[5] = 0x12;
  SetFaults(MakeFaults([](EmulatorFaults& f) { f.wornCell = EmulatorFaults::WornCell{kAreaEeprom, 5, 0xFF}; }));
  auto panel = Program();
  EXPECT_EQ(panel->Lines(), (Texts{"EEPROM Program Ok!!", "Data Verify error at 0005H", "IC=FFH, Buffer=12H"}));
  EXPECT_TRUE(panel->IsVisible("Label2"));
  EXPECT_FALSE(outcome.Succeeded());
}

class ForceWriteTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    state.BlankProgram();
    LoadImage(state);
  }
  std::unique_ptr<RecordingPanel> Pass() { return Run(ForceWriteLayout(), ForceWriteWorker); }
};

TEST_F(ForceWriteTest, PassProgramsChecksAndCounts) {
  state.Panel.Label13 = "000123";
  auto panel = Pass();
  EXPECT_EQ(panel->Lines(), (Texts{"Program memory Ok!!", "Data verify OK!!"}));
  EXPECT_EQ(state.Panel.Label13, "124");
  EXPECT_EQ(panel->Gauge(), 100);
  const auto gauge = panel->GaugeHistory();
  EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end()));
  EXPECT_TRUE(panel->IsEnabled("Button1") && panel->IsEnabled("Button2"));
}

TEST_F(ForceWriteTest, SimulationNeverTouchesTheWriter) {
  state.SimMode = 1;
  for (int pass = 1; pass <= 3; ++pass) {
    EXPECT_EQ(Pass()->Lines(), Texts{"Simulate Programming OK!"});
    EXPECT_EQ(state.Panel.Label13, std::to_string(pass));
  }
  EXPECT_EQ(emulator.BytesReceived(), 0u);
}

TEST_F(ForceWriteTest, OtpPartThatLostBitsFailsUncounted) {
  emulator.SetProgramWord(3, 0x0000);
  auto panel = Pass();
  EXPECT_EQ(panel->Lines(), (Texts{"error: Programming memory fail!!"}));
  EXPECT_EQ(state.Panel.Label13, "0");
  EXPECT_TRUE(panel->IsEnabled("Button1") && panel->IsEnabled("Button2"));
}

TEST_F(ForceWriteTest, ProtectedPartPassesTheTwoBitCheck) {
  IcDescription ic = emulator.Ic();
  ic.isProtected = true;
  emulator.SetIc(ic);
  EXPECT_EQ(Pass()->Lines().back(), "Data verify OK!!");
}

TEST_F(ScriptedProgramTest, ForceWriteCountsAPassWithATwoBitDifference) {
  // Bit 5 of byte 7 (the high half of word 3) reads back changed.
  state.Panel.Label13 = "7";
  state.VerifyProtect = 1;
  ScriptedWriter writer(pair, NeverDone(state, 7, 0x20));
  auto panel = Run(ForceWriteLayout(), ForceWriteWorker);
  const int word = state.ProgramWord(3);
  const int ic = word ^ (0x20 << 7);
  EXPECT_EQ(panel->Lines(), (Texts{"Program Memory...", "Data Verify error at 0003H",
                                   "IC=" + HexDigits(ic, 4) + "H, Buffer=" + HexDigits(word | 0xF9F, 4) + "H"}));
  EXPECT_EQ(state.Panel.Label13, "8");
  EXPECT_TRUE(panel->IsEnabled("Button2"));
}

TEST_F(ScriptedProgramTest, ForceWriteReadBackFailureLeavesOnlyExit) {
  ScriptedWriter writer(pair, [](std::size_t i, std::uint8_t) -> Bytes {
    return i == 0 ? Bytes{0xB4} : i <= 10 + 2048 + 6 ? Bytes{0xB5} : Bytes{0xFD};
  });
  auto panel = Run(ForceWriteLayout(), ForceWriteWorker);
  EXPECT_EQ(panel->Lines(), (Texts{"Program Memory...", "error: IC adapter board error!!"}));
  EXPECT_TRUE(panel->IsEnabled("Button1"));
  EXPECT_FALSE(panel->IsEnabled("Button2"));
  EXPECT_EQ(state.Panel.Label13, "0");
}

TEST_F(ForceWriteTest, FailuresEndThePassUncounted) {
  SetFaults(MakeFaults([](EmulatorFaults& f) { f.ctsNeverRaised = true; }));
  auto panel = Pass();
  EXPECT_EQ(panel->Lines(), Texts{"error: Connect Timeout!!"});
  EXPECT_EQ(state.Panel.Label13, "0");
  EXPECT_TRUE(panel->IsEnabled("Button2"));
}

}  // namespace
