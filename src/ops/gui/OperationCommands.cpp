// Commands of the writer operations, the serial-number and counter set-up and
// the QTP file. Each operation command passes the port's entry guard first,
// then shows its progress window modally; the worker runs while it is open.

#include "app/gui/TMainForm.h"
#include "ops/gui/OperationForms.h"

namespace {

template <class Form>
void RunForm(TMainForm& main) {
  Form form(main);
  main.RunOperationWindow(form);
}

}  // namespace

void TMainForm::BlankCheckActionExecute() {
  if (!PortReady()) return;
  state_.EraseFirst = 0;
  RunForm<TBlankCheckForm>(*this);
}

void TMainForm::EraseClick() {
  if (!PortReady()) return;
  state_.EraseFirst = 1;
  RunForm<TBlankCheckForm>(*this);
}

void TMainForm::ToolButton7Click() {
  if (!PortReady()) return;
  state_.IcReadDone = 0;
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
  if (!PortReady()) return;
  state_.VerifyProtect = 0;
  RunForm<TVerifyForm>(*this);
}

void TMainForm::VerifywithProtect1Click() {
  if (!PortReady()) return;
  state_.VerifyProtect = 1;
  RunForm<TVerifyForm>(*this);
}
