// The operation windows and the commands that open them, against the
// emulated Writer: what the windows show, what the commands do with the
// result, and the window's own rules (no cancel while busy, restart).

#include <QLabel>
#include <QLayout>
#include <QMdiArea>
#include <atomic>
#include <cerrno>
#include <thread>

#include <gmock/gmock.h>

#include "app/DeviceCatalogue.h"
#include "files/Checksum.h"
#include "ops/BlankCheckWorker.h"
#include "ops/Handover.h"
#include "ops/gui/OperationForms.h"
#include "ops/gui/OperationWindowFixture.h"
#include "ops/gui/ProgrammingForms.h"
#include "views/gui/TEEDataForm.h"
#include "views/gui/TMDIChild.h"

namespace {

const Texts kBlankOk{"OPTION ....... OK", "ID Checksum ......... OK.", "Data ......... OK."};

// Words of at most 12 bits, so every core shows them as they are.
std::uint16_t Pattern(int n) { return static_cast<std::uint16_t>((n * 37 + 5) & 0x0FFF); }

IcDescription PartWithData() {
  IcDescription ic;  // the first device's part
  for (int n = 0; n < ic.words; ++n) ic.program.push_back(Pattern(n));
  ic.id = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x7F, 0x7F, 0x7F, 0x7F};
  return ic;
}

