#include <gtest/gtest.h>

#include "app/gui/TMainForm.h"
#include "files/FileTestSupport.h"
#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"

namespace {

struct Window {
  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form{prompts, clock};
  MainState& s = form.State();

  void Choose(const std::string& path, int filterIndex = 0) {
    prompts.files.push_back(FileChoice{path, filterIndex});
  }
  // Serial and QTP modes on, a pass count and an open disassembly, as after production work.
  void Busy() {
    s.SerialMode = 1;
    s.QtpMode = 1;
    s.Panel.Label1 = "Enable";
    s.Panel.Label19 = "Enable";
    s.Panel.Label13 = "12";
    s.DisassemblyWindowOpen = 1;
  }
  void ExpectIdle() {
    EXPECT_EQ(s.SerialMode, 0);
    EXPECT_EQ(s.QtpMode, 0);
    EXPECT_EQ(s.Panel.Label1, "Disable");
    EXPECT_EQ(s.Panel.Label19, "Disable");
    EXPECT_EQ(s.Panel.Label13, "0");
    EXPECT_EQ(s.DisassemblyWindowOpen, 0);
  }
};

}  // namespace

TEST(FileOpen, CancelStillEndsSerialAndQtpModes) {
  Window w;
  w.s.CurrentFileName = "/work/my.dir/prog.old.bin";
  w.s.OptionLow = 0x3A;  // already in the form the device allows
  w.Busy();
  w.form.FileOpen1Execute();
  ASSERT_EQ(w.prompts.fileRequests.size(), 1u);
  const auto& r = w.prompts.fileRequests[0];
  EXPECT_EQ(r.title, "Open File");
  EXPECT_EQ(r.defaultExt, "bin");
  EXPECT_EQ(r.fileName, "/work/my.dir/prog");
  ASSERT_EQ(r.filters.size(), 6u);
  EXPECT_EQ(r.filters[3].name, "PIC hex");
  EXPECT_EQ(r.filters[3].pattern, "*.hex");
  w.ExpectIdle();
  EXPECT_EQ(w.s.OptionLow, 0x3A) << "a cancelled dialog keeps the OPTION word";
  EXPECT_TRUE(w.prompts.messages.empty());
}

TEST(FileOpen, RefusedFilesStopBeforeTheFinalSteps) {
  ScratchDir dir;
  WriteText(dir.Path("notes.txt"), "text");
  std::filesystem::create_directory(dir.Path("folder.bin"));
  struct Case {
    std::string path;
    const char* message;
  } cases[] = {
      {dir.Path("missing.bin"), "File don't exist!"},
      {dir.Path("folder.bin"), "File can't open!"},
      {dir.Path("notes.txt"), "File type incorrect!"},
  };
  for (const auto& c : cases) {
    Window w;
    w.s.CurrentFileName = "old.bin";
    w.s.OptionLow = 0x3A;  // already in the form the device allows
    w.s.OptionHigh = 0x34;
    w.s.ProgramBuffer[0] = 0x11;
    w.Busy();
    w.Choose(c.path);
    w.form.FileOpen1Execute();
    EXPECT_EQ(w.prompts.Texts(), std::vector<std::string>{c.message}) << c.path;
    EXPECT_EQ(w.s.OptionWord(), 0x2FFA) << c.path;  // blank under the device's masks
    EXPECT_EQ(w.s.ProgramBuffer[0], 0x11) << c.path;
    EXPECT_EQ(w.s.SerialMode, 1) << c.path;
    EXPECT_EQ(w.s.CurrentFileName, c.path == dir.Path("notes.txt") ? c.path : "old.bin");
  }
}

