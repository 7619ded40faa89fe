#pragma once
// The main window as the window tests build it: start-up runs to its end
// right away (Default.cfg, the port probe and its message), as it does once
// the program's window is on screen and the probe has ended. Their port map
// has no Writer behind any port, so start-up reports "Open  COM1 Port
// Error!!"; that message is dropped here, and the tests of the start-up probe
// look at it themselves.

#include "app/gui/TMainForm.h"
#include "support/ScriptedPrompts.h"

class TestMainForm : public TMainForm {
 public:
  TestMainForm(ScriptedPrompts& prompts, Clock& clock, SerialDeviceFactory serialDevices = {})
      : TMainForm(prompts, clock, std::move(serialDevices)) {
    FinishStartup();
    FinishStartupProbe();
    prompts.messages.clear();
  }
};
