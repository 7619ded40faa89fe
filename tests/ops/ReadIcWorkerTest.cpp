// Read IC against the emulated Writer.

#include "ops/ReadIcWorker.h"

#include <algorithm>

#include "files/Checksum.h"
#include "ops/OpsFixture.h"

namespace {

using Texts = std::vector<std::string>;

std::uint16_t Pattern(int n) { return static_cast<std::uint16_t>((n * 37 + 5) & 0x3FFF); }

class ReadIcTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    IcDescription ic = emulator.Ic();
    for (int n = 0; n < ic.words; ++n) ic.program.push_back(Pattern(n));
    ic.option = 0x2B55;
    ic.option2 = 0x1234;
    ic.bodyOptions = {1, 2, 3, 4, 5, 6, 7, 8};
    ic.id = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, '3', 'A', '7', 'F'};
    emulator.SetIc(ic);
    // What was in the buffer before, to tell a read that kept it from one that did not.
    state.ProgramBuffer.fill(0x11);
    state.Panel.Label11 = "old";
  }

  std::unique_ptr<RecordingPanel> Read(HeaderInputs inputs = HeaderInputs{"K7E1/E3"}) {
    auto panel = Run(ReadIcLayout(), ReadIcWorker, std::move(inputs));
    EXPECT_TRUE(panel->IsEnabled("Button1"));
    return panel;
  }

  void ExpectProgramKept() {
    EXPECT_EQ(std::count(state.ProgramBuffer.begin(), state.ProgramBuffer.end(), 0x11), kProgramBufferBytes);
    EXPECT_EQ(state.IcReadDone, 0);
    EXPECT_EQ(state.Panel.Label11, "old");
  }

  void ExpectProgramRead() {
    for (int n = 0; n < 1024; ++n) ASSERT_EQ(state.ProgramWord(n), Pattern(n)) << n;
    EXPECT_EQ(state.ProgramBuffer[2048], 0x11);  // past the part: not touched
    EXPECT_EQ(state.IcReadDone, 1);
  }
};

