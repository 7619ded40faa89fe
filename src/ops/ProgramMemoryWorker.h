#pragma once
// "Program Memory": the whole program image into the IC, then read back and compared.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& ProgramMemoryLayout();
Outcome ProgramMemoryWorker(OperationContext& ctx);
