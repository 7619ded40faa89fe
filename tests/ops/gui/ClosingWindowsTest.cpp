// Closing an operation window while its worker talks to the Writer, a hundred
// times in a row for each window: every close returns promptly, the Writer
// gets no byte once the window has gone, and the next operation works.

#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <thread>

#include "ops/gui/OperationWindowFixture.h"
#include "ops/gui/TDeviceForm.h"

namespace {

struct CloseCase {
  const char* name;
  void (TMainForm::*command)();
  int sentBytes;       // what the operation sends before the Writer streams its reply
  bool pressDownload;  // the device window starts on its button
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class ClosingWindows : public OnPacedLine<OperationWindowTest>, public ::testing::WithParamInterface<CloseCase> {};

using Millis = std::chrono::duration<double, std::milli>;

TEST_P(ClosingWindows, AHundredClosesMidOperation) {
  const CloseCase& c = GetParam();
  Main();
  Millis slowest{0};
  int running = 0;  // closes that met a worker still at work
  for (int i = 0; i < 100; ++i) {
    SCOPED_TRACE(i);
    const std::size_t before = emulator.BytesReceived();
    // Close points walk through the bytes the PC sends and on into the reply.
    const int point = 1 + (i * 7) % (c.sentBytes + 10);
    const int sent = std::min(point, c.sentBytes);
    const int extraMs = point - sent;
    if (c.pressDownload) {
      // The download has no stream to read: a Writer that falls silent
      // before the last record's reply keeps it waiting.
      EmulatorFaults silent;
      silent.silenceAfter = static_cast<std::size_t>(std::min(sent, c.sentBytes - 1));
      emulator.SetFaults(silent);
    }
    std::chrono::steady_clock::time_point left;
    std::size_t atClose = 0;
    RunCommand(c.command, [&](QDialog& w) {
      if (c.pressDownload) {
        auto* list = w.findChild<QListWidget*>("CheckListBox1");
        for (int row = 0; row < list->count(); ++row) list->item(row)->setCheckState(Qt::Checked);
        w.findChild<QPushButton*>("DownLoad")->click();
      }
      EXPECT_TRUE(QTest::qWaitFor([&] { return emulator.BytesReceived() >= before + sent; }, 5000))
          << "the operation stopped short of the close point";
      if (extraMs > 0) QTest::qWait(extraMs);
      if (auto* op = dynamic_cast<TOperationForm*>(&w)) running += op->WorkerRunning();
      if (auto* device = dynamic_cast<TDeviceForm*>(&w)) running += device->DownloadRunning();
      const auto start = std::chrono::steady_clock::now();
      switch (i % 4) {
        case 0: w.close(); break;
        case 1: w.reject(); break;
        case 2: w.done(QDialog::Accepted); break;
        default: left = start; return;  // the command destroys the window still open
      }
      slowest = std::max<Millis>(slowest, std::chrono::steady_clock::now() - start);
      EXPECT_FALSE(w.isVisible());
      atClose = emulator.BytesReceived();
    });
    if (i % 4 == 3) {
      slowest = std::max<Millis>(slowest, std::chrono::steady_clock::now() - left);
      atClose = emulator.BytesReceived();
    }
    ExpectNothingSentAfter(atClose);
    if (HasFatalFailure()) return;
  }
  EXPECT_GE(running, 90);
  // Each close stops and joins the worker; generous against a loaded machine.
  EXPECT_LT(slowest.count(), 1000.0);
  RecordProperty("slowest_close_ms", std::to_string(slowest.count()));

  emulator.SetLineModel({});
  prompts.messages.clear();
  const WindowEnd next = RunToEnd(&TMainForm::BlankCheckActionExecute);
  EXPECT_EQ(next.lines, (Texts{"OPTION ....... OK", "ID Checksum ......... OK.", "Data ......... OK."}));
  EXPECT_TRUE(prompts.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ClosingWindows,
    ::testing::Values(CloseCase{"BlankCheck", &TMainForm::BlankCheckActionExecute, 1 + 10 + 10 + 10, false},
                      CloseCase{"Read", &TMainForm::ToolButton7Click, 1 + 10 + 10 + 10 + 10, false},
                      CloseCase{"Verify", &TMainForm::Veryfy1Click, 1 + 10 + 10 + 10, false},
                      CloseCase{"Download", &TMainForm::DownLoad1Click, 25 + 25 + 25, true}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

}  // namespace
