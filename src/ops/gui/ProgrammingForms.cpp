#include "ops/gui/ProgrammingForms.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <mutex>

#include "app/gui/TMainForm.h"
#include "ops/ForceWriteWorker.h"
#include "ops/ProgramEepromWorker.h"
#include "ops/ProgramIdWorker.h"
#include "ops/ProgramMemoryWorker.h"
#include "ops/ProgramOptionWorker.h"

namespace {

// Changes a window's controls at once, on the GUI thread, between passes.
class DirectPanel final : public OperationPanel {
 public:
  explicit DirectPanel(TOperationForm& form) : form_(form) {}

  void SetText(std::string_view control, std::string_view text) override {
    const QString t = QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    if (QLabel* label = form_.Label(control)) label->setText(t);
    else if (QPushButton* button = form_.Button(control)) button->setText(t);
  }
  void SetRed(std::string_view control) override {
    if (QWidget* target = form_.Control(control)) {
      QPalette palette = target->palette();
      palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
      target->setPalette(palette);
    }
  }
  void ClearRed(std::string_view control) override {
    if (QWidget* target = form_.Control(control)) target->setPalette(QPalette());
  }
  void SetVisible(std::string_view control, bool visible) override {
    if (QWidget* target = form_.Control(control)) target->setVisible(visible);
  }
  void SetEnabled(std::string_view control, bool enabled) override {
    if (QWidget* target = form_.Control(control)) target->setEnabled(enabled);
  }
  void SetGauge(int) override {}
  void Message(std::string_view) override {}

 private:
  TOperationForm& form_;
};

}  // namespace

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
                     [outcome, prompts = &main.prompts()](OperationContext& ctx) {
                       // The QTP file's messages come from routines run on the GUI thread.
                       ctx.prompts = prompts;
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

void TAutoProgramForm::ResetControls() {
  DirectPanel panel(*this);
  AutoProgramContinueReset(panel);
}

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
