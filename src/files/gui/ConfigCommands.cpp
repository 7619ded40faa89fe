// Configuration file commands and the about box of the main window.

#include <fstream>
#include <optional>

#include "app/gui/TMainForm.h"
#include "commands/LoadCommands.h"
#include "files/ConfigFile.h"
#include "files/ProgramFile.h"
#include "files/gui/FilesArea.h"
#include "files/gui/TAboutBox.h"

namespace {

FilesArea& Files(const std::unique_ptr<AreaState>& area) { return static_cast<FilesArea&>(*area); }

}  // namespace

void TMainForm::CreateFilesArea() { filesArea_ = std::make_unique<FilesArea>(); }

LoadView TMainForm::ShownLoads() {
  LoadView view;
  // The port itself changes only through the list's own handler.
  view.selectPort = [this](int index) { SetPortIndex(index); };
  view.showDevice = [this](const std::string& name) { SelectDevice(name); };
  view.panelChanged = [this] { ShowPanel(); };
  view.recreateViews = [this] {
    CreateIdWindow();
    CreateMemoryView();
  };
  view.resetData = [this] { ResetData(); };
  return view;
}

bool TMainForm::LoadCfg(bool fullLoad) { return LoadConfiguration(State(), prompts(), fullLoad, ShownLoads()); }

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
  const bool loaded = LoadConfigPath(State(), prompts(), choice->path, ShownLoads());
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