TEST(FileOpen, LoadsAnImageAndLooksForItsCompanionConfiguration) {
  ScratchDir dir;
  WriteBytes(dir.Path("prog.old.BIN"), {0x03, 0x28, 0x80, 0x00});
  Window w;
  w.Busy();
  w.Choose(dir.Path("prog.old.BIN"));
  w.form.FileOpen1Execute();
  EXPECT_TRUE(w.prompts.messages.empty());
  EXPECT_EQ(w.s.ProgramWord(0), 0x2803);
  EXPECT_EQ(w.s.ProgramWord(1), 0x0080);
  EXPECT_EQ(w.s.ProgramWord(2), 0x3FFF);
  EXPECT_EQ(w.s.CurrentFileName, dir.Path("prog.old.BIN"));
  EXPECT_EQ(w.s.CfgPath, dir.Path("prog.old.cfg"));
  w.ExpectIdle();

  WriteText(dir.Path("bad.hex"), ":0100000011EE\n:0100010022DD\n");
  Window h;
  h.s.CoreKind = 2;
  h.Choose(dir.Path("bad.hex"));
  h.form.FileOpen1Execute();
  EXPECT_EQ(h.prompts.Texts(), std::vector<std::string>{"Checksum error at line 2 !"});
  EXPECT_EQ(h.s.ProgramWord(0), 0x2211) << "0x2211 fits no 14-bit row and stays";
}

// Opened once, said once: words past the device are not programmed.
TEST(FileOpen, AnImagePastTheDeviceSaysSoOnce) {
  ScratchDir dir;
  std::vector<std::uint8_t> bytes(2 * 0x600, 0xFF);
  bytes[2 * 0x500] = 0x12;
  bytes[2 * 0x5FF] = 0x34;
  WriteBytes(dir.Path("long.bin"), bytes);
  Window w;
  w.Choose(dir.Path("long.bin"));
  w.form.FileOpen1Execute();
  ASSERT_EQ(w.prompts.messages.size(), 1u);
  EXPECT_EQ(w.prompts.messages[0].text,
            "The image has data at 0500h to 05FFh, past the last word of K7E1/E3 (03FFh): those words are not "
            "programmed.");
  EXPECT_EQ(w.prompts.messages[0].icon, PromptIcon::Warning);
  EXPECT_EQ(w.s.ProgramWord(0x500), 0x3F12);  // loaded all the same
}

TEST(SaveProgramMemoryCommand, WritesOnlyWithTheBinaryFilter) {
  ScratchDir dir;
  Window w;
  w.s.ProgramBytes = 2048;
  w.s.CurrentFileName = dir.Path("prog.qhx");
  w.s.SetProgramWord(0, 0x2803);

  w.form.SaveProgramMemory1Click();  // cancelled
  ASSERT_EQ(w.prompts.fileRequests.size(), 1u);
  const auto& r = w.prompts.fileRequests[0];
  EXPECT_EQ(r.title, "Save program memory buffer");
  EXPECT_EQ(r.defaultExt, "bin");
  EXPECT_EQ(r.filterIndex, 1);
  ASSERT_EQ(r.filters.size(), 2u);
  EXPECT_EQ(r.filters[1].name, "QEL Bin");
  EXPECT_EQ(r.fileName, dir.Path("prog"));
  EXPECT_TRUE(w.prompts.messages.empty());

  w.Choose(dir.Path("as-config.cfg"), 0);
  w.form.SaveProgramMemory1Click();
  EXPECT_EQ(w.prompts.LastText(), "Sorry, file can't be saved!");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("as-config.cfg")));

  w.prompts.messages.clear();
  w.Choose(dir.Path("out.bin"), 1);
  w.form.SaveProgramMemory1Click();
  EXPECT_TRUE(w.prompts.messages.empty());
  const auto bytes = ReadBytes(dir.Path("out.bin"));
  ASSERT_EQ(bytes.size(), 2048u);
  EXPECT_EQ(bytes[0], 0x03);
  EXPECT_EQ(bytes[1], 0x28);
  EXPECT_EQ(w.s.CurrentFileName, dir.Path("prog.qhx"));

  w.Choose(dir.Path("no/folder/out.bin"), 1);
  w.form.SaveProgramMemory1Click();
  EXPECT_EQ(w.prompts.LastText(), "Sorry, file can't be saved!");
}
