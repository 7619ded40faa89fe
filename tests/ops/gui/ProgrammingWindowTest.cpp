// The programming windows and their commands against the emulated Writer:
// single-area programming, force write and Auto Program batches with
// "Continue", serial numbers, QTP files and the simulation switch.

#include <QMdiArea>
#include <QProgressBar>
#include <QPushButton>
#include <cerrno>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>

#include "commands/RunPreparation.h"
#include "app/DeviceCatalogue.h"
#include "production/QtpFile.h"
#include "ops/gui/ProgrammingFixture.h"
#include "ops/gui/ProgrammingForms.h"
#include "views/gui/TMDIChild.h"

namespace {

const Texts kGoodPass = {"Blank Check ..... OK.", "OPTION program & verify OK!!", "Data program & verify OK!!",
                         "ID & Checksum verify OK!!"};

TEST_F(ProgrammingTest, SingleAreaCommandsProgramTheirAreaOfABlankPart) {
  const struct {
    const char* item;
    Shown shown;
  } cases[] = {
      {"ProgramMemory2", {"Program Memory", "Program memory", {"Program Ok!!", "Data verify OK!!"}}},
      {"ID3", {"Program ID Checksum", "ID and Checksum", {"Program Ok!!", "ID & Checksum verify OK!!"}}},
      {"OPTION3", {"Program OPTION", "OPTION", {"OPTION program & verify OK!!"}}},
  };
  Loaded();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    FreshPart();
    EXPECT_EQ(RunOnce([&] { Main().CommandAction(c.item)->trigger(); }), c.shown);
  }
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ProgrammingTest, EntryGuardsComeBeforeAnyWindow) {
  Loaded();
  pair.FailOpen(ENOENT);
  Main().State().PortFailed = 1;
  for (auto handler : {&TMainForm::ProgramMemory2Click, &TMainForm::ID3Click, &TMainForm::OPTION3Click,
                       &TMainForm::WriteEEClick, &TMainForm::AutoProgram1Click,
                       &TMainForm::AutoProgramwithoutBlankCheck1Click, &TMainForm::ToolButton23Click}) {
    prompts.messages.clear();
    EXPECT_FALSE(RunCommand(handler, [](QDialog&) { ADD_FAILURE() << "a window opened"; }));
    EXPECT_EQ(prompts.Texts(), Texts{"Open  COM1 Port Error!!"});
  }
  pair.FailOpen(0);
  // A blank reset vector is asked about first; Abort (the unscripted answer) stops.
  Main().State().SetProgramWord(0, 0x3FFF);
  Main().State().SetProgramWord(1023, 0x3FFF);
  for (auto handler : {&TMainForm::ProgramMemory2Click, &TMainForm::AutoProgram1Click,
                       &TMainForm::AutoProgramwithoutBlankCheck1Click}) {
    prompts.messages.clear();
    EXPECT_FALSE(RunCommand(handler, [](QDialog&) { ADD_FAILURE() << "a window opened"; }));
    EXPECT_THAT(prompts.Texts(), ::testing::ElementsAre(::testing::StartsWith("Reset address (")));
  }
}

class EepromProgrammingTest : public ProgrammingTest {
 protected:
  ScopedDeviceTable table{kEepromPartRows};  // outlives the main window
};

TEST_F(EepromProgrammingTest, WriteEepromAndAutoProgramEraseAFlashPartFirst) {
  emulator.SetIc(*IcDescription::ForDevice("K7F8/EE"));
  ASSERT_TRUE(Main().SelectDevice("K7F8/EE"));
  Loaded();
  MainState& s = Main().State();
  for (int a = 0; a < 64; ++a) s.EepromBuffer[a] = static_cast<std::uint8_t>(0xC0 ^ a);
  EXPECT_EQ(RunOnce([&] { Main().WriteEEClick(); }, "ButtonOk"),
            (Shown{"Program EEPROM", "Program EEPROM", {"EEPROM Program Ok!!", "EEPROM Data Verify OK!!"}}));
  EXPECT_EQ(emulator.Eeprom()[5], 0xC5);

  // The part is erased before its blank check; without the check, neither.
  Texts erased = kGoodPass;
  erased.insert(erased.begin() + 1, "Erase End");
  EXPECT_EQ(RunOnce([&] { Main().AutoProgram1Click(); }).lines, erased);
  EXPECT_EQ(s.EraseFirst, 1);
  const Shown unchecked = RunOnce([&] { Main().AutoProgramwithoutBlankCheck1Click(); });
  EXPECT_EQ(unchecked.title, "Auto-Program without Blank Check");
  EXPECT_EQ(unchecked.lines, Texts(kGoodPass.begin() + 1, kGoodPass.end()));
}

