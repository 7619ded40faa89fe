#pragma once
// The progress windows of the programming operations: program memory, ID and
// checksum, OPTION, EEPROM, force write and Auto Program. Each is the common
// progress window with its worker; force write and Auto Program add
// "Continue", which runs the next pass on the next IC in the same window.

#include "ops/AutoProgramWorker.h"
#include "ops/gui/TOperationForm.h"

class TProgramMemoryForm : public TOperationForm {
  Q_OBJECT
 public:
  explicit TProgramMemoryForm(TMainForm& main);
};

class TProgramIDForm : public TOperationForm {
  Q_OBJECT
 public:
  explicit TProgramIDForm(TMainForm& main);
};

class TProgramOptionForm : public TOperationForm {
  Q_OBJECT
 public:
  explicit TProgramOptionForm(TMainForm& main);
};

class TProgramEEPROM : public TOperationForm {
  Q_OBJECT
 public:
  explicit TProgramEEPROM(TMainForm& main);
};

// "Program Memory Without Check": the first pass starts as the window is
// made; "Continue" (Button2) runs another, "Exit" (Button1) closes.
class TForceWriteForm : public TOperationForm {
  Q_OBJECT
 public:
  explicit TForceWriteForm(TMainForm& main);
  // "Continue": the next pass on the next IC.
  void Button2Click();

 protected:
  void ButtonClicked(const std::string& name) override;

 private:
  TMainForm& main_;
};

// Auto Program: a pass from the first show; "Continue" (Button2) puts the
// lines back as the next pass expects them and runs it, "Exit" (Button1)
// closes. "Continue" stays off once the batch is over (the QTP file ended
// or could not be read).
class TAutoProgramForm : public TOperationForm {
  Q_OBJECT
 public:
  // command: AutoProgram, or AutoProgramNoBlankCheck (the same pass; the state says which).
  explicit TAutoProgramForm(TMainForm& main, WriterCommand command = WriterCommand::AutoProgram);
  // "Continue": the next pass on the next IC.
  void Button2Click();
  // The last pass ended the batch: the QTP file ended or could not be read.
  bool BatchOver() const;

 protected:
  void ButtonClicked(const std::string& name) override;
  void ResetControls() override;

 private:
  void PassFinished();

  TMainForm& main_;
};
