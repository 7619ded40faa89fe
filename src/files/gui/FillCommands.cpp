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
  // Whether or not its flag is still set (closing the program-memory view
  // clears it): a listing of the buffer before the fill must not stay open.
  DestroyDisassemblyWindow();
}
