// Handlers of the OPTION word panel, its editor and the checksums.

#include "app/gui/TMainForm.h"
#include "files/Checksum.h"
#include "views/OptionScheme.h"
#include "views/gui/TEditOption.h"

void TMainForm::RefreshData() {
  ::RefreshData(state_);
  ShowPanel();
}

void TMainForm::CalChecksum() {
  ::CalChecksum(state_);
  ShowPanel();
}

void TMainForm::EditOPTIONClick() {
  TEditOption editor(state_, this);
  editor.exec();
}
