// The device download window: its ticking rules and the download itself.

#include <QListWidget>
#include <QProgressBar>
#include <array>

#include "app/DeviceCatalogue.h"
#include "ops/gui/OperationWindowFixture.h"
#include "ops/gui/TDeviceForm.h"

namespace {

// Twenty devices, all but rows 3 and 7 downloaded by default: the window
// opens with the first sixteen of those ticked.
struct ManyDevices {
  ManyDevices() {
    for (int i = 0; i < 20; ++i) {
      names[i] = "DEV" + std::to_string(i);
      rows[i] = {names[i].c_str(), 0x03, 0xFF, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 1, 0x00,
                 0x00, 0, 0, 0x3F, static_cast<std::uint8_t>(i == 3 || i == 7 ? 0 : 1)};
    }
    rows[20] = {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  }
  std::array<std::string, 20> names;
  std::array<DeviceRecord, 21> rows{};
};

class DownloadWindowTest : public OperationWindowTest {
 protected:
  // Opens the window from the menu and hands it to `drive`.
  void Open(const std::function<void(TDeviceForm&)>& drive) {
    ASSERT_TRUE(RunCommand("DownLoad1", [&](QDialog& d) {
      auto& w = dynamic_cast<TDeviceForm&>(d);
      EXPECT_EQ(w.windowTitle(), "Device select");
      drive(w);
      w.findChild<QPushButton*>("Exit")->click();
      EXPECT_FALSE(w.isVisible());
    }));
  }
  static QListWidget* List(TDeviceForm& w) { return w.findChild<QListWidget*>("CheckListBox1"); }
  static QString Count(TDeviceForm& w) { return w.findChild<QLabel*>("StaticText1")->text(); }
  static void Click(TDeviceForm& w, int row, bool ticked) {
    List(w)->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
  // Presses Download and waits for the end; false when it did not end.
  static bool Download(TDeviceForm& w) {
    QSignalSpy finished(&w, &TDeviceForm::DownloadFinished);
    QTest::mouseClick(w.findChild<QPushButton*>("DownLoad"), Qt::LeftButton);
    EXPECT_FALSE(w.findChild<QPushButton*>("DownLoad")->isEnabled());
    return finished.wait(20000);
  }
};

class ManyDevicesTest : public DownloadWindowTest {
 protected:
  ManyDevices devices;
  ScopedDeviceTable table{devices.rows};  // outlives the main window
};

TEST_F(ManyDevicesTest, AtMostSixteenTicks) {
  Open([&](TDeviceForm& w) {
    EXPECT_EQ(Count(w), "16");
    EXPECT_EQ(List(w)->item(17)->checkState(), Qt::Checked);
    EXPECT_EQ(List(w)->item(18)->checkState(), Qt::Unchecked);  // default, but the 17th

    w.findChild<QProgressBar*>("CGauge1")->setValue(40);
    Click(w, 3, true);
    EXPECT_EQ(prompts.Texts(), Texts{"Already selected 16 devices"});
    EXPECT_EQ(List(w)->item(3)->checkState(), Qt::Unchecked);
    EXPECT_EQ(Count(w), "16");
    EXPECT_EQ(w.findChild<QProgressBar*>("CGauge1")->value(), 0);

    Click(w, 0, false);
    EXPECT_EQ(Count(w), "15");
    Click(w, 3, true);
    EXPECT_EQ(Count(w), "16");
    EXPECT_EQ(List(w)->currentRow(), 3);
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(w.Selection().IsTicked(3));
    EXPECT_FALSE(w.Selection().IsTicked(0));
  });
}

TEST_F(DownloadWindowTest, DownloadsTheTickedDevicesAndCanBeRepeated) {
  Main();
  Open([&](TDeviceForm& w) {
    // No device of the catalogue is marked for download by default.
    ASSERT_EQ(List(w)->count(), 2);
    EXPECT_EQ(List(w)->item(1)->text(), "K7E2/E4");
    EXPECT_EQ(Count(w), "0");
    Click(w, 0, true);
    Click(w, 1, true);
    ASSERT_TRUE(Download(w));
    const auto sent = emulator.Downloaded();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].number, 1);
    EXPECT_EQ(sent[0].name, "K7E1/E3");
    EXPECT_EQ(sent[1].number, 2);
    EXPECT_EQ(sent[1].name, "K7E2/E4");
    EXPECT_EQ(w.findChild<QProgressBar*>("CGauge1")->value(), 100);
    EXPECT_EQ(List(w)->currentRow(), 1);
    EXPECT_TRUE(w.findChild<QPushButton*>("DownLoad")->isEnabled());
    EXPECT_TRUE(prompts.messages.empty());

    Click(w, 1, false);
    ASSERT_TRUE(Download(w));
    EXPECT_EQ(emulator.Downloaded().size(), 1u);
  });
  // The main window still works on the device chosen there.
  EXPECT_EQ(Main().State().DeviceName, "K7E1/E3");
  EXPECT_EQ(Main().State().DeviceIndex, 0);
}

TEST_F(DownloadWindowTest, AFailedRecordStopsWithAMessage) {
  Main();
  const std::pair<EmulatorFaults, const char*> cases[] = {
      {[] { EmulatorFaults f; f.ctsNeverRaised = true; return f; }(), "Connect Timeout!!"},
      {[] { EmulatorFaults f; f.garbage = true; return f; }(), "Writer Error!!"},
  };
  for (const auto& [fault, text] : cases) {
    SCOPED_TRACE(text);
    prompts.messages.clear();
    emulator.SetFaults(fault);
    line->Poke();
    Open([&](TDeviceForm& w) { ASSERT_TRUE(Download(w)); });
    EXPECT_EQ(prompts.Texts(), Texts{text});
  }
}

}  // namespace
