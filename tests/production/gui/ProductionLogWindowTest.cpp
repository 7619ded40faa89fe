// The production log from the Edit menu: the choice kept in the program's
// own settings file across starts, and a line per Auto Program pass.

#include <fstream>
#include <sstream>

#include "commands/RunPreparation.h"
#include "production/ProductionLog.h"
#include "ops/gui/OperationWindowFixture.h"

namespace {

using ProductionLogWindowTest = OperationWindowTest;

TEST_F(ProductionLogWindowTest, ChosenFromTheEditMenuKeptAndAppendedTo) {
  QAction* item = Main().CommandAction("ProductionLog1");
  ASSERT_NE(item, nullptr);
  EXPECT_FALSE(item->isChecked());
  prompts.files.push_back(FileChoice{"passes.csv", 0});
  item->trigger();
  EXPECT_TRUE(item->isChecked());
  EXPECT_EQ(Main().ProductionLogPath(), "passes.csv");
  EXPECT_EQ(LoadProductionLogSetting(Main().State().StartDir), "passes.csv");
  // Default.cfg stays as every reader of it expects: the choice is not in it.
  Main().close();
  std::ifstream cfg("Default.cfg", std::ios::binary);
  std::stringstream cfgText;
  cfgText << cfg.rdbuf();
  EXPECT_EQ(cfgText.str().find("passes.csv"), std::string::npos);

  // The Writer session appends the lines of the window's Auto Program passes.
  EXPECT_EQ(Main().LedgerRunSettings(true).logPath, "passes.csv");
  EXPECT_EQ(Main().LedgerRunSettings(false).logPath, "");

  // A second click asks first; the safe answer keeps logging.
  item->trigger();
  EXPECT_TRUE(item->isChecked());
  EXPECT_EQ(prompts.messages.back().icon, PromptIcon::Warning);
  prompts.answers = {PromptAnswer::Yes};
  item->trigger();
  EXPECT_FALSE(item->isChecked());
  EXPECT_EQ(LoadProductionLogSetting(Main().State().StartDir), "");
}

TEST_F(ProductionLogWindowTest, AFileThatCannotBeWrittenIsRefused) {
  prompts.files.push_back(FileChoice{"no/such/folder/passes.csv", 0});
  Main().CommandAction("ProductionLog1")->trigger();
  EXPECT_FALSE(Main().CommandAction("ProductionLog1")->isChecked());
  EXPECT_NE(prompts.LastText().find("Production log can't be written!"), std::string::npos);
}

}  // namespace
