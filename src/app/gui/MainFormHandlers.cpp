// Start-up, shutdown, the timer and the whole-state commands of the main window.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <filesystem>

#include "app/AppTitle.h"
#include "app/DeviceCatalogue.h"
#include "app/StateReset.h"
#include "app/gui/MainFormWidgets.h"
#include "app/gui/TMainForm.h"
#include "commands/WriterCommands.h"
#include "ops/gui/TDeviceForm.h"

namespace {

// The EEPROM controls and window follow the selected device.
void ApplyEepromControls(TMainForm& form) {
  MainState& state = form.State();
  if (state.MemoryKind == 2) {
    form.SetEepromControlsEnabled(true);
    form.RecreateEepromWindow();
  } else {
    form.SetEepromControlsEnabled(false);
    if (state.EepromWindowOpen) form.DestroyEepromWindow();
    state.EepromWindowOpen = 0;
  }
}

std::string CurrentDir() {
  std::error_code ec;
  auto dir = std::filesystem::current_path(ec);
  return ec ? std::string(".") : dir.string();
}

}  // namespace

void TMainForm::FormCreate() {
  setWindowTitle(kAppCaption);
  setWindowTitle(windowTitle() + kAppVersion);
  if (PulseWidthVisible())
    for (QWidget* widget : widgets_->pulseGroup) widget->show();

  {
    QSignalBlocker block(widgets_->ComboBox2);
    widgets_->ComboBox2->clear();
    for (int i = 0; !GetIcName(i).empty(); ++i) widgets_->ComboBox2->addItem(QString::fromStdString(GetIcName(i)));
  }

  state_.CurrentFileName.clear();
  state_.StartDir = CurrentDir();
  BlankStartState(state_);

  SetPortIndex(0);
  {
    QSignalBlocker block(widgets_->ComboBox2);
    widgets_->ComboBox2->setCurrentIndex(widgets_->ComboBox2->count() > 0 ? 0 : -1);
  }
  state_.DeviceIndex = GetICInfo(state_, DeviceListText());
  // The window shows the blank state until FinishStartup reads Default.cfg.
  RefreshData();
  ApplyEepromControls(*this);
  InitProductionLog();
  InitLedger();
}

void TMainForm::FinishStartup() {
  if (startupDone_) return;
  startupDone_ = true;

  // The configuration area opens, reads and closes the file named by CfgPath itself;
  // StartupLoad keeps faults of the image it names quiet during start-up.
  state_.CfgPath = DefaultCfgPath(state_.StartDir);
  std::error_code ec;
  if (std::filesystem::exists(state_.CfgPath, ec)) {
    state_.StartupLoad = 1;
    if (!LoadCfg(true)) ResetData();
    state_.StartupLoad = 0;
  } else {
    RefreshData();
  }

  ApplyEepromControls(*this);
  StartupProbe();
  ShowPanel();
}

void TMainForm::FormShow() {
  if (state_.Shown) return;
  state_.RefreshPending = 1;
  CreateIdWindow();  // replaces an open one
  CreateMemoryView();
  state_.Shown = true;
}

void TMainForm::FormClose() {
  if (widgets_->closed) return;
  widgets_->closed = true;
  ShutdownLink();
  CloseQtpFiles();
  // SaveCfg writes CfgPath itself, through a temporary file renamed into place.
  state_.CfgPath = DefaultCfgPath(state_.StartDir);
  ClearModesForSave(state_);
  ShowPanel();
  SaveCfg();
}

void TMainForm::Timer1Timer() {
  widgets_->Action("FileSaveAsItem")->setEnabled(state_.DisassemblyWindowOpen != 0);
  if (TimerTick(state_, OperationOpen())) RefreshData();
  widgets_->Label1->setText(QString::fromStdString(state_.Panel.Label1));
  SetSingleAreaProgramming(CommandOffered(WriterCommand::ProgramMemory, state_));
}

void TMainForm::SetSingleAreaProgramming(bool enabled) {
  for (const char* name : {"ProgramMemory2", "ID3", "OPTION3"}) widgets_->Action(name)->setEnabled(enabled);
}

void TMainForm::FileExit1Execute() { close(); }

void TMainForm::ResetData() {
  ResetDeviceData(state_, DeviceListText());
  RecreateIdWindow();
  if (state_.MemoryWindowOpen) {
    // Cleared first so the new view is not captioned with the old file's name.
    state_.CurrentFileName.clear();
    RecreateMemoryView();
  }
  ApplyEepromControls(*this);
  RefreshData();
  ShowPanel();
}

void TMainForm::ComboBox2Change() {
  ResetData();
  if (state_.NeedsAdaptor == 1) prompts_.Message("Please add the adaptor");
}

void TMainForm::ClearBuffer1Click() {
  state_.BlankProgram();
  if (state_.MemoryWindowOpen) {
    state_.CurrentFileName.clear();
    RecreateMemoryView();
  }
  CalChecksum();
  // Also a listing left open after its flag went with the program-memory view.
  DestroyDisassemblyWindow();
}

void TMainForm::ClearID1Click() {
  state_.BlankId();
  RecreateIdWindow();
}

void TMainForm::ClearOPTION1Click() {
  state_.BlankOption();
  RefreshData();
}

void TMainForm::ClearEEPROMBuffer1Click() {
  state_.BlankEeprom();
  RecreateEepromWindow();
}

// No port check: a closed port shows up as a time-out of the first record.
void TMainForm::DownLoad1Click() {
  FinishStartupProbe();  // the download window's worker uses the line
  if (!StartCommand(WriterCommand::Download)) return;
  TDeviceForm form(*this);
  RunOperationWindow(form);
}

int TMainForm::RunOperationWindow(QDialog& window) {
  struct Open {
    bool& flag;
    explicit Open(bool& f) : flag(f) { flag = true; }
    ~Open() { flag = false; }
  } open(operationOpen_);
  return operationWindowHook_ ? operationWindowHook_(window) : window.exec();
}

void TMainForm::Label3DblClick() {
  QAction* forceWrite = widgets_->Action("ToolButton23");
  forceWrite->setVisible(!forceWrite->isVisible());
  TidyToolBarSeparators(widgets_->toolBarItems);
}
