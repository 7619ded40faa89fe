// Commands of the writer operations, the serial-number and counter set-up and
// the QTP file. Their windows are not part of the program yet: until then the
// commands are present in the menus and tool bar and do nothing.

#include "app/gui/TMainForm.h"

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
