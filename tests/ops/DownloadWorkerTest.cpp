// The device-list download and the rules of the device-select list.

#include "ops/DownloadWorker.h"

#include <functional>
#include <numeric>

#include "ops/OpsFixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A device table of `count` named rows "D00", "D01", ... with parameters
// that differ from row to row; `set` adjusts a row.
class TestCatalogue {
 public:
  explicit TestCatalogue(int count, const std::function<void(DeviceRecord&, int)>& set = {}) {
    for (int i = 0; i < count; ++i) names_.push_back((i < 10 ? "D0" : "D") + std::to_string(i));
    for (int i = 0; i < count; ++i) {
      DeviceRecord r = kEepromPartRows[0];
      r.Name = names_[i].c_str();
      r.ProgramTopHi = static_cast<std::uint8_t>(i);
      r.EepromTopHi = static_cast<std::uint8_t>(i + 1);
      r.DeviceAttr = static_cast<std::uint8_t>(0x30 + i);
      r.DeviceAttr2 = static_cast<std::uint8_t>(0x40 + i);
      r.DeviceAttr3 = static_cast<std::uint8_t>(i);
      r.MemoryKind = static_cast<std::uint8_t>(i % 3);
      r.DownloadDefault = 0;
      if (set) set(r, i);
      rows_.push_back(r);
    }
    rows_.push_back(DeviceRecord{});
  }
  std::span<const DeviceRecord> Rows() const { return rows_; }

 private:
  std::vector<std::string> names_;
  std::vector<DeviceRecord> rows_;
};

Bytes Record(const MainState& s) { return Bytes(s.CommandHeader.begin(), s.CommandHeader.begin() + 25); }

std::vector<bool> Ticks(int rows, std::initializer_list<int> ticked) {
  std::vector<bool> t(static_cast<std::size_t>(rows), false);
  for (int r : ticked) t[r] = true;
  return t;
}

class DownloadTest : public OpsTest {
 protected:
  std::unique_ptr<RecordingPanel> Download(const std::vector<bool>& ticked) {
    return Run(DownloadLayout(), [&ticked](OperationContext& ctx) { return DownloadWorker(ctx, ticked); });
  }
};

