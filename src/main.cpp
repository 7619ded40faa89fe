#include <QApplication>
#include <QPixmap>
#include <QScreen>

#include "app/AppTitle.h"
#include "app/SingleInstance.h"
#include "app/gui/QtPrompts.h"
#include "app/gui/TMainForm.h"
#include "link/Clock.h"
#include "link/PosixSerialDevice.h"
#include "link/TracingSerialDevice.h"

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

  // WRITER_TRACE=FILE: every byte on the Writer's line goes to FILE as well.
  SerialDeviceFactory devices;
  if (const QString tracePath = qEnvironmentVariable("WRITER_TRACE"); !tracePath.isEmpty()) {
    auto trace = OpenTraceFile(tracePath.toStdString());
    if (!trace) {
      prompts.Message("Can't write the trace file " + tracePath.toStdString(), {}, PromptIcon::Error);
    } else {
      devices = [trace] {
        return std::make_unique<TracingSerialDevice>(std::make_unique<PosixSerialDevice>(), trace,
                                                     SystemClock::Instance());
      };
    }
  }
  TMainForm form(prompts, SystemClock::Instance(), devices);
  // Centred first, so the window comes back there when un-maximised.
  form.move(form.screen()->availableGeometry().center() - form.rect().center());
  form.showMaximized();
  // WRITER_SMOKE_TEST=1 (an install check): draw the shown window once and
  // quit before start-up reads Default.cfg or opens a port.
  if (qEnvironmentVariableIntValue("WRITER_SMOKE_TEST") == 1) return form.grab().isNull() ? 1 : 0;
  app.exec();
  return 0;
}