TEST_F(ProgrammingTest, ForceWriteStartsWithTheWindowAndCountsEveryContinue) {
  Loaded();
  SerialNumbers();
  {
    TForceWriteForm unshown(Main());  // the pass runs from the window's making
    EXPECT_TRUE(unshown.WorkerRunning());
    ASSERT_TRUE(WaitPass(unshown));
  }
  Main().State().Panel.Label13 = "7";
  const bool opened = RunCommand(&TMainForm::ToolButton23Click, [&](QDialog& d) {
    auto& w = dynamic_cast<TForceWriteForm&>(d);
    EXPECT_EQ(Main().State().SerialMode, 0);
    ASSERT_TRUE(WaitPass(w));
    for (int pass = 1; pass <= 3; ++pass) {
      SCOPED_TRACE(pass);
      EXPECT_EQ(ShownLines(w), (Texts{"Program memory Ok!!", "Data verify OK!!"}));
      EXPECT_EQ(w.Gauge()->value(), 100);
      EXPECT_TRUE(w.Button("Button1")->isEnabled());
      EXPECT_TRUE(w.Button("Button2")->isEnabled());
      EXPECT_EQ(PanelLabel("Label13")->text().toStdString(), std::to_string(7 + pass));
      if (pass == 3) break;
      FreshPart();
      QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
      w.Button("Button2")->click();
      EXPECT_FALSE(w.Button("Button1")->isEnabled());
      EXPECT_FALSE(w.Button("Button2")->isEnabled());
      ASSERT_TRUE(finished.wait(20000));
    }
    w.Button("Button1")->click();
  });
  EXPECT_TRUE(opened);
  EXPECT_EQ(Main().State().Panel.Label13, "10");
  // Nothing was stamped for a force-written part.
  EXPECT_EQ(emulator.ProgramWord(kSerialWord), 0x3100);
}

