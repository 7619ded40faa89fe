#pragma once
// Blank check, and "Erase Flash memory" (erase first, then the blank check).

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& BlankCheckLayout();
Outcome BlankCheckWorker(OperationContext& ctx);
