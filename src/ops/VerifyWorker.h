#pragma once
// Verify and "Verify with Protect": reads the part and compares it with the
// buffers. OPTION and ID differences are reported and the verify goes on; it
// ends at a failed transfer, an unprotected part (with protect), or the first
// program or EEPROM difference. MainState is only read.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& VerifyLayout();
Outcome VerifyWorker(OperationContext& ctx);
