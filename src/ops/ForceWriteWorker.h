#pragma once
// "Program Memory Without Check": a service pass that writes program memory
// with a short fixed timing and no guards, checks two bits of every byte and
// counts the pass. "Continue" runs another pass on the next IC.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& ForceWriteLayout();
Outcome ForceWriteWorker(OperationContext& ctx);

// The pass's working copy covers the first 8192 bytes of the image.
inline constexpr int kForceWriteCopyBytes = 8192;
