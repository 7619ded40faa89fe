// The "Open" and "Save Program Memory" commands of the main window.

#include "app/gui/TMainForm.h"
#include "files/OpenCommands.h"
#include "files/ProgramFile.h"
#include "files/SaveProgramMemory.h"

namespace {

const std::vector<FileFilter> kOpenFilters = {
    {"QEL bin", "*.bin"}, {"QEL hex", "*.qhx"},    {"PIC obj", "*.obj"},
    {"PIC hex", "*.hex"}, {"Config file", "*.cfg"}, {"All File", "*.*"},
};

const std::vector<FileFilter> kSaveDialog2Filters = {{"Config file", "*.cfg"}, {"QEL Bin", "*.bin"}};
constexpr int kQelBinFilter = 1;  // second entry of kSaveDialog2Filters

}  // namespace

void TMainForm::FileOpen1Execute() {
  MainState& s = State();
  FileDialogRequest request;
  request.title = "Open File";
  request.defaultExt = "bin";
  request.filters = kOpenFilters;
  request.fileName = DialogStartName(s.CurrentFileName);

  if (auto choice = prompts().OpenFile(request)) {
    OpenChosenFile(choice->path);
    return;
  }
  // Cancelled: the modes still end, as after every "Open".
  DestroyDisassemblyWindow();
  FinishOpen(s);
  ShowPanel();
}

void TMainForm::SaveProgramMemory1Click() {
  const MainState& s = State();

  FileDialogRequest request;
  request.title = "Save program memory buffer";
  request.defaultExt = "bin";
  request.filters = kSaveDialog2Filters;
  request.filterIndex = kQelBinFilter;
  request.fileName = DialogStartName(s.CurrentFileName);
  auto choice = prompts().SaveFile(request);
  if (!choice) return;

  if (choice->filterIndex != kQelBinFilter || choice->path.empty() ||
      !SaveProgramImage(s, choice->path)) {
    prompts().Message("Sorry, file can't be saved!");
  }
}
