// Program > "Gang Auto Program...": the gang window over the main window.

#include "app/gui/TMainForm.h"
#include "gang/gui/TGangForm.h"
#include "link/Comm.h"

void TMainForm::GangAutoProgram1Click() {
  // One gang window: the command brings it to the front.
  if (auto* open = findChild<TGangForm*>()) {
    open->raise();
    open->activateWindow();
    return;
  }
  FinishStartupProbe();
  // The Writer on the window's own port may join the gang: the port is let
  // go, and the entry guard of the window's next command opens it again.
  Comm1().Close();
  state_.PortFailed = 1;
  auto* gang = new TGangForm(*this);
  gang->setAttribute(Qt::WA_DeleteOnClose);
  gang->show();
}
