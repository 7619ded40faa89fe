#include "app/gui/TMainForm.h"

#include <QMdiArea>

namespace {
TMainForm* g_mainForm = nullptr;
}

struct TMainForm::Widgets {};

TMainForm::TMainForm(Prompts& prompts, Clock& clock, SerialDeviceFactory serialDevices, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), clock_(clock), serialDevices_(std::move(serialDevices)) {
  g_mainForm = this;
  setObjectName("MainForm");
  mdiArea_ = new QMdiArea(this);
  setCentralWidget(mdiArea_);
  CreateLinkArea();
  CreateFilesArea();
}

TMainForm::~TMainForm() {
  if (g_mainForm == this) g_mainForm = nullptr;
}

TMainForm* TMainForm::Instance() { return g_mainForm; }

void TMainForm::showEvent(QShowEvent* event) { QMainWindow::showEvent(event); }
void TMainForm::closeEvent(QCloseEvent* event) { QMainWindow::closeEvent(event); }

void TMainForm::FormCreate() {}
void TMainForm::FormShow() {}
void TMainForm::FormClose() {}
void TMainForm::Timer1Timer() {}
void TMainForm::FileExit1Execute() { close(); }
void TMainForm::ResetData() {}
void TMainForm::ComboBox2Change() {}
void TMainForm::ClearBuffer1Click() {}
void TMainForm::ClearID1Click() {}
void TMainForm::ClearOPTION1Click() {}
void TMainForm::ClearEEPROMBuffer1Click() {}
void TMainForm::DownLoad1Click() {}
void TMainForm::Label3DblClick() {}
void TMainForm::ShowPanel() {}
std::string TMainForm::DeviceListText() const { return {}; }
bool TMainForm::SelectDevice(const std::string&) { return false; }
void TMainForm::SetEepromControlsEnabled(bool) {}