TEST_F(DownloadTest, RecordsByteForByte) {
  MainState s;
  BuildDownloadRecord(s, kOpeningRecord);
  Bytes opening(25, 0);
  opening[0] = 0xA9;
  opening[1] = opening[24] = 0xFF;
  EXPECT_EQ(Record(s), opening);

  ASSERT_GE(GetICInfo(s, "K7E1/E3"), 0);
  BuildDownloadRecord(s, 1);
  // Bytes 1-23 add up to 0x3F4: the check byte is its low byte.
  EXPECT_EQ(Record(s), (Bytes{0xA9, 0x01, 'K', '7', 'E', '1', '/', 'E', '3', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                              ' ', ' ', 0x03, 0x00, 0x30, 0xC1, 0x3F, 0x01, 0xF4}));

  s.DeviceName = "ABCDEFGHIJKLMNOPQR";  // longer than a record holds
  BuildDownloadRecord(s, 2);
  EXPECT_EQ(std::string(s.CommandHeader.begin() + 2, s.CommandHeader.begin() + 18), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(s.CommandHeader[18], 0x03);
}

TEST_F(DownloadTest, TickedRowsAreNumberedInListOrder) {
  TestCatalogue catalogue(10);
  ScopedDeviceTable table(catalogue.Rows());
  const MainState before = state;

  auto panel = Download(Ticks(10, {0, 5, 9}));
  EXPECT_TRUE(outcome.Succeeded());
  const auto sent = emulator.Downloaded();
  ASSERT_EQ(sent.size(), 3u);
  const int rows[] = {0, 5, 9};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    const int row = rows[k];
    EXPECT_EQ(sent[k].number, k + 1);
    EXPECT_EQ(sent[k].name, GetIcName(row));
    EXPECT_EQ(sent[k].programTopHi, row);
    EXPECT_EQ(sent[k].eepromTopHi, row + 1);
    EXPECT_EQ(sent[k].attr, 0x30 + row);
    EXPECT_EQ(sent[k].attr2, 0x40 + row);
    EXPECT_EQ(sent[k].attr3, row);
    EXPECT_EQ(sent[k].memoryKind, row % 3);
  }
  std::vector<int> walked(10);
  std::iota(walked.begin(), walked.end(), 0);
  EXPECT_EQ(panel->SelectedRows(), walked);  // ticked or not
  EXPECT_EQ(panel->GaugeHistory(), (std::vector<int>{0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));

  // The last record on the line, whole: the device of row 9 numbered 3.
  MainState row9;
  GetICInfo(row9, "D09");
  BuildDownloadRecord(row9, 3);
  EXPECT_EQ(Record(state), Record(row9));

  // The main window's device is still the one chosen there.
  EXPECT_EQ(state.DeviceIndex, before.DeviceIndex);
  EXPECT_EQ(state.DeviceName, before.DeviceName);
  EXPECT_EQ(state.ProgramBytes, before.ProgramBytes);
  EXPECT_EQ(state.DeviceAttr, before.DeviceAttr);
  EXPECT_EQ(state.MemoryKind, before.MemoryKind);
  EXPECT_EQ(state.OscScheme, before.OscScheme);
}

TEST_F(DownloadTest, NothingTickedSendsTheOpeningRecordOnly) {
  TestCatalogue catalogue(4);
  ScopedDeviceTable table(catalogue.Rows());
  auto panel = Download({});
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_EQ(emulator.BytesReceived(), 25u);
  EXPECT_TRUE(emulator.Downloaded().empty());
  EXPECT_EQ(panel->Gauge(), 100);
}

struct FaultCase {
  const char* name;
  EmulatorFaults faults;
  std::string message;
  std::size_t accepted;  // device records the Writer kept
  std::size_t walked;    // rows the selection reached
};

TEST_F(DownloadTest, FirstRefusedRecordStopsTheDownload) {
  TestCatalogue catalogue(20);
  ScopedDeviceTable table(catalogue.Rows());
  const std::vector<FaultCase> cases = {
      {"no CTS", MakeFaults([](EmulatorFaults& f) { f.ctsNeverRaised = true; }), "Connect Timeout!!", 0, 0},
      {"garbage", MakeFaults([](EmulatorFaults& f) { f.garbage = true; }), "Writer Error!!", 0, 0},
      {"silent after the opening record", MakeFaults([](EmulatorFaults& f) { f.silenceAfter = 25; }),
       "Connect Timeout!!", 0, 1},
      {"silent after two devices", MakeFaults([](EmulatorFaults& f) { f.silenceAfter = 75; }), "Connect Timeout!!",
       2, 3},
      // The Writer keeps 16 devices and refuses a 17th.
      {"seventeen devices", {}, "Writer Error!!", 16, 17},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetFaults(c.faults);
    emulator.SetIc(emulator.Ic());  // no half-received record left over
    auto panel = Download(std::vector<bool>(20, true));
    EXPECT_EQ(panel->Messages(), std::vector<std::string>{c.message});
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_LT(panel->Gauge(), 100);
    EXPECT_EQ(panel->SelectedRows().size(), c.walked);
    // An opening record the Writer never took leaves its list as it was.
    if (c.walked > 0) {
      EXPECT_EQ(emulator.Downloaded().size(), c.accepted);
    }
  }
}

TEST_F(DownloadTest, ListStopsAtSixtyFourRowsOrTheFirstNamelessOne) {
  {
    TestCatalogue catalogue(70);
    ScopedDeviceTable table(catalogue.Rows());
    EXPECT_EQ(DownloadListRows(), 64);
    EXPECT_EQ(DefaultDownloadTicks().size(), 64u);
  }
  {
    TestCatalogue catalogue(12, [](DeviceRecord& r, int i) {
      if (i == 7) r.Name = "";
    });
    ScopedDeviceTable table(catalogue.Rows());
    EXPECT_EQ(DownloadListRows(), 7);
  }
}

TEST_F(DownloadTest, AtMostSixteenTicks) {
  {
    TestCatalogue none(5);
    ScopedDeviceTable table(none.Rows());
    EXPECT_EQ(DownloadSelection().TickedCount(), 0);
  }
  // Rows 2 to 21 ask to be ticked; row 1 has a default other than 1.
  TestCatalogue catalogue(24, [](DeviceRecord& r, int i) {
    r.DownloadDefault = i >= 2 && i <= 21 ? 1 : i == 1 ? 2 : 0;
  });
  ScopedDeviceTable table(catalogue.Rows());
  DownloadSelection list;
  ASSERT_EQ(list.Rows(), 24);
  EXPECT_EQ(list.TickedCount(), 16);
  for (int row = 0; row < 24; ++row) EXPECT_EQ(list.IsTicked(row), row >= 2 && row <= 17) << row;

  EXPECT_FALSE(list.SetTicked(20, true));  // a 17th: refused
  EXPECT_FALSE(list.IsTicked(20));
  EXPECT_EQ(list.TickedCount(), 16);
  EXPECT_TRUE(list.SetTicked(2, false));
  EXPECT_EQ(list.TickedCount(), 15);
  EXPECT_TRUE(list.SetTicked(20, true));
  EXPECT_EQ(list.TickedCount(), 16);
  EXPECT_TRUE(list.SetTicked(20, true));  // already ticked: nothing changes
  EXPECT_EQ(list.TickedCount(), 16);
  EXPECT_EQ(std::count(list.Ticks().begin(), list.Ticks().end(), true), 16);
}

}  // namespace
