#pragma once
// The main window as the window tests build it. Their port map has no Writer
// behind any port, so start-up reports "Open  COM1 Port Error!!"; that message
// is dropped here, and the tests of the start-up probe look at it themselves.

#include "app/gui/TMainForm.h"
#include "support/ScriptedPrompts.h"

class TestMainForm : public TMainForm {
 public:
  TestMainForm(ScriptedPrompts& prompts, Clock& clock, SerialDeviceFactory serialDevices = {})
      : TMainForm(prompts, clock, std::move(serialDevices)) {
    prompts.messages.clear();
  }
};
