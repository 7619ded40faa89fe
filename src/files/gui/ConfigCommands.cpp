// Configuration file commands and the about box of the main window.

#include <fstream>
#include <optional>

#include "app/gui/TMainForm.h"
#include "files/ConfigFile.h"
#include "files/OpenCommands.h"
#include "files/ProgramFile.h"
#include "files/gui/FilesArea.h"
#include "files/gui/TAboutBox.h"

namespace {

FilesArea& Files(const std::unique_ptr<AreaState>& area) { return static_cast<FilesArea&>(*area); }

}  // namespace

void TMainForm::CreateFilesArea() { filesArea_ = std::make_unique<FilesArea>(); }

bool TMainForm::LoadCfg(bool fullLoad) {
  CfgLoadHooks hooks;
  // The port itself changes only through the list's own handler.
  hooks.selectPort = [this](int index) { SetPortIndex(index); };
  hooks.showDevice = [this](const std::string& name) { SelectDevice(name); };
  hooks.calChecksum = [this] { CalChecksum(); };
  hooks.refreshData = [this] { RefreshData(); };
  hooks.loadImage = [this](const std::string& path) { return LoadProgramImage(State(), prompts(), path); };
  hooks.recreateViews = [this] {
    CreateIdWindow();
    CreateMemoryView();
  };
  return LoadCfgFile(State(), prompts(), fullLoad, hooks);
}

void TMainForm::SaveCfg() {
  CfgWindowTexts texts;
  texts.port = PortChoice();
  texts.device = DeviceListText();
  if (texts.device.empty()) texts.device = State().DeviceName;
  ::SaveCfg(State(), texts, prompts());
}

void TMainForm::LoadConfig1Click() {
  FilesArea& area = Files(filesArea_);
  FileDialogRequest request;
  request.filters = {{"Config files", "*.cfg"}, {"Text files", "*.txt"}};
  request.filterIndex = area.openDialog1Filter;
  request.fileName = area.openDialog1FileName;
  std::optional<FileChoice> choice = prompts().OpenFile(request);
  if (!choice) return;
  if (choice->filterIndex != 0 || choice->path.empty()) {
    prompts().Message("Can't load file!");
    area.openDialog1FileName.clear();
    area.openDialog1Filter = 0;
    return;
  }
  area.openDialog1FileName = choice->path;
  area.openDialog1Filter = choice->filterIndex;
  OpenHooks hooks;
  hooks.loadCfg = [this](bool full) { return LoadCfg(full); };
  hooks.resetData = [this] { ResetData(); };
  const bool loaded = LoadConfigFile(State(), choice->path, hooks);
  // Also a listing left open after its flag went with the program-memory view.
  DestroyDisassemblyWindow();
  if (const std::string warning = ImagePastDeviceWarning(State()); loaded && !warning.empty())
    prompts().Message(warning, {}, PromptIcon::Warning);
}

void TMainForm::FileSaveItemClick() {
  FileDialogRequest request;
  request.title = "Save Configuration";
  request.filters = {{"Config file", "*.cfg"}, {"QEL Bin", "*.bin"}};
  request.filterIndex = 0;
  request.fileName = DialogStartName(State().CurrentFileName);
  request.defaultExt = "cfg";
  std::optional<FileChoice> choice = prompts().SaveFile(request);
  if (!choice) return;
  if (choice->filterIndex != 0 || choice->path.empty()) {
    prompts().Message("File can't be saved!");
    return;
  }
  State().CfgPath = choice->path;
  SaveCfg();
}

void TMainForm::HelpAbout1Execute() {
  TAboutBox box(windowTitle(), this);
  box.exec();
}
