// Handler of "Fill Buffer".

#include "app/gui/TMainForm.h"
#include "files/gui/TFillBufferForm.h"

void TMainForm::FillBuffer1Click() {
  {
    TFillBufferForm form(state_, prompts_, this);
    form.exec();
  }
  // Also after Cancel: the views and checksums are brought up to date.
  RecreateMemoryView();
  CalChecksum();
  if (state_.DisassemblyWindowOpen) {
    DestroyDisassemblyWindow();
    state_.DisassemblyWindowOpen = 0;
  }
}
