#pragma once
// "ID and Checksum": the twelve ID bytes and the four characters of the data
// checksum into the IC's ID locations, then read back and compared.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& ProgramIdLayout();
void ProgramIdWorker(OperationContext& ctx);
