// Commands of the reading operations: blank check and erase, read and
// verify. Each is prepared by the command layer (the port's entry guard
// first), then shows its progress window modally; the worker runs while it
// is open.

#include "app/gui/TMainForm.h"
#include "commands/WriterCommands.h"
#include "ops/gui/OperationForms.h"

namespace {

template <class Form>
void RunForm(TMainForm& main) {
  Form form(main);
  main.RunOperationWindow(form);
}

// The main window as the command layer sees it.
class WindowFrontEnd final : public CommandFrontEnd {
 public:
  explicit WindowFrontEnd(TMainForm& main) : main_(main) {}
  bool PortReady() override { return main_.PortReady(); }
  WriterLink& Link() override { return main_.Link(); }
  Prompts& prompts() override { return main_.prompts(); }

 private:
  TMainForm& main_;
};

}  // namespace

bool TMainForm::StartCommand(WriterCommand command) {
  WindowFrontEnd front(*this);
  return PrepareCommand(command, state_, front) == CommandStart::Go;
}

void TMainForm::BlankCheckActionExecute() {
  if (!StartCommand(WriterCommand::BlankCheck)) return;
  RunForm<TBlankCheckForm>(*this);
}

void TMainForm::EraseClick() {
  if (!StartCommand(WriterCommand::Erase)) return;
  RunForm<TBlankCheckForm>(*this);
}

void TMainForm::ToolButton7Click() {
  if (!StartCommand(WriterCommand::Read)) return;
  RunForm<TReadForm>(*this);
  if (!state_.IcReadDone) return;

  // The views show the part's contents as if they had been loaded from a file.
  state_.RefreshPending = 1;
  CreateIdWindow();
  if (state_.EepromWindowOpen) DestroyEepromWindow();
  if (state_.MemoryKind == 2) CreateEepromWindow();
  // Cleared first, so the new view is not captioned with the old file's name.
  state_.CurrentFileName.clear();
  CreateMemoryView();
  // A listing of the old image no longer matches the buffer.
  DestroyDisassemblyWindow();
  ShowPanel();
}

void TMainForm::Veryfy1Click() {
  if (!StartCommand(WriterCommand::Verify)) return;
  RunForm<TVerifyForm>(*this);
}

void TMainForm::VerifywithProtect1Click() {
  if (!StartCommand(WriterCommand::VerifyProtect)) return;
  RunForm<TVerifyForm>(*this);
}
