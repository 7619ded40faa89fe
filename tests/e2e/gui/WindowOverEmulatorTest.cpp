// The main window against writer-emulator as a process, linked as Com1 of the
// test's port map as a user runs it: a gpasm image opened through "Open",
// programmed area by area through the commands, verified, then read back into
// a cleared buffer and compared with the image as it was loaded. Each
// operation window is driven through the window hook, so nothing blocks.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "support/ScriptedPrompts.h"
#include "support/ShownLines.h"
#include "support/TestMainForm.h"

namespace {

namespace fs = std::filesystem;

// writer-emulator with its terminal linked as Com1; stopped as a user stops it.
class EmulatorOnCom1 {
 public:
  explicit EmulatorOnCom1(bool swapParts = false) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, STDERR_FILENO);
      const std::string exe = std::string(WRITER_BINARY_DIR) + "/writer-emulator";
      const std::string map = PortMapDir().string();
      execl(exe.c_str(), exe.c_str(), "--link", "Com1", "--port-map", map.c_str(),
            swapParts ? "--swap-parts" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    close(out[0]);
  }
  ~EmulatorOnCom1() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

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
  EmulatorOnCom1 emulator;
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

// A batch: Auto Program, then "Continue" part after part, serial numbers on.
TEST(WindowOverEmulator, AutoProgramBatchWithSerialNumbers) {
  constexpr int kParts = 4;
  EmulatorOnCom1 emulator(true);  // a fresh part at every pass
  ASSERT_FALSE(emulator.Path().empty()) << "writer-emulator did not start";
  ScriptedPrompts prompts;
  TestMainForm form(prompts, SystemClock::Instance());
  ASSERT_NO_FATAL_FAILURE(OpenImage(form, prompts));
  MainState& s = form.State();
  s.SerialMode = 1;
  s.SerialAddress = 0x100;
  s.SerialLength = 2;
  s.SerialValue = {0x34, 0x12};
  s.SerialStep = 1;

  const Texts good = {"Blank Check ..... OK.", "OPTION program & verify OK!!", "Data program & verify OK!!",
                      "ID & Checksum verify OK!!"};
  bool opened = false;
  form.SetOperationWindowHook([&](QDialog& d) {
    opened = true;
    d.show();
    auto& w = dynamic_cast<TOperationForm&>(d);
    for (int part = 0; part < kParts; ++part) {
      SCOPED_TRACE(part);
      QSignalSpy finished(&w, &TOperationForm::WorkerFinished);
      if (part > 0) w.Button("Button2")->click();
      EXPECT_TRUE(finished.wait(20000)) << "the pass did not end";
      EXPECT_EQ(ShownLines(w), good);
      EXPECT_EQ(s.Panel.Label13, std::to_string(part + 1));
      EXPECT_TRUE(w.Button("Button2")->isEnabled());
    }
    w.Button("Button1")->click();
    return d.result();
  });
  form.AutoProgram1Click();
  form.SetOperationWindowHook({});
  EXPECT_TRUE(opened);
  // Every part got its own number; the next one is stamped for the next part.
  EXPECT_EQ(s.Panel.Label15, "1238");
  EXPECT_EQ(s.ProgramWord(0x100), 0x3112);
  EXPECT_EQ(s.ProgramWord(0x101), 0x3138);
  // The part ledger (in the run's scratch folder) had no job for the image yet.
  EXPECT_EQ(prompts.Texts(), Texts{"New job prog: serial numbers from 1234"});
  form.ShutdownLink();
}

}  // namespace
