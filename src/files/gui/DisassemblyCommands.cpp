// Commands of the disassembly window: open it, save its listing, close it.

#include <QMdiArea>

#include "app/gui/TMainForm.h"
#include "files/Disassembler.h"
#include "files/OpenCommands.h"
#include "files/SafeFile.h"
#include "files/gui/TDisassembleForm.h"

namespace {

constexpr const char* kCannotSave = "File can't be saved!";

}  // namespace

void TMainForm::Disassemble1Click() {
  DestroyDisassemblyWindow();
  auto* form = new TDisassembleForm(state_);
  connect(form, &TDisassembleForm::Closed, this, [this, form] {
    if (disassemblyWindow_ != form) return;
    disassemblyWindow_ = nullptr;
    state_.DisassemblyWindowOpen = 0;
  });
  mdiArea_->addSubWindow(form);
  form->setWindowTitle(state_.CurrentFileName.empty() ? QStringLiteral("Disassembly")
                                                      : QString::fromStdString(state_.CurrentFileName));
  disassemblyWindow_ = form;
  state_.DisassemblyWindowOpen = 1;
  form->show();
}

void TMainForm::DestroyDisassemblyWindow() {
  if (QMdiSubWindow* window = disassemblyWindow_) {
    disassemblyWindow_ = nullptr;
    mdiArea_->removeSubWindow(window);
    delete window;
  }
  state_.DisassemblyWindowOpen = 0;
}

void TMainForm::FileSaveAsItemClick() {
  // The menu item is greyed by the timer, which may lag a close by one tick.
  const auto* form = qobject_cast<const TDisassembleForm*>(disassemblyWindow_);
  if (!form) return;

  FileDialogRequest request;
  request.title = "Save disassembly";
  request.filters = {{"Disassemble files", "*.dis"}, {"Text files", "*.txt"}};
  request.filterIndex = 0;
  request.fileName = ProposedListingName(state_.CurrentFileName);
  request.defaultExt = "dis";
  const std::optional<FileChoice> choice = prompts_.SaveFile(request);
  if (!choice) return;

  if (choice->filterIndex != 0 || choice->path.empty()) {
    prompts_.Message(kCannotSave);
    return;
  }
  // A name typed without an extension gets ".dis", as the dialog promises.
  const std::string path = WithDefaultExtension(choice->path, "dis");
  std::string error;
  if (!WriteFileSafely(path, form->Listing(), &error))
    prompts_.Message(std::string(kCannotSave) + "\n" + path + ": " + error, {}, PromptIcon::Error);
}