// What each pass stamps and counts is the worker's; here the window's part:
// "Continue" and Enter, the view made again and the production log.
TEST_F(ProgrammingTest, AutoProgramBatchContinuesRedrawsAndLogs) {
  Loaded();
  SerialNumbers();
  Main().State().Panel.Label13 = "41";
  // Every pass goes into the production log too.
  prompts.files.push_back(FileChoice{"passes.csv", 0});
  Main().CommandAction("ProductionLog1")->trigger();
  Main().ProgramMemory1Click();
  ASSERT_EQ(Main().State().MemoryWindowOpen, 1);
  Main().ShowPanel();
  EXPECT_FALSE(SingleAreaEnabled("ProgramMemory2"));

  FreshPart();
  const bool opened = RunCommand("AutoProgram1", [&](QDialog& d) {
    auto& w = dynamic_cast<TAutoProgramForm&>(d);
    ASSERT_TRUE(WaitPass(w));
    for (int pass = 0; pass < 3; ++pass) {
      SCOPED_TRACE(pass);
      EXPECT_EQ(w.Label("StaticText1")->text(), "Auto-Program");
      EXPECT_EQ(ShownLines(w), kGoodPass);
      EXPECT_TRUE(w.LastOutcome().pass->counted);
      EXPECT_TRUE(w.Button("Button2")->isEnabled());
      if (pass == 2) break;
      FreshPart();
      QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
      // Enter is "Continue" for the next part.
      if (pass == 0) QTest::keyClick(&w, Qt::Key_Return);
      else w.Button("Button2")->click();
      // "Continue" puts the lines back before the next pass draws on them.
      EXPECT_FALSE(w.Button("Button1")->isEnabled());
      EXPECT_FALSE(w.Button("Button2")->isEnabled());
      EXPECT_EQ(w.Label("Label3")->text(), "Verify.....");
      EXPECT_TRUE(w.Label("Label2")->isHidden());
      EXPECT_FALSE(w.IsRed("Label3"));
      ASSERT_TRUE(finished.wait(20000));
    }
    w.Button("Button1")->click();
  });
  ASSERT_TRUE(opened);
  // The view was made again from the buffer, the next number stamped.
  const auto views = Main().MdiArea()->findChildren<TMDIChild*>();
  ASSERT_EQ(views.size(), 1);
  EXPECT_EQ(views[0]->Model()->CellText(kSerialWord / 8, kSerialWord % 8), "3112");
  EXPECT_EQ(views[0]->Model()->CellText(kSerialWord / 8, kSerialWord % 8 + 1), "3137");
  // The part ledger's job for the image was new.
  EXPECT_EQ(prompts.Texts(), Texts{"New job untitled: serial numbers from 1234"});
  std::ifstream log("passes.csv");
  Texts records;
  for (std::string line; std::getline(log, line);) records.push_back(line);
  ASSERT_EQ(records.size(), 4u);
  for (int pass = 0; pass < 3; ++pass)
    EXPECT_NE(records[pass + 1].find("," + HexDigits(0x1234 + pass, 4) + ",," + std::to_string(42 + pass) + ",OK"),
              std::string::npos)
        << records[pass + 1];
}

TEST_F(ProgrammingTest, TheEndOfAQtpFileEndsTheBatch) {
  Loaded();
  MainState& s = Main().State();
  SerialNumbers();
  s.SerialValue = {0x05, 0x00};
  const std::string path = (std::filesystem::current_path() / "batch.txt").string();
  std::ofstream(path, std::ios::binary) << QtpFileText(s, 2);
  SerialNumbers();  // the file's numbers are the dialog's to write; the state starts over
  s.SerialMode = 0;

  prompts.files.push_back(FileChoice{path, 1});
  Main().LoadQTPFile1Click();
  ASSERT_EQ(prompts.fileRequests.size(), 1u);
  EXPECT_EQ(prompts.fileRequests[0].filterIndex, 1);
  EXPECT_EQ(prompts.fileRequests[0].filters[1].pattern, "*.txt");
  ASSERT_EQ(s.QtpMode, 1);
  EXPECT_EQ(PanelLabel("Label19")->text(), "batch.txt");
  EXPECT_EQ(PanelLabel("Label15")->text(), "0005");
  for (const char* item : {"ProgramMemory2", "ID3", "OPTION3"}) EXPECT_FALSE(SingleAreaEnabled(item)) << item;

  // A simulated batch: the bookkeeping without the Writer.
  Main().SpeedButton1Click();
  EXPECT_EQ(s.SimMode, 1);
  EXPECT_EQ(Main().CommandAction("SpeedButton1")->text(), "QTP Sim Disable");
  const std::size_t bytesBefore = emulator.BytesReceived();
  RunCommand("AutoProgram1", [&](QDialog& d) {
    auto& w = dynamic_cast<TAutoProgramForm&>(d);
    ASSERT_TRUE(WaitPass(w));
    EXPECT_TRUE(w.Button("Button2")->isEnabled());
    EXPECT_EQ(PanelLabel("Label15")->text(), "0006");
    QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
    w.Button("Button2")->click();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(w.LastOutcome().pass->qtpFinished);
    EXPECT_TRUE(w.Button("Button1")->isEnabled());
    EXPECT_FALSE(w.Button("Button2")->isEnabled());
    w.Button2Click();  // the batch is over: no pass starts
    EXPECT_FALSE(w.WorkerRunning());
    w.Button("Button1")->click();
  });
  EXPECT_EQ(emulator.BytesReceived(), bytesBefore);
  EXPECT_EQ(prompts.Texts(), (Texts{"New job untitled: QTP file " + QtpJobKey(path), "QTP Program Finished!"}));
  EXPECT_EQ(s.Panel.Label13, "2");
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(s.SimMode, 0);
  EXPECT_EQ(PanelLabel("Label19")->text(), "Disable");
  EXPECT_EQ(Main().CommandAction("SpeedButton1")->text(), "QTP Sim disable");
  for (const char* item : {"ProgramMemory2", "ID3", "OPTION3"}) EXPECT_TRUE(SingleAreaEnabled(item)) << item;
  // Off without serial-number mode.
  Main().SpeedButton1Click();
  EXPECT_EQ(s.SimMode, 0);
}