TEST_F(OperationWindowTest, F5OnABlankPartShowsTheThreeOkLinesAndEnablesOk) {
  Main().show();
  Main().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  const WindowEnd out = RunToEnd([&] { QTest::keyClick(&Main(), Qt::Key_F5); });
  ASSERT_TRUE(out.opened);
  EXPECT_EQ(out.title, "Blank Check");
  EXPECT_EQ(out.lines, kBlankOk);
  EXPECT_TRUE(out.okEnabled);
  EXPECT_EQ(Main().State().EraseFirst, 0);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(OperationWindowTest, EraseRunsTheBlankCheckWindowWithTheEraseFirst) {
  // The part in the socket is one-time programmable: the Writer refuses the
  // erase, and the window shows it in pure red.
  const WindowEnd out = RunToEnd(&TMainForm::EraseClick);
  EXPECT_EQ(out.title, "Erase Flash Memory");
  EXPECT_EQ(out.lines, Texts{"error: Nothing in socket or type error!!"});
  EXPECT_EQ(Main().State().EraseFirst, 1);
}

TEST_F(OperationWindowTest, CommandsPassTheEntryGuardFirstButDownloadDoesNot) {
  Main();
  pair.FailOpen(ENOENT);
  Main().State().PortFailed = 1;
  for (auto handler : {&TMainForm::BlankCheckActionExecute, &TMainForm::EraseClick, &TMainForm::ToolButton7Click,
                       &TMainForm::Veryfy1Click, &TMainForm::VerifywithProtect1Click}) {
    prompts.messages.clear();
    EXPECT_FALSE(RunCommand(handler, [](QDialog&) { ADD_FAILURE() << "a window opened"; }));
    EXPECT_EQ(prompts.Texts(), Texts{"Open  COM1 Port Error!!"});
  }
  EXPECT_TRUE(RunCommand("DownLoad1", [](QDialog& d) { d.close(); }));
}

TEST_F(OperationWindowTest, AWriterThatGoesAwayEndsTheStageInItsLineAndLetsTheUserOut) {
  Main();
  RunCommand("BlankCheckAction", [&](QDialog& d) {
    auto& w = dynamic_cast<TOperationForm&>(d);
    QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
    pair.FailIo(EIO);  // the cable is pulled
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(w.Button("Button1")->isEnabled());
    EXPECT_THAT(ShownLines(w), ::testing::Contains("error: Connect Timeout!!"));
    EXPECT_EQ(w.LastOutcome().verdict, Verdict::Link);
    w.accept();
  });
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  EXPECT_FALSE(Main().Comm1().Enabled());
  // Plugging the cable back takes a moment, long enough for the Writer to
  // drop a command the failure cut short.
  pair.FailIo(0);
  clock.Advance(std::chrono::seconds(3));
  EXPECT_EQ(RunToEnd("BlankCheckAction").lines, kBlankOk);  // the guard reopens the port
}

TEST_F(OperationWindowTest, ReadRebuildsTheViewsFromThePart) {
  emulator.SetIc(PartWithData());
  Main().State().CurrentFileName = "old.hex";
  const WindowEnd out = RunToEnd("ReadICAction");
  EXPECT_EQ(out.lines, (Texts{"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK"}));

  MainState& s = Main().State();
  EXPECT_EQ(s.IcReadDone, 1);
  EXPECT_EQ(s.RefreshPending, 1);
  EXPECT_EQ(s.CurrentFileName, "");
  EXPECT_EQ(s.IdBuffer[11], 12);

  const auto views = Main().MdiArea()->findChildren<TMDIChild*>();
  ASSERT_EQ(views.size(), 1);
  EXPECT_EQ(views[0]->windowTitle(), "Program Memory");
  for (int n : {0, 1, 9, 1023}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(views[0]->Model()->CellText(n / 8, n % 8), HexDigits(Pattern(n), 4));
  }

  auto expected = std::make_unique<MainState>(s);
  ::CalChecksum(*expected);
  EXPECT_NE(expected->Panel.Label11, "Blank");
  EXPECT_EQ(s.Panel.Label11, expected->Panel.Label11);
  EXPECT_EQ(PanelLabel("Label11")->text().toStdString(), expected->Panel.Label11);
}

TEST_F(OperationWindowTest, AFailedReadLeavesTheViewsAlone) {
  Main().State().CurrentFileName = "kept.hex";
  const auto before = Main().MdiArea()->findChildren<TMDIChild*>();
  EmulatorFaults fault;
  fault.silenceAfter = 1 + 10 + 10 + 10 + 5;  // the program header never completes
  emulator.SetFaults(fault);
  const WindowEnd out = RunToEnd("ReadICAction");
  EXPECT_EQ(out.lines.back(), "error: Connect Timeout!! (6)");
  EXPECT_EQ(Main().State().IcReadDone, 0);
  EXPECT_EQ(Main().State().CurrentFileName, "kept.hex");
  EXPECT_EQ(Main().MdiArea()->findChildren<TMDIChild*>(), before);
}

class EepromPartTest : public OperationWindowTest {
 protected:
  ScopedDeviceTable table{kEepromPartRows};  // outlives the main window
};

TEST_F(EepromPartTest, ReadOfAnEepromPartOpensTheEepromView) {
  IcDescription ic = *IcDescription::ForDevice("K7F8/EE");
  for (int i = 0; i < ic.eepromBytes; ++i) ic.eeprom.push_back(static_cast<std::uint8_t>(0xA0 + i));
  emulator.SetIc(ic);
  ASSERT_TRUE(Main().SelectDevice("K7F8/EE"));
  const WindowEnd out = RunToEnd("ReadICAction");
  EXPECT_EQ(out.lines.back(), "Read EEPROM OK!");
  EXPECT_EQ(Main().State().EepromWindowOpen, 1);
  const auto views = Main().MdiArea()->findChildren<TEEDataForm*>();
  ASSERT_EQ(views.size(), 1);
  EXPECT_EQ(views[0]->Model()->CellText(0, 1), "A1");
}

TEST_F(OperationWindowTest, VerifyAfterARead) {
  IcDescription ic = PartWithData();
  emulator.SetIc(ic);
  ASSERT_EQ(RunToEnd("ReadICAction").lines.size(), 3u);
  // The part carries the checksum of its data, as a programmed part does.
  const std::string sum = Main().State().Panel.Label11;
  ASSERT_EQ(sum.size(), 4u);
  for (int i = 0; i < 4; ++i) ic.id[12 + i] = static_cast<std::uint8_t>(sum[i]);
  emulator.SetIc(ic);

  WindowEnd out = RunToEnd("VerifyICAction");
  EXPECT_EQ(out.title, "Verify");
  EXPECT_EQ(out.lines, (Texts{"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!"}));
  EXPECT_EQ(Main().State().VerifyProtect, 0);

  Main().State().SetProgramWord(0x10, Pattern(0x10) ^ 0x0100);
  out = RunToEnd("VerifyICAction");
  EXPECT_EQ(out.lines.back(), "IC=" + HexDigits(Pattern(0x10), 4) + "H, Buffer=" +
                                  HexDigits(Pattern(0x10) ^ 0x0100, 4) + "H");

  out = RunToEnd("VerifywithProtect1");
  EXPECT_EQ(out.title, "Verify with Protect");
  EXPECT_EQ(out.lines, (Texts{"OPTION verify OK!!", "error: IC no protected!!"}));
  EXPECT_EQ(Main().State().VerifyProtect, 1);
}

TEST_F(OperationWindowTest, HandedOverRoutinesRunOnTheGuiThreadAndRedrawThePanel) {
  std::atomic<bool> onGui = false;
  const auto gui = std::this_thread::get_id();
  TOperationForm w(Main(), BlankCheckLayout(), [&](OperationContext& ctx) {
    ctx.handover.Run([&] {
      onGui = std::this_thread::get_id() == gui;
      ctx.state.Panel.Label11 = "1234";
    }, ctx.stop);
    return ctx.outcome;
  });
  QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
  w.show();
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_TRUE(onGui);
  EXPECT_EQ(PanelLabel("Label11")->text(), "1234");
}

// A window that waits for its stop, as one does while the Writer is slow.
TEST_F(OperationWindowTest, EscapeWaitsForTheWorkerAndDoesNotCloseMeanwhile) {
  std::atomic<bool> release = false;
  TOperationForm w(Main(), BlankCheckLayout(), [&](OperationContext& ctx) {
    while (!release && !ctx.stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ctx.panel.SetEnabled("Button1", true);
    return ctx.outcome;
  });
  QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
  w.show();
  QTest::keyClick(&w, Qt::Key_Escape);
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.WorkerRunning());
  release = true;
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_FALSE(w.WorkerRunning());  // a "Continue" on hearing of the end may start the next pass
  QTest::keyClick(&w, Qt::Key_Escape);
  EXPECT_FALSE(w.isVisible());
}

TEST_F(OperationWindowTest, RestartResetsTheControlsAndDropsWhatTheOldPassLeftQueued) {
  const OperationLayout layout{"Pass", "Pass", {{"Label1", "Waiting"}, {"Label2", "", false}},
                               {"Button1", "Button2"}, {"Exit", "Continue"}, false};
  std::atomic<int> passes = 0;
  TOperationForm w(Main(), layout, [&](OperationContext& ctx) {
    if (++passes == 1) {
      // The first pass floods the window until it is stopped.
      while (!ctx.stop.stop_requested()) {
        ctx.panel.Red("Label1", "pass 1");
        ctx.panel.SetVisible("Label2", true);
        ctx.panel.SetEnabled("Button2", true);
      }
      return ctx.outcome;
    }
    ctx.panel.SetText("Label1", "pass 2");
    return ctx.outcome;
  });
  QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
  w.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Label("Label1")->text() == "pass 1"; }, 5000));
  w.Restart();
  EXPECT_EQ(w.Label("Label1")->text(), "Waiting");
  EXPECT_FALSE(w.IsRed("Label1"));
  EXPECT_TRUE(w.Label("Label2")->isHidden());
  EXPECT_FALSE(w.Button("Button2")->isEnabled());
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_EQ(w.Label("Label1")->text(), "pass 2");
  EXPECT_FALSE(w.IsRed("Label1"));
  EXPECT_EQ(passes, 2);
}

