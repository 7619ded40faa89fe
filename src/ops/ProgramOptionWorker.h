#pragma once
// "OPTION": the OPTION word into the IC, read back and compared under the device's masks.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& ProgramOptionLayout();
Outcome ProgramOptionWorker(OperationContext& ctx);

// The option guard: the editor's verdict on the OPTION fields, "" when they
// may be programmed. Auto Program asks the same.
const char* OptionGuardText(int optionErrors);