TEST_F(ReadIcTest, WholePartLandsInTheBuffers) {
  auto panel = Read();
  EXPECT_EQ(panel->Lines(), (Texts{"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK"}));
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_FALSE(panel->IsVisible("EEInfo"));  // no EEPROM on this part
  EXPECT_EQ(panel->Gauge(), 100);
  ExpectProgramRead();

  // The OPTION word comes back in the form the device allows.
  EXPECT_EQ(state.OptionLow, (WordLowHalf(0x2B55) & 0x70) | 0x0A);
  EXPECT_EQ(state.OptionHigh, WordHighHalf(0x2B55) & 0x5F);
  // Body options: two words after OPTION, then two after the (dropped) first word of area 5.
  EXPECT_EQ(state.BodyOptionBytes, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(state.IdBuffer, emulator.IdArea());

  MainState expected;
  expected.ProgramBytes = 2048;
  std::copy_n(state.ProgramBuffer.begin(), 2048, expected.ProgramBuffer.begin());
  CalChecksum(expected);
  EXPECT_EQ(state.Panel.Label11, expected.Panel.Label11);
  EXPECT_EQ(state.CodeSum, expected.CodeSum);
}

TEST_F(ReadIcTest, GaugeOnlyGrowsAndShowsHalfAtByte1024) {
  auto panel = Read();
  const auto history = panel->GaugeHistory();
  ASSERT_GE(history.size(), 3u);
  EXPECT_EQ(history.front(), 0);
  EXPECT_TRUE(std::is_sorted(history.begin() + 1, history.end()));
  EXPECT_EQ(std::adjacent_find(history.begin() + 1, history.end()), history.end());  // no redraw without growth

  // The Writer ends after bytes 0..1024, then after bytes 0..1023: 50 is
  // shown with the byte of index 1024 and not before.
  SetFaults(MakeFaults([](EmulatorFaults& f) { f.earlyEndAfter = 1025; }));
  auto upTo1024 = Read()->GaugeHistory();
  EXPECT_EQ(*std::max_element(upTo1024.begin(), upTo1024.end()), 50);
  SetFaults(MakeFaults([](EmulatorFaults& f) { f.earlyEndAfter = 1024; }));
  auto upTo1023 = Read()->GaugeHistory();
  EXPECT_EQ(*std::max_element(upTo1023.begin(), upTo1023.end()), 49);
}

TEST_F(ReadIcTest, NoDeviceOrWrongWriter) {
  state.DeviceIndex = -1;
  auto panel = Read();
  EXPECT_EQ(panel->Lines(), Texts{"error: Unknow IC Type!!"});
  EXPECT_EQ(emulator.BytesReceived(), 0u);

  state.DeviceIndex = 0;
  emulator.SetModel(WriterModel::Model1);  // the device needs model 2
  panel = Read();
  EXPECT_EQ(panel->Lines(), Texts{"error: Writer type is error!"});
  EXPECT_TRUE(panel->IsRed("Label1"));
  ExpectProgramKept();
}

// Bytes the Writer receives before each stage: probe 1, then a 10-byte
// header for OPTION, area 5, ID and program memory. Routines handed over:
// 1 OPTION, 2 area 5, 3 ID, 4 program memory.
struct FaultCase {
  const char* name;
  EmulatorFaults faults;
  int afterRoutines;     // 0: none
  EmulatorFaults then;   // switched on after that many routines
  Texts lines;
  const char* redLine;
};

EmulatorFaults Silent(std::size_t after) {
  return MakeFaults([after](EmulatorFaults& f) { f.silenceAfter = after; });
}
EmulatorFaults EarlyEnd(std::size_t after) {
  return MakeFaults([after](EmulatorFaults& f) { f.earlyEndAfter = after; });
}
const EmulatorFaults kEmpty = MakeFaults([](EmulatorFaults& f) { f.emptySocket = true; });
const EmulatorFaults kAdapter = MakeFaults([](EmulatorFaults& f) { f.adapterError = true; });
const EmulatorFaults kNoCts = MakeFaults([](EmulatorFaults& f) { f.ctsNeverRaised = true; });
const EmulatorFaults kGarbage = MakeFaults([](EmulatorFaults& f) { f.garbage = true; });

const std::string kSocket = "error: Nothing in socket or type error!!";
const std::string kBoard = "error: IC adapter board error!!";

TEST_F(ReadIcTest, EachStageFailsInItsLineAndKeepsTheProgramBuffer) {
  const std::vector<FaultCase> cases = {
      {"no CTS for the probe", kNoCts, 0, {}, {"error: Connect Timeout!! (1)"}, "Label1"},
      {"empty socket", kEmpty, 0, {}, {kSocket}, "Label1"},
      {"adapter", kAdapter, 0, {}, {kBoard}, "Label1"},
      {"garbage", kGarbage, 0, {}, {"error: Writer Error!!"}, "Label2"},
      {"silent in OPTION", Silent(1), 0, {}, {"error: Connect Timeout!! (2)"}, "Label1"},
      {"silent in area 5", Silent(11), 0, {}, {"error: Connect Timeout!! (3)"}, "Label1"},
      {"socket at area 5", {}, 1, kEmpty, {kSocket}, "Label1"},
      {"silent in ID", Silent(21), 0, {}, {"Read OPTION OK!", "error: Connect Timeout!! (4)"}, "Label2"},
      {"adapter at ID", {}, 2, kAdapter, {"Read OPTION OK!", kBoard}, "Label2"},
      {"no CTS for the program header", {}, 3, kNoCts,
       {"Read OPTION OK!", "Read ID and Checksum OK!", "error: Connect Timeout!! (5)"}, "Label3"},
      {"silent in the data", Silent(31), 0, {},
       {"Read OPTION OK!", "Read ID and Checksum OK!", "error: Connect Timeout!! (6)"}, "Label3"},
      {"socket in the data", {}, 3, kEmpty, {"Read OPTION OK!", "Read ID and Checksum OK!", kSocket}, "Label3"},
      {"adapter in the data", {}, 3, kAdapter, {"Read OPTION OK!", "Read ID and Checksum OK!", kBoard}, "Label3"},
      // Replies that mean nothing in the data phase are skipped; no end mark comes.
      {"garbage in the data", {}, 3, kGarbage,
       {"Read OPTION OK!", "Read ID and Checksum OK!", "error: Connect Timeout!! (6)"}, "Label3"},
      {"end mark one byte early in OPTION", EarlyEnd(5), 0, {}, {"error: Writer Error!!"}, "Label2"},
      {"end mark early in ID", EarlyEnd(6), 0, {}, {"Read OPTION OK!", "error: Writer Error!!"}, "Label2"},
      {"end mark one byte early in ID", EarlyEnd(31), 0, {}, {"Read OPTION OK!", "error: Writer Error!!"}, "Label2"},
      {"end mark one byte early in the data", EarlyEnd(2047), 0, {},
       {"Read OPTION OK!", "Read ID and Checksum OK!", "error: Read error!!"}, "Label3"},
      {"end mark early in the data", EarlyEnd(100), 0, {},
       {"Read OPTION OK!", "Read ID and Checksum OK!", "error: Read error!!"}, "Label3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetFaults(c.faults);
    emulator.SetIc(emulator.Ic());  // a new part: no half-finished command left over
    HookedHandover via(c.afterRoutines, [&] { SetFaults(c.then); });
    RecordingPanel panel(ReadIcLayout());
    RunWith(panel, via, ReadIcWorker);
    EXPECT_EQ(panel.Lines(), c.lines);
    EXPECT_TRUE(panel.IsRed(c.redLine));
    EXPECT_TRUE(panel.IsEnabled("Button1"));
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_LT(panel.Gauge(), 100);
    ExpectProgramKept();
  }
}

// A panel that empties the receive queue once the gauge reaches a value: the
// rest of the stream and its end mark are lost on the line.
class LineLostAt : public RecordingPanel {
 public:
  LineLostAt(TComm& comm, int percent) : RecordingPanel(ReadIcLayout()), comm_(comm), percent_(percent) {}
  void SetGauge(int percent) override {
    RecordingPanel::SetGauge(percent);
    if (percent == percent_) comm_.PurgeIn();
  }

 private:
  TComm& comm_;
  int percent_;
};

TEST_F(ReadIcTest, TimeOutHalfWayThroughTheDataKeepsTheProgramBuffer) {
  LineLostAt panel(comm, 30);
  RunWith(panel, handover, ReadIcWorker);
  EXPECT_EQ(panel.Lines(), (Texts{"Read OPTION OK!", "Read ID and Checksum OK!", "error: Connect Timeout!! (6)"}));
  EXPECT_GE(panel.Gauge(), 30);
  ExpectProgramKept();
  // The stages before it are stored.
  EXPECT_EQ(state.IdBuffer, emulator.IdArea());
}

class ReadEepromTest : public ReadIcTest {
 protected:
  void SetUp() override {
    ReadIcTest::SetUp();
    state.DeviceIndex = GetICInfo(state, kEepromPart);
    IcDescription ic = *IcDescription::ForDevice(kEepromPart);
    for (int n = 0; n < ic.words; ++n) ic.program.push_back(Pattern(n));
    for (int i = 0; i < ic.eepromBytes; ++i) ic.eeprom.push_back(static_cast<std::uint8_t>(0xF0 - 3 * i));
    emulator.SetIc(ic);
    state.EepromBuffer.fill(0x22);
  }
  std::unique_ptr<RecordingPanel> ReadWith(HookedHandover& via) {
    auto panel = std::make_unique<RecordingPanel>(ReadIcLayout());
    RunWith(*panel, via, ReadIcWorker, HeaderInputs{kEepromPart});
    return panel;
  }
  ScopedDeviceTable table{kEepromPartRows};
};

TEST_F(ReadEepromTest, EepromFollowsWithTheWindowAlreadyClosable) {
  auto panel = Read(HeaderInputs{kEepromPart});
  EXPECT_EQ(panel->Lines(),
            (Texts{"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK", "Read EEPROM OK!"}));
  EXPECT_TRUE(outcome.Succeeded());
  const auto eeprom = emulator.Eeprom();
  ASSERT_EQ(eeprom.size(), 64u);
  EXPECT_TRUE(std::equal(eeprom.begin(), eeprom.end(), state.EepromBuffer.begin()));
  EXPECT_EQ(state.EepromBuffer[64], 0x22);

  const auto t = panel->Transcript();
  const auto ok = std::find(t.begin(), t.end(), "Button1 on");
  const auto shown = std::find(t.begin(), t.end(), "EEInfo shown");
  EXPECT_LT(ok, shown);
}

TEST_F(ReadEepromTest, EepromFailureKeepsTheProgramReadAndTheOldEeprom) {
  const std::vector<std::pair<const char*, EmulatorFaults>> cases = {
      {"silent", Silent(0)},
      {"short stream", EarlyEnd(10)},
      // A counted stream has no error replies: the refusal is taken as data
      // and the rest never comes.
      {"empty socket", kEmpty},
  };
  for (const auto& [name, fault] : cases) {
    SCOPED_TRACE(name);
    SetFaults({});
    state.ProgramBuffer.fill(0x11);
    HookedHandover via(4, [&, fault = fault] { SetFaults(fault); });
    auto panel = ReadWith(via);
    EXPECT_EQ(panel->Lines(), (Texts{"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK",
                                     "error: Connect Timeout!! (7)"}));
    EXPECT_TRUE(panel->IsRed("EEInfo"));
    EXPECT_TRUE(panel->IsEnabled("Button1"));
    ExpectProgramRead();
    EXPECT_EQ(std::count(state.EepromBuffer.begin(), state.EepromBuffer.end(), 0x22), kEepromBufferBytes);
  }
}

}  // namespace

namespace {

// A line that never stops sending: the read gives up instead of keeping the
// window open for ever.
TEST(ReadIcBabbleTest, EndlessNoiseEndsInAReadError) {
  using Bytes = ScriptedWriter::Bytes;
  FakeClock clock{Clock::Duration{1}};
  DevicePair pair;
  const auto data = [](std::size_t n) {
    Bytes b(n, 0x7F);
    b.push_back(0xB8);
    return b;
  };
  // Probe, the OPTION, area-5 and ID reads, then the program header answered by noise.
  ScriptedWriter writer(pair, [&](std::size_t i, std::uint8_t) -> Bytes {
    switch (i) {
      case 0: return {0xB4};
      case 10:
      case 20: return data(6);
      case 30: return data(32);
      case 40: return Bytes(6000, 0xEE);
      default: return {};
    }
  });
  TComm comm{pair.MakePcEnd()};
  comm.SetDeviceName("Com1");
  comm.Open();
  MainState state;
  state.DeviceIndex = GetICInfo(state, "K7E1/E3");
  state.ProgramBuffer[0] = 0x12;
  WriterLink link{state, comm, clock};
  InlineHandover handover;
  RecordingPanel panel(ReadIcLayout());
  OperationContext ctx{state, link, clock, HeaderInputs{"K7E1/E3"}, {}, panel, handover};
  ReadIcWorker(ctx);
  EXPECT_EQ(panel.Lines().back(), "error: Read error!!");
  EXPECT_TRUE(panel.IsEnabled("Button1"));
  EXPECT_EQ(state.ProgramBuffer[0], 0x12);
}

}  // namespace
