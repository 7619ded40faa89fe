#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/DeviceCatalogue.h"
#include "app/gui/TMainForm.h"
#include "files/gui/TAboutBox.h"
#include "link/Clock.h"
#include "support/ScriptedPrompts.h"
#include "support/TestMainForm.h"

namespace fs = std::filesystem;

namespace {

class ConfigCommandsTest : public ::testing::Test {
 protected:
  ScriptedPrompts prompts;
  FakeClock clock;
  TestMainForm form{prompts, clock};
  QComboBox* ports = nullptr;
  int portChanges = 0;
  std::string dir;
  std::string image;

  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "cfggui.XXXXXX").string();
    dir = mkdtemp(tmpl.data());
    image = dir + "/prog.v1.bin";
    std::ofstream(image, std::ios::binary) << std::string("\x05\x00", 2);
    ports = form.findChild<QComboBox*>("ComboBox1");
    ASSERT_NE(ports, nullptr);
    QObject::connect(ports, &QComboBox::currentIndexChanged, [this] { ++portChanges; });
    GetICInfo(form.State(), "K7E2/E4");
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(ConfigCommandsTest, SaveThenLoadThroughTheDialogs) {
  MainState& s = form.State();
  s.CurrentFileName = image;
  s.SerialMode = 1;
  s.IdBuffer[5] = 0x41;
  form.SetPortIndex(2);
  portChanges = 0;

  // The second filter entry saves nothing.
  prompts.files.push_back(FileChoice{dir + "/a.bin", 1});
  form.FileSaveItemClick();
  EXPECT_EQ(prompts.LastText(), "File can't be saved!");
  EXPECT_FALSE(fs::exists(dir + "/a.bin"));
  const FileDialogRequest& save = prompts.fileRequests.back();
  EXPECT_EQ(save.fileName, dir + "/prog");

  const std::string cfg = dir + "/job.cfg";
  prompts.files.push_back(FileChoice{cfg, 0});
  prompts.messages.clear();
  form.FileSaveItemClick();
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  ASSERT_TRUE(fs::exists(cfg));

  s.SerialMode = 0;
  s.IdBuffer[5] = 0x7F;
  s.ProgramBuffer.fill(0x7F);
  s.DisassemblyWindowOpen = 1;
  form.SetPortIndex(0);
  portChanges = 0;
  prompts.files.push_back(FileChoice{cfg, 0});
  form.LoadConfig1Click();
  EXPECT_TRUE(prompts.messages.empty()) << prompts.LastText();
  EXPECT_EQ(s.CfgPath, cfg);
  EXPECT_EQ(s.SerialMode, 1);  // "Load Config File " keeps serial-number mode
  EXPECT_EQ(s.IdBuffer[5], 0x41);
  EXPECT_EQ(s.ProgramWord(0), 0x0005);
  EXPECT_EQ(s.ProgramWord(1), 0x3FFF);
  EXPECT_EQ(s.DisassemblyWindowOpen, 0);
  EXPECT_EQ(ports->currentIndex(), 2);
  EXPECT_EQ(portChanges, 0);  // only the selection moves, the port is not reopened
}

TEST_F(ConfigCommandsTest, LoadDialogRejectsOtherFilters) {
  prompts.files.push_back(FileChoice{dir + "/x.txt", 1});
  form.LoadConfig1Click();
  EXPECT_EQ(prompts.LastText(), "Can't load file!");
  prompts.files.push_back(std::nullopt);
  form.LoadConfig1Click();
  ASSERT_EQ(prompts.fileRequests.size(), 2u);
  EXPECT_EQ(prompts.fileRequests[1].fileName, "");
  EXPECT_EQ(prompts.fileRequests[1].filterIndex, 0);
  EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(ConfigCommandsTest, APipeNamedLikeAConfigurationIsRefusedNotWaitedOn) {
  const std::string pipe = dir + "/pipe.cfg";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  prompts.files.push_back(FileChoice{pipe, 0});
  form.LoadConfig1Click();
  EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"'" + pipe + "' file data error!"});
}

TEST_F(ConfigCommandsTest, AboutBoxShowsFreshValuesEachTime) {
  form.setWindowTitle("Writer V2.63");
  for (int round = 0; round < 2; ++round) {
    QString version, os, memoryCaption, memory;
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      auto* box = qobject_cast<TAboutBox*>(modal);
      if (!box) {
        ADD_FAILURE() << "no about box";
        if (modal) modal->close();
        return;
      }
      EXPECT_EQ(box->windowTitle(), "About Writer");
      version = box->findChild<QLabel*>("Label3")->text();
      os = box->findChild<QLabel*>("Label6")->text();
      memoryCaption = box->findChild<QLabel*>("Label7")->text();
      memory = box->findChild<QLabel*>("Label8")->text();
      box->findChild<QPushButton*>("OKButton")->click();
    });
    form.HelpAbout1Execute();
    EXPECT_EQ(version, "Version V2.63");
    EXPECT_TRUE(os.startsWith(" (Build ")) << os.toStdString();
    EXPECT_EQ(memoryCaption, "Memory Available to Windows :");
    EXPECT_TRUE(memory.endsWith(" KB"));
  }
  EXPECT_EQ(form.findChildren<TAboutBox*>().size(), 0);
}

}  // namespace
