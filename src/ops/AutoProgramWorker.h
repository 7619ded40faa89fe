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

// One pass; the outcome's pass record says whether it was counted, the
// number the part got and whether "Continue" has a next part to offer.
Outcome AutoProgramWorker(OperationContext& ctx);

// What "Continue" does to the window before the next pass starts.
void AutoProgramContinueReset(OperationPanel& panel);

// The simulation switch: only with serial-number mode on; inverts SimMode
// and sets the button's caption.
void ToggleSimulation(MainState& state);

// The production log's line for a pass that has just ended: result "OK",
// "Simulated", or
// the stage that failed first and what its line showed ("Blank check: Device
// not blank!!"), a difference reported on the way included.
ProductionLogEntry PassLogEntry(const std::string& device, const std::string& image, const Outcome& pass,
                                std::chrono::system_clock::time_point when);
