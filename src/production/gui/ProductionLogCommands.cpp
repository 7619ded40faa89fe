// The production log of the main window: the Edit menu's choice of a CSV
// file, kept in the program's own settings file, and a line per Auto
// Program pass.

#include <QAction>
#include <chrono>

#include "app/gui/TMainForm.h"
#include "production/ProductionLog.h"

namespace {

void ShowChoice(TMainForm& w, const std::string& path) {
  if (QAction* item = w.CommandAction("ProductionLog1")) {
    item->setCheckable(true);
    item->setChecked(!path.empty());
    item->setStatusTip(path.empty() ? QString() : QString::fromStdString("Production log: " + path));
  }
}

}  // namespace

void TMainForm::InitProductionLog() {
  productionLog_ = LoadProductionLogSetting(state_.StartDir);
  ShowChoice(*this, productionLog_);
}

void TMainForm::ProductionLog1Click() {
  std::string chosen;
  if (productionLog_.empty()) {
    FileDialogRequest request;
    request.title = "Production log";
    request.filters = {{"CSV file", "*.csv"}, {"All File", "*.*"}};
    request.defaultExt = "csv";
    request.initialDir = state_.StartDir;
    const auto choice = prompts_.SaveFile(request);
    if (!choice || choice->path.empty()) {
      ShowChoice(*this, productionLog_);
      return;
    }
    std::string error;
    if (!ProductionLogWritable(choice->path, &error)) {
      prompts_.Message("Production log can't be written! (" + error + ")", {}, PromptIcon::Error);
      ShowChoice(*this, productionLog_);
      return;
    }
    chosen = choice->path;
  } else if (prompts_.Ask("Stop the production log?\nPasses are then no longer appended to " + productionLog_ + ".",
                          "Production log", PromptButtons::YesNo, PromptIcon::Warning) != PromptAnswer::Yes) {
    ShowChoice(*this, productionLog_);
    return;
  }
  std::string error;
  if (!SaveProductionLogSetting(state_.StartDir, chosen, &error))
    prompts_.Message("The choice could not be kept for the next start (" + error + ")", {}, PromptIcon::Warning);
  productionLog_ = chosen;
  ShowChoice(*this, productionLog_);
}
