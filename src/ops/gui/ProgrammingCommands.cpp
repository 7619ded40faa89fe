// Commands of the programming operations, Auto Program and force write, the
// simulation switch, the serial-number and counter set-up and the QTP file.
// Each operation command is prepared by the command layer (the port's entry
// guard first), then shows its progress window modally; the worker runs
// while it is open.

#include "app/StateReset.h"
#include "app/gui/OffGuiThread.h"
#include "app/gui/TMainForm.h"
#include "commands/LoadCommands.h"
#include "commands/RunPreparation.h"
#include "commands/WriterCommands.h"
#include "commands/WriterSession.h"
#include "ops/AutoProgramWorker.h"
#include "production/QtpFile.h"
#include "ops/gui/ProgrammingForms.h"
#include "production/gui/TCounterSetupForm.h"
#include "production/gui/TSerialNoSetupForm.h"

namespace {

template <class Form>
void RunForm(TMainForm& main) {
  Form form(main);
  main.RunOperationWindow(form);
}

// The job opened (a new one announced) and the log checked, off the GUI
// thread, as every front end prepares a run; the Writer session records and
// logs the passes. False, after the message, when the passes must not start.
bool RecordedRun(TMainForm& main, bool logged) {
  const MainState image = main.State();
  const RunSettings settings = main.LedgerRunSettings(logged);
  const auto run = OffGuiThread([&] { return std::make_shared<const RunStart>(PrepareRun(image, settings)); });
  Prompts& prompts = main.prompts();
  switch (run->status) {
    case RunStart::Status::Ready: break;
    case RunStart::Status::Refused:
      prompts.Message(run->message + (run->jobRefused ? "\nTo start another sequence, name another job in Edit > "
                                                        "Serial No. Mode."
                                                      : ""),
                      {}, PromptIcon::Error);
      return false;
    case RunStart::Status::NoLedger:
      prompts.Message("Passes with serial numbers need the part ledger, which can't be opened: " + run->reason +
                          "\nChoose a ledger that works, or switch it off (Edit > Production Ledger...).",
                      {}, PromptIcon::Error);
      return false;
    case RunStart::Status::LedgerFailed:
      prompts.Message("The part ledger can't be reached: " + run->reason, {}, PromptIcon::Error);
      return false;
    case RunStart::Status::LogFailed:
      prompts.Message("Production log can't be written! (" + run->reason + ")", {}, PromptIcon::Error);
      return false;
  }
  for (const std::string& note : run->notes) prompts.Message(note, {}, PromptIcon::Information);
  main.Session().SetPort(main.CurrentPortSelection());
  main.Session().UseRun(run, true);
  return true;
}

void RunAutoProgram(TMainForm& main, WriterCommand command) {
  if (!main.StartCommand(command)) return;
  if (!RecordedRun(main, true)) return;
  {
    TAutoProgramForm form(main, command);
    main.RunOperationWindow(form);
  }
  main.Session().UseRun(nullptr);
  // The view shows the buffer as the passes left it: the next number stamped.
  main.RecreateMemoryView();
  main.ShowPanel();
}

}  // namespace

void TMainForm::ProgramMemory2Click() {
  if (!StartCommand(WriterCommand::ProgramMemory)) return;
  RunForm<TProgramMemoryForm>(*this);
}

void TMainForm::ID3Click() {
  if (!StartCommand(WriterCommand::ProgramId)) return;
  RunForm<TProgramIDForm>(*this);
}

void TMainForm::OPTION3Click() {
  if (!StartCommand(WriterCommand::ProgramOption)) return;
  RunForm<TProgramOptionForm>(*this);
}

void TMainForm::WriteEEClick() {
  if (!StartCommand(WriterCommand::ProgramEeprom)) return;
  RunForm<TProgramEEPROM>(*this);
}

void TMainForm::AutoProgram1Click() { RunAutoProgram(*this, WriterCommand::AutoProgram); }

void TMainForm::AutoProgramwithoutBlankCheck1Click() {
  RunAutoProgram(*this, WriterCommand::AutoProgramNoBlankCheck);
}

void TMainForm::ToolButton23Click() {
  if (!StartCommand(WriterCommand::ForceWrite)) return;
  ShowPanel();  // serial-number mode is off now
  if (!RecordedRun(*this, false)) return;
  RunForm<TForceWriteForm>(*this);
  Session().UseRun(nullptr);
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

  if (LoadQtpPath(state_, prompts_, choice->path)) {
    QtpFileLoaded(choice->path);
    RecreateMemoryView();
  }
  ShowPanel();
}

void TMainForm::CloseQtpFiles() { CloseQtpFile(state_); }
