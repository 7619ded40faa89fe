// Handlers whose areas are still being built. Each area moves its handlers
// into its own source file and deletes its block here.

#include "app/gui/TMainForm.h"

// --- option word and checksums ---
void TMainForm::RefreshData() {}
void TMainForm::CalChecksum() {}
void TMainForm::EditOPTIONClick() {}

// --- program files ---
void TMainForm::FileOpen1Execute() {}

// --- configuration file, save program memory, about ---
void TMainForm::CreateFilesArea() {}
void TMainForm::LoadConfig1Click() {}
void TMainForm::FileSaveItemClick() {}
bool TMainForm::LoadCfg(bool) { return false; }
void TMainForm::SaveCfg() {}
void TMainForm::SaveProgramMemory1Click() {}
void TMainForm::HelpAbout1Execute() {}

// --- disassembler and fill ---
void TMainForm::FillBuffer1Click() {}
void TMainForm::Disassemble1Click() {}
void TMainForm::FileSaveAsItemClick() {}
void TMainForm::DestroyDisassemblyWindow() {}

// --- serial link ---
void TMainForm::CreateLinkArea() {}
void TMainForm::ComboBox1Change() {}
void TMainForm::PulseWidthChange() {}
void TMainForm::EraseWidthChange() {}
void TMainForm::StartupProbe() {}

// --- writer operations ---
void TMainForm::BlankCheckActionExecute() {}
void TMainForm::ToolButton7Click() {}
void TMainForm::Veryfy1Click() {}
void TMainForm::VerifywithProtect1Click() {}
void TMainForm::AutoProgram1Click() {}
void TMainForm::AutoProgramwithoutBlankCheck1Click() {}
void TMainForm::OPTION3Click() {}
void TMainForm::ID3Click() {}
void TMainForm::ProgramMemory2Click() {}
void TMainForm::EraseClick() {}
void TMainForm::WriteEEClick() {}
void TMainForm::ToolButton23Click() {}
void TMainForm::SpeedButton1Click() {}
void TMainForm::SerialNoMode1Click() {}
void TMainForm::CounterMode1Click() {}
void TMainForm::LoadQTPFile1Click() {}
