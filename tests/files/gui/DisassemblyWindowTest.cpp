#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
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

namespace {

class DisassemblyWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TMainForm>(prompts_, clock_);
    ASSERT_GE(GetICInfo(form_->State(), "K7E1/E3"), 0);
    form_->State().SetProgramWord(5, 0x1B85);
    char tmpl[] = "/tmp/disasm-gui-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    form_.reset();
    std::filesystem::remove_all(dir_);
  }

  QList<TDisassembleForm*> Windows() const { return form_->MdiArea()->findChildren<TDisassembleForm*>(); }
  TDisassembleForm* OnlyWindow() const {
    const auto windows = Windows();
    return windows.size() == 1 ? windows.front() : nullptr;
  }
  static std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void ChooseFile(const std::filesystem::path& path, int filterIndex) {
    prompts_.files.push_back(FileChoice{path.string(), filterIndex});
  }

  ScriptedPrompts prompts_;
  FakeClock clock_;
  std::unique_ptr<TMainForm> form_;
  std::filesystem::path dir_;
};

TEST_F(DisassemblyWindow, OpensOneListingWindowAndKeepsTheFlagInStep) {
  MainState& s = form_->State();
  form_->Disassemble1Click();
  TDisassembleForm* window = OnlyWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(s.DisassemblyWindowOpen, 1);
  EXPECT_EQ(window->windowTitle(), "Disassembly");
  auto* memo = window->findChild<QPlainTextEdit*>("Memo1");
  ASSERT_NE(memo, nullptr);
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->toPlainText().toStdString(),
            QString::fromStdString(DisassemblyListing(s)).replace("\r\n", "\n").toStdString());
  EXPECT_NE(window->Listing().find("        ADDWR   PORTA,R         ;0005    1B85\r\n"), std::string::npos);

  // The listing is a snapshot: a later buffer change shows only in a new window.
  s.SetProgramWord(6, 0x1000);
  EXPECT_EQ(window->Listing().find(";0006"), std::string::npos);
  s.CurrentFileName = "/work/prog.bin";
  form_->Disassemble1Click();
  window = OnlyWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "/work/prog.bin");
  EXPECT_NE(window->Listing().find("        NOP                     ;0006    1000\r\n"), std::string::npos);
  EXPECT_EQ(s.DisassemblyWindowOpen, 1);

  // Closed by the user: the flag clears, and a late "Save Disassmble" does nothing.
  window->close();
  EXPECT_EQ(s.DisassemblyWindowOpen, 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(Windows().empty());
  form_->FileSaveAsItemClick();
  EXPECT_TRUE(prompts_.fileRequests.empty());

  // Closed by a command (clear buffer, file load).
  form_->Disassemble1Click();
  ASSERT_EQ(Windows().size(), 1);
  form_->DestroyDisassemblyWindow();
  EXPECT_TRUE(Windows().empty());
  EXPECT_EQ(s.DisassemblyWindowOpen, 0);
}

TEST_F(DisassemblyWindow, SaveWritesTheListingThroughTheDescribedDialog) {
  form_->State().CurrentFileName = (dir_ / "prog.bin").string();
  form_->Disassemble1Click();
  ASSERT_NE(OnlyWindow(), nullptr);
  const std::string listing = OnlyWindow()->Listing();

  const auto target = dir_ / "prog.dis";
  { std::ofstream(target) << "old"; }
  ChooseFile(target, 0);
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
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(Read(target), listing);

  // A name typed without an extension gets ".dis".
  ChooseFile(dir_ / "bare", 0);
  form_->FileSaveAsItemClick();
  EXPECT_EQ(Read(dir_ / "bare.dis"), listing);

  // Cancelling writes nothing and says nothing.
  form_->FileSaveAsItemClick();
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(DisassemblyWindow, SaveRefusesTheTextFilterAndReportsWriteFailures) {
  form_->Disassemble1Click();
  const auto txt = dir_ / "prog.txt";
  { std::ofstream(txt) << "kept"; }
  ChooseFile(txt, 1);
  form_->FileSaveAsItemClick();
  EXPECT_EQ(prompts_.Texts(), std::vector<std::string>{"File can't be saved!"});
  EXPECT_EQ(Read(txt), "kept");

  ChooseFile(dir_ / "no-such-dir" / "prog.dis", 0);
  form_->FileSaveAsItemClick();
  ASSERT_EQ(prompts_.messages.size(), 2u);
  EXPECT_EQ(prompts_.messages[1].text.rfind("File can't be saved!\n", 0), 0u);
  EXPECT_EQ(prompts_.messages[1].icon, PromptIcon::Error);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "no-such-dir"));
}

}  // namespace
