#include <QApplication>
#include <QScreen>

#include "app/AppTitle.h"
#include "app/SingleInstance.h"
#include "app/gui/QtPrompts.h"
#include "app/gui/TMainForm.h"
#include "link/Clock.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(kAppCaption);
  QtPrompts prompts;

  // Held until the process ends; a second copy only says so.
  SingleInstance guard("RunOnlyOneInstance");
  if (!guard.Acquired()) {
    prompts.Message("Process is running!");
    return 0;
  }

  TMainForm form(prompts, SystemClock::Instance());
  // Centred first, so the window comes back there when un-maximised.
  form.move(form.screen()->availableGeometry().center() - form.rect().center());
  form.showMaximized();
  app.exec();
  return 0;
}
