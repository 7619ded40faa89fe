#pragma once
// Auto Program: one production pass on the IC in the socket. Erase and blank
// check (unless "without Blank Check"), OPTION pre-programming, ID and
// checksum, program memory with read-back, ID read-back, final OPTION; then
// the pass is counted and the serial number advanced (or the next QTP record
// read). "Continue" runs the next pass on the next IC.

#include <chrono>
#include <string>

#include "ops/Operation.h"
#include "ops/OperationPanel.h"
#include "production/ProductionLog.h"

const OperationLayout& AutoProgramLayout();

struct AutoProgramPass {
  bool counted = false;      // the pass reached the accounting step
  bool batchOver = false;    // "Continue" stays disabled: the QTP file ended or failed
  bool qtpFinished = false;  // the QTP file's end record was reached
  std::string serial;        // the number stamped into this part; empty without serial-number mode
  std::string checksum;      // the data checksum of the image this part got
  int qtpRecord = 0;         // the QTP record it came from (1 = the first); 0 without a QTP file
  // The first stage that did not succeed and what it showed ("Blank check:
  // Device not blank!!"), a difference reported on the way included; empty
  // when the whole pass succeeded.
  std::string failure;
};

void AutoProgramWorker(OperationContext& ctx, AutoProgramPass& pass);

// What "Continue" does to the window before the next pass starts.
void AutoProgramContinueReset(OperationPanel& panel);

// The simulation switch: only with serial-number mode on; inverts SimMode
// and sets the button's caption.
void ToggleSimulation(MainState& state);

// The entry for a pass that has just ended.
ProductionLogEntry PassLogEntry(const MainState& state, const AutoProgramPass& pass,
                                std::chrono::system_clock::time_point when);
