#include "ops/gui/ProgrammingForms.h"

#include <QPushButton>
#include <mutex>

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

TForceWriteForm::TForceWriteForm(TMainForm& main) : TOperationForm(main, ForceWriteLayout(), ForceWriteWorker) {
  setObjectName("TForceWriteForm");
  StartNow();
}

void TForceWriteForm::Button2Click() {
  if (!WorkerRunning()) Restart();
}

void TForceWriteForm::ButtonClicked(const std::string& name) {
  if (name == "Button2") Button2Click();
  else TOperationForm::ButtonClicked(name);
}

// Written by the pass's worker as it returns, read once the window has heard
// that it finished.
struct TAutoProgramForm::Outcome {
  mutable std::mutex mutex;
  AutoProgramPass pass;
};

TAutoProgramForm::TAutoProgramForm(TMainForm& main) : TAutoProgramForm(main, std::make_shared<Outcome>()) {}

TAutoProgramForm::TAutoProgramForm(TMainForm& main, std::shared_ptr<Outcome> outcome)
    : TOperationForm(main, AutoProgramLayout(),
                     [outcome](OperationContext& ctx) {
                       AutoProgramPass pass;
                       AutoProgramWorker(ctx, pass);
                       std::lock_guard lock(outcome->mutex);
                       outcome->pass = pass;
                     }),
      outcome_(std::move(outcome)),
      main_(main) {
  setObjectName("TAutoProgramForm");
  connect(this, &TOperationForm::WorkerFinished, this, &TAutoProgramForm::PassFinished);
}

AutoProgramPass TAutoProgramForm::LastPass() const {
  std::lock_guard lock(outcome_->mutex);
  return outcome_->pass;
}

void TAutoProgramForm::PassFinished() {
  const AutoProgramPass pass = LastPass();
  main_.LogAutoProgramPass(pass);
  // Also after a line fault, which lets the user out by every button: a batch
  // that is over has no next part.
  if (pass.batchOver) Button("Button2")->setEnabled(false);
}

void TAutoProgramForm::ResetControls() { ApplyNow(AutoProgramContinueReset); }

void TAutoProgramForm::Button2Click() {
  if (WorkerRunning() || LastPass().batchOver) return;
  {
    std::lock_guard lock(outcome_->mutex);
    outcome_->pass = {};
  }
  Restart();
}

void TAutoProgramForm::ButtonClicked(const std::string& name) {
  if (name == "Button2") Button2Click();
  else TOperationForm::ButtonClicked(name);
}
