// Handlers whose areas are still being built. Each area moves its handlers
// into its own source file and deletes its block here.

#include "app/gui/TMainForm.h"

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
void TMainForm::CloseQtpFiles() {}
