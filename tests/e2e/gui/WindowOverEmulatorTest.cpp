// The main window against writer-emulator as a process, linked as Com1 of the
// test's port map as a user runs it: a gpasm image opened through "Open",
// programmed area by area through the commands, verified, then read back into
// a cleared buffer and compared with the image as it was loaded. Each
// operation window is driven through the window hook, so nothing blocks.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/gui/TMainForm.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "ops/gui/TOperationForm.h"
#include "support/EmulatorProcess.h"
#include "support/ScriptedPrompts.h"
#include "support/ShownLines.h"
#include "support/TestMainForm.h"

namespace {

namespace fs = std::filesystem;

// Runs a command of the main window to its worker's end and presses OK.
Texts RunToEnd(TMainForm& form, void (TMainForm::*command)()) {
  Texts lines;
  bool opened = false;
  form.SetOperationWindowHook([&](QDialog& d) {
    opened = true;
    d.show();
    auto& w = dynamic_cast<TOperationForm&>(d);
    QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
    EXPECT_TRUE(finished.wait(20000)) << "the operation did not end";
    lines = ShownLines(w);
    QPushButton* ok = w.Button(w.Layout().buttons.front());
    EXPECT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    return d.result();
  });
  (form.*command)();
  form.SetOperationWindowHook({});
  EXPECT_TRUE(opened);
  return lines;
}

// A 12-bit program by gpasm with two RTIW words (RETLW 0) at 0x100, opened
// through "Open" as the user picks it in the file dialog.
void OpenImage(TMainForm& form, ScriptedPrompts& prompts) {
  const fs::path dir = fs::current_path() / "e2e-image";
  fs::create_directories(dir);
  std::ofstream(dir / "prog.asm")
      << " LIST P=16C54\n ORG 0\n MOVLW 5\n MOVWF 6\n GOTO 0\n ORG 0x100\n RETLW 0\n RETLW 0\n END\n";
  ASSERT_EQ(std::system(("cd " + dir.string() + " && gpasm -o prog.hex prog.asm >/dev/null 2>&1").c_str()), 0)
      << "gpasm";
  prompts.files.push_back(FileChoice{(dir / "prog.hex").string(), 0});
  form.FileOpen1Execute();
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  // An OPTION word every field of the device accepts, as the editor leaves it.
  MainState& s = form.State();
  s.OptionLow = 0x1A;
  s.OptionHigh = 0x4B;
  form.RefreshData();
  form.CalChecksum();
  ASSERT_EQ(s.OptionErrors, 0);
}

TEST(WindowOverEmulator, OpenProgramVerifyAndReadBack) {
  EmulatorProcess emulator({"--link", "Com1", "--port-map", PortMapDir().string()});
  ASSERT_FALSE(emulator.Path().empty()) << "writer-emulator did not start";
  EXPECT_EQ(fs::read_symlink(PortMapDir() / "com1").string(), emulator.Path());

  ScriptedPrompts prompts;
  TestMainForm form(prompts, SystemClock::Instance());
  ASSERT_EQ(form.State().PortFailed, 0);
  ASSERT_NO_FATAL_FAILURE(OpenImage(form, prompts));
  MainState& s = form.State();
  const int n = s.ProgramBytes;
  ASSERT_EQ(n, 2048);
  const std::vector<std::uint8_t> image(s.ProgramBuffer.begin(), s.ProgramBuffer.begin() + n);

  EXPECT_EQ(RunToEnd(form, &TMainForm::ProgramMemory2Click), (Texts{"Program Ok!!", "Data verify OK!!"}));
  EXPECT_EQ(RunToEnd(form, &TMainForm::ID3Click), (Texts{"Program Ok!!", "ID & Checksum verify OK!!"}));
  EXPECT_EQ(RunToEnd(form, &TMainForm::OPTION3Click), Texts{"OPTION program & verify OK!!"});
  EXPECT_EQ(RunToEnd(form, &TMainForm::Veryfy1Click),
            (Texts{"OPTION verify OK!!", "ID & Checksum verify OK!!", "Data verify OK!!"}));

  form.ClearBuffer1Click();
  ASSERT_NE(std::vector<std::uint8_t>(s.ProgramBuffer.begin(), s.ProgramBuffer.begin() + n), image);
  EXPECT_EQ(RunToEnd(form, &TMainForm::ToolButton7Click),
            (Texts{"Read OPTION OK!", "Read ID and Checksum OK!", "Read Data OK"}));
  EXPECT_EQ(std::vector<std::uint8_t>(s.ProgramBuffer.begin(), s.ProgramBuffer.begin() + n), image);
  EXPECT_EQ(s.OptionLow, 0x1A);
  EXPECT_EQ(s.OptionHigh, 0x4B);
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  form.ShutdownLink();
}

}  // namespace
