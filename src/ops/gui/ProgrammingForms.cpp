#include "ops/gui/ProgrammingForms.h"

#include <QPushButton>

#include "app/gui/TMainForm.h"
#include "ops/ForceWriteWorker.h"
#include "ops/ProgramEepromWorker.h"
#include "ops/ProgramIdWorker.h"
#include "ops/ProgramMemoryWorker.h"
#include "ops/ProgramOptionWorker.h"

TProgramMemoryForm::TProgramMemoryForm(TMainForm& main)
    : TOperationForm(main, ProgramMemoryLayout(), ProgramMemoryWorker) {
  setObjectName("TProgramMemoryForm");
}

TProgramIDForm::TProgramIDForm(TMainForm& main) : TOperationForm(main, ProgramIdLayout(), ProgramIdWorker) {
  setObjectName("TProgramIDForm");
}

TProgramOptionForm::TProgramOptionForm(TMainForm& main)
    : TOperationForm(main, ProgramOptionLayout(), ProgramOptionWorker) {
  setObjectName("TProgramOptionForm");
}

TProgramEEPROM::TProgramEEPROM(TMainForm& main)
    : TOperationForm(main, ProgramEepromLayout(), ProgramEepromWorker) {
  setObjectName("TProgramEEPROM");
}

TForceWriteForm::TForceWriteForm(TMainForm& main)
    : TOperationForm(main, ForceWriteLayout(), ForceWriteWorker, DefaultOperationLook(), WriterCommand::ForceWrite),
      main_(main) {
  setObjectName("TForceWriteForm");
  connect(this, &TOperationForm::WorkerFinished, this, [this] { main_.PassReported(LastReport()); });
  StartNow();
}

void TForceWriteForm::Button2Click() {
  if (!WorkerRunning()) Restart();
}

void TForceWriteForm::ButtonClicked(const std::string& name) {
  if (name == "Button2") Button2Click();
  else TOperationForm::ButtonClicked(name);
}

TAutoProgramForm::TAutoProgramForm(TMainForm& main, WriterCommand command)
    : TOperationForm(main, AutoProgramLayout(), [](OperationContext& ctx) { return AutoProgramWorker(ctx); },
                     DefaultOperationLook(), command),
      main_(main) {
  setObjectName("TAutoProgramForm");
  connect(this, &TOperationForm::WorkerFinished, this, &TAutoProgramForm::PassFinished);
}

bool TAutoProgramForm::BatchOver() const { return LastReport().BatchOver(); }

void TAutoProgramForm::PassFinished() {
  main_.PassReported(LastReport());
  // Also after a line fault, which lets the user out by every button: a batch
  // that is over has no next part.
  if (BatchOver()) Button("Button2")->setEnabled(false);
}

void TAutoProgramForm::ResetControls() { ApplyNow(AutoProgramContinueReset); }

void TAutoProgramForm::Button2Click() {
  if (WorkerRunning() || BatchOver()) return;
  Restart();
}

void TAutoProgramForm::ButtonClicked(const std::string& name) {
  if (name == "Button2") Button2Click();
  else TOperationForm::ButtonClicked(name);
}
