#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/DeviceCatalogue.h"
#include "app/gui/TMainForm.h"
#include "files/Disassembler.h"
#include "files/gui/TDisassembleForm.h"
#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"

namespace {

class DisassemblyWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(GetICInfo(form_->State(), "K7E1/E3"), 0);
    form_->State().SetProgramWord(5, 0x1B85);
    char tmpl[] = "/tmp/disasm-gui-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  QList<TDisassembleForm*> Windows() const { return form_->MdiArea()->findChildren<TDisassembleForm*>(); }
  static std::string Read(const std::filesystem::path& p) {
    std::stringstream ss;
    ss << std::ifstream(p, std::ios::binary).rdbuf();
    return ss.str();
  }
  // Answers the next save dialog.
  void Choose(const std::filesystem::path& path, int filterIndex) {
    prompts_.files.push_back(FileChoice{path.string(), filterIndex});
  }

  ScriptedPrompts prompts_;
  FakeClock clock_;
  std::unique_ptr<TMainForm> form_ = std::make_unique<TestMainForm>(prompts_, clock_);
  std::filesystem::path dir_;
};

TEST_F(DisassemblyWindow, OpensOneSnapshotWindowAndKeepsTheFlagInStep) {
  MainState& s = form_->State();
  form_->Disassemble1Click();
  ASSERT_EQ(Windows().size(), 1);
  TDisassembleForm* window = Windows().front();
  EXPECT_EQ(s.DisassemblyWindowOpen, 1);
  EXPECT_EQ(window->windowTitle(), "Disassembly");
  auto* memo = window->findChild<QPlainTextEdit*>("Memo1");
  ASSERT_NE(memo, nullptr);
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->toPlainText(), QString::fromStdString(DisassemblyListing(s)).replace("\r\n", "\n"));

  // A later buffer change shows only in a new window, which replaces the old one.
  s.SetProgramWord(6, 0x1000);
  EXPECT_EQ(window->Listing().find(";0006"), std::string::npos);
  s.CurrentFileName = "/work/prog.bin";
  form_->Disassemble1Click();
  ASSERT_EQ(Windows().size(), 1);
  window = Windows().front();
  EXPECT_EQ(window->windowTitle(), "/work/prog.bin");
  EXPECT_NE(window->Listing().find(";0006    1000\r\n"), std::string::npos);

  // Closed by the user: the flag clears and a late "Save Disassmble" does nothing.
  window->close();
  EXPECT_EQ(s.DisassemblyWindowOpen, 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(Windows().empty());
  form_->FileSaveAsItemClick();
  EXPECT_TRUE(prompts_.fileRequests.empty());

  // Closed by a command (clear buffer, file load).
  form_->Disassemble1Click();
  form_->DestroyDisassemblyWindow();
  EXPECT_TRUE(Windows().empty());
  EXPECT_EQ(s.DisassemblyWindowOpen, 0);
}

TEST_F(DisassemblyWindow, SaveDisassmble) {
  form_->State().CurrentFileName = (dir_ / "prog.bin").string();
  form_->Disassemble1Click();
  const std::string listing = Windows().front()->Listing();

  const auto dis = dir_ / "prog.dis";
  { std::ofstream(dis) << "old"; }
  Choose(dis, 0);
  form_->FileSaveAsItemClick();
  ASSERT_EQ(prompts_.fileRequests.size(), 1u);
  const FileDialogRequest& req = prompts_.fileRequests[0];
  EXPECT_EQ(req.title, "Save disassembly");
  EXPECT_EQ(req.defaultExt, "dis");
  EXPECT_EQ(req.filterIndex, 0);
  ASSERT_EQ(req.filters.size(), 2u);
  EXPECT_EQ(req.filters[0].pattern, "*.dis");
  EXPECT_EQ(req.filters[1].pattern, "*.txt");
  EXPECT_EQ(req.fileName, (dir_ / "prog").string());
  EXPECT_EQ(Read(dis), listing);

  Choose(dir_ / "bare", 0);  // typed without an extension
  form_->FileSaveAsItemClick();
  EXPECT_EQ(Read(dir_ / "bare.dis"), listing);
  form_->FileSaveAsItemClick();  // cancelled
  EXPECT_TRUE(prompts_.messages.empty());

  // The text filter is refused and an existing file of that name is left alone.
  const auto txt = dir_ / "prog.txt";
  { std::ofstream(txt) << "kept"; }
  Choose(txt, 1);
  form_->FileSaveAsItemClick();
  EXPECT_EQ(prompts_.Texts(), std::vector<std::string>{"File can't be saved!"});
  EXPECT_EQ(Read(txt), "kept");

  // A write failure is reported, not passed over.
  Choose(dir_ / "no-such-dir" / "prog.dis", 0);
  form_->FileSaveAsItemClick();
  ASSERT_EQ(prompts_.messages.size(), 2u);
  EXPECT_TRUE(prompts_.messages[1].text.starts_with("File can't be saved!\n"));
  EXPECT_EQ(prompts_.messages[1].icon, PromptIcon::Error);
}

}  // namespace

namespace {

// Closing the program-memory view drops the listing's flag but not the
// listing; the commands that change the buffer still close it.
TEST_F(DisassemblyWindow, BufferChangesCloseAListingWhoseFlagWentWithTheMemoryView) {
  form_->Disassemble1Click();
  form_->State().DisassemblyWindowOpen = 0;
  form_->ClearBuffer1Click();
  EXPECT_TRUE(Windows().isEmpty());

  form_->Disassemble1Click();
  form_->State().DisassemblyWindowOpen = 0;
  form_->FileOpen1Execute();  // cancelled dialog: the final steps still run
  EXPECT_TRUE(Windows().isEmpty());
}

}  // namespace
