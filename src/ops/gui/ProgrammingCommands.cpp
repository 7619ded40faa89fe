// Commands of the programming operations, Auto Program and force write, the
// simulation switch, the serial-number and counter set-up and the QTP file.
// Each operation command passes the port's entry guard first, then shows its
// progress window modally; the worker runs while it is open.

#include "app/StateReset.h"
#include "app/gui/TMainForm.h"
#include "production/QtpFile.h"
#include "link/WriterLink.h"
#include "ops/AutoProgramWorker.h"
#include "ops/gui/ProgrammingForms.h"
#include "production/gui/TCounterSetupForm.h"
#include "production/gui/TSerialNoSetupForm.h"

namespace {

template <class Form>
void RunForm(TMainForm& main) {
  Form form(main);
  main.RunOperationWindow(form);
}

void RunAutoProgram(TMainForm& main, bool noBlankCheck) {
  if (!main.PortReady()) return;
  if (!main.Link().CheckResetAddr(main.prompts())) return;
  MainState& s = main.State();
  s.NoBlankCheck = noBlankCheck ? 1 : 0;
  // Flash parts with data EEPROM are erased before the blank check.
  if (!noBlankCheck) s.EraseFirst = s.MemoryKind == 2 ? 1 : 0;
  RunForm<TAutoProgramForm>(main);
  // The view shows the buffer as the passes left it: the next number stamped.
  main.RecreateMemoryView();
  main.ShowPanel();
}

}  // namespace

void TMainForm::ProgramMemory2Click() {
  if (!PortReady()) return;
  if (!Link().CheckResetAddr(prompts_)) return;
  RunForm<TProgramMemoryForm>(*this);
}

void TMainForm::ID3Click() {
  if (!PortReady()) return;
  RunForm<TProgramIDForm>(*this);
}

void TMainForm::OPTION3Click() {
  if (!PortReady()) return;
  RunForm<TProgramOptionForm>(*this);
}

void TMainForm::WriteEEClick() {
  if (!PortReady()) return;
  RunForm<TProgramEEPROM>(*this);
}

void TMainForm::AutoProgram1Click() { RunAutoProgram(*this, false); }

void TMainForm::AutoProgramwithoutBlankCheck1Click() { RunAutoProgram(*this, true); }

void TMainForm::ToolButton23Click() {
  if (!PortReady()) return;
  // Force-written parts never get serial numbers.
  state_.SerialMode = 0;
  state_.Panel.Label1 = SerialModeText(state_);
  ShowPanel();
  RunForm<TForceWriteForm>(*this);
  ShowPanel();
}

void TMainForm::SpeedButton1Click() {
  ToggleSimulation(state_);
  ShowPanel();
}

void TMainForm::SerialNoMode1Click() {
  {
    TSerialNoSetupForm form(*this);
    form.exec();
  }
  state_.Panel.Label1 = SerialModeText(state_);
  RecreateMemoryView();
  ShowPanel();
}

void TMainForm::CounterMode1Click() {
  {
    TCounterSetupForm form(state_, this);
    form.exec();
  }
  ShowPanel();
}

void TMainForm::LoadQTPFile1Click() {
  FileDialogRequest request;
  request.title = "Load QTP File";
  request.filters = {{"Config files", "*.cfg"}, {"Text files", "*.txt"}};
  request.filterIndex = 1;
  const std::optional<FileChoice> choice = prompts_.OpenFile(request);
  // A cancelled choice leaves the file in use as it was.
  if (!choice || choice->filterIndex != 1 || choice->path.empty()) return;

  state_.QtpMode = 0;
  state_.QtpRecord = 0;
  if (LoadQtpFile(state_, choice->path, prompts_)) {
    RecreateMemoryView();
  } else {
    // No file is in use now, whatever the panel said before.
    state_.Panel.Label19 = "Disable";
  }
  state_.Panel.Label1 = SerialModeText(state_);
  ShowPanel();
}

void TMainForm::CloseQtpFiles() { CloseQtpFile(state_); }