// The box at the end of a QTP file runs an event loop of its own. It comes up
// once the routine that read the file has returned: the pass does not wait
// on it, and a wake-up the box's loop delivers finds no routine half run.
TEST_F(ProgrammingTest, QtpBoxComesUpAfterTheHandOver) {
  Loaded();
  MainState& s = Main().State();
  SerialNumbers();
  const std::string path = (std::filesystem::current_path() / "one.txt").string();
  std::ofstream(path, std::ios::binary) << QtpFileText(s, 1);
  prompts.files.push_back(FileChoice{path, 1});
  Main().LoadQTPFile1Click();
  Main().SpeedButton1Click();  // simulation: the bookkeeping alone
  TAutoProgramForm* form = nullptr;
  bool passEndedUnderTheBox = false;
  prompts.whileShown = [&] {
    // The ledger's announcement of the new job comes before the window.
    if (form) passEndedUnderTheBox = QTest::qWaitFor([&] { return !form->WorkerRunning(); }, 5000);
  };
  RunCommand("AutoProgram1", [&](QDialog& d) {
    form = &dynamic_cast<TAutoProgramForm&>(d);
    ASSERT_TRUE(WaitPass(*form));
    ASSERT_TRUE(form->LastOutcome().pass);
    EXPECT_TRUE(form->LastOutcome().pass->qtpFinished);
    form->Button("Button1")->click();
  });
  EXPECT_EQ(prompts.Texts(), (Texts{"New job untitled: QTP file " + QtpJobKey(path), "QTP Program Finished!"}));
  EXPECT_TRUE(passEndedUnderTheBox);
}

TEST_F(ProgrammingTest, LoadQtpFileCancelledOrRefusedKeepsNoStaleFile) {
  Loaded();
  MainState& s = Main().State();
  SerialNumbers();
  const std::string good = (std::filesystem::current_path() / "good.txt").string();
  std::ofstream(good, std::ios::binary) << QtpFileText(s, 3);
  prompts.files.push_back(FileChoice{good, 1});
  Main().LoadQTPFile1Click();
  ASSERT_EQ(s.QtpMode, 1);

  // Cancelled, or a configuration file chosen: the file in use stays in use.
  prompts.files.push_back(std::nullopt);
  prompts.files.push_back(FileChoice{good, 0});
  for (int i = 0; i < 2; ++i) {
    Main().LoadQTPFile1Click();
    EXPECT_EQ(s.QtpMode, 1);
    EXPECT_EQ(PanelLabel("Label19")->text(), "good.txt");
  }

  // A file whose number lands on program code is refused, and the panel says no file is in use.
  const std::string bad = (std::filesystem::current_path() / "bad.txt").string();
  s.SerialAddress = 0x200;
  std::ofstream(bad, std::ios::binary) << QtpFileText(s, 1);
  prompts.files.push_back(FileChoice{bad, 1});
  Main().LoadQTPFile1Click();
  EXPECT_EQ(prompts.LastText(), "The program memory is not 'RTIW'");
  EXPECT_EQ(s.QtpMode, 0);
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(PanelLabel("Label19")->text(), "Disable");
  EXPECT_TRUE(SingleAreaEnabled("ID3"));
}

}  // namespace