#ifdef QT_NO_DEBUG  // a debug build stops at the assertion instead
TEST_F(OperationWindowTest, AControlTheWindowLacksIsWarnedAboutNotInvented) {
  static std::vector<std::string> warnings;
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&,
                                                              const QString& text) {
    if (type == QtWarningMsg) warnings.push_back(text.toStdString());
  });
  TOperationForm w(Main(), BlankCheckLayout(), [](OperationContext& ctx) {
    ctx.panel.SetText("Label9", "lost");
    ctx.panel.SetEnabled("Button1", true);
    return ctx.outcome;
  });
  QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
  w.show();
  const bool ended = finished.wait(5000);
  qInstallMessageHandler(previous);
  ASSERT_TRUE(ended);
  EXPECT_THAT(warnings, ::testing::Contains(::testing::HasSubstr("has no control \"Label9\"")));
  EXPECT_EQ(w.findChild<QWidget*>("Label9"), nullptr);
  EXPECT_TRUE(w.Button("Button1")->isEnabled());
}
#endif

// Every operation window is made wide enough, at the default font, for the
// titles and lines its layout names, titles its worker sets later included:
// none of them moves the window. A text no layout names widens it rather
// than being cut off.
TEST_F(OperationWindowTest, EveryWindowIsWideEnoughForItsTexts) {
  using Make = std::function<std::unique_ptr<TOperationForm>(TMainForm&)>;
  const std::vector<std::pair<const char*, Make>> forms = {
      {"blank check", [](TMainForm& m) { return std::make_unique<TBlankCheckForm>(m); }},
      {"read", [](TMainForm& m) { return std::make_unique<TReadForm>(m); }},
      {"verify", [](TMainForm& m) { return std::make_unique<TVerifyForm>(m); }},
      {"program memory", [](TMainForm& m) { return std::make_unique<TProgramMemoryForm>(m); }},
      {"ID", [](TMainForm& m) { return std::make_unique<TProgramIDForm>(m); }},
      {"OPTION", [](TMainForm& m) { return std::make_unique<TProgramOptionForm>(m); }},
      {"EEPROM", [](TMainForm& m) { return std::make_unique<TProgramEEPROM>(m); }},
      {"force write", [](TMainForm& m) { return std::make_unique<TForceWriteForm>(m); }},
      {"Auto Program", [](TMainForm& m) { return std::make_unique<TAutoProgramForm>(m); }},
  };
  for (const auto& [name, make] : forms) {
    SCOPED_TRACE(name);
    const std::unique_ptr<TOperationForm> form = make(Main());
    const int width = form->width();
    const auto fits = [&](const std::string& control, const std::string& text) {
      QLabel* label = form->Label(control);
      label->setText(QString::fromStdString(text));
      QCoreApplication::sendPostedEvents(form.get(), QEvent::LayoutRequest);
      form->layout()->activate();
      EXPECT_GE(label->width(), label->sizeHint().width()) << text;
    };
    const OperationLayout& layout = form->Layout();
    fits("StaticText1", layout.title);
    for (const std::string& title : layout.titles) fits("StaticText1", title);
    for (const PanelLineSpec& line : layout.lines) {
      fits(line.name, line.text);
      for (const char* text : {"Data program & verify OK!!", "OPTION program & verify OK!!", "ID & Checksum verify OK!!"})
        fits(line.name, text);
      for (std::int32_t status : {kLinkSocketError, kLinkAdapterError, kLinkTimeout, kLinkUnexpected})
        fits(line.name, StageFailureText(status));
    }
    EXPECT_EQ(form->width(), width);
    fits(layout.lines.front().name, "Nothing in socket or type error!! Nothing in socket or type error!!");
    EXPECT_GT(form->width(), width);
  }
}

}  // namespace
