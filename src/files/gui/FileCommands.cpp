// The "Open" and "Save Program Memory" commands of the main window.

#include <filesystem>

#include "app/gui/TMainForm.h"
#include "files/ProgramFile.h"
#include "files/SaveProgramMemory.h"

namespace {

const std::vector<FileFilter> kOpenFilters = {
    {"QEL bin", "*.bin"}, {"QEL hex", "*.qhx"},    {"PIC obj", "*.obj"},
    {"PIC hex", "*.hex"}, {"Config file", "*.cfg"}, {"All File", "*.*"},
};

const std::vector<FileFilter> kSaveDialog2Filters = {{"Config file", "*.cfg"}, {"QEL Bin", "*.bin"}};
constexpr int kQelBinFilter = 1;  // second entry of kSaveDialog2Filters

bool Exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

}  // namespace

void TMainForm::FileOpen1Execute() {
  MainState& s = State();
  FileDialogRequest request;
  request.title = "Open File";
  request.defaultExt = "bin";
  request.filters = kOpenFilters;
  request.fileName = DialogStartName(s.CurrentFileName);

  if (auto choice = prompts().OpenFile(request)) {
    const std::string path = choice->path;
    s.BlankOption();
    RefreshData();
    if (!Exists(path)) {
      prompts().Message("File don't exist!");
      return;
    }
    if (!IsReadableFile(path)) {
      prompts().Message("File can't open!");
      return;
    }
    s.CurrentFileName = path;

    const ImageKind kind = ImageKindOf(path);
    if (kind == ImageKind::Config) {
      s.CfgPath = path;
      if (!LoadCfg(true)) ResetData();
    } else {
      switch (OpenProgramImage(s, prompts(), path)) {
        case ImageLoadResult::Loaded: break;
        case ImageLoadResult::CannotOpen: prompts().Message("File can't open!"); return;
        case ImageLoadResult::WrongType: prompts().Message("File type incorrect!"); return;
      }
    }
    s.SerialMode = 0;
    if (kind != ImageKind::Config) {
      // Settings saved beside the image (port, OPTION, ID, serial) come with it.
      s.CfgPath = WithoutExtension(path) + ".cfg";
      if (IsReadableFile(s.CfgPath)) LoadCfg(false);
    }
    CreateMemoryView();
  }

  // Also a listing left open after its flag went with the program-memory view.
  DestroyDisassemblyWindow();
  s.Panel.Label1 = "Disable";
  s.Panel.Label19 = "Disable";
  s.SerialMode = 0;
  s.QtpMode = 0;
  s.Panel.Label13 = "0";
  CalChecksum();
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
