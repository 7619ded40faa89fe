#pragma once
// The main window as the window tests build it: start-up runs to its end
// right away (Default.cfg, the port probe and its message), as it does once
// the program's window is on screen and the probe has ended. Their port map
// has no Writer behind any port, so start-up reports "Open  COM1 Port
// Error!!"; that message is dropped here, and the tests of the start-up probe
// look at it themselves.

#include <QTest>

#include "app/gui/TMainForm.h"
#include "support/ScriptedPrompts.h"

// Waits for what the window asks the ledger on its own threads: opening it,
// the next number. Every test that reads the status line goes through it.
inline void SettleLedger(TMainForm& window) {
  [[maybe_unused]] const bool settled = QTest::qWaitFor([&] { return !window.LedgerBusy(); }, 15000);
}

class TestMainForm : public TMainForm {
 public:
  TestMainForm(ScriptedPrompts& prompts, Clock& clock, SerialDeviceFactory serialDevices = {})
      : TMainForm(prompts, clock, std::move(serialDevices)) {
    FinishStartup();
    FinishStartupProbe();
    SettleLedger(*this);
    prompts.messages.clear();
  }
};
