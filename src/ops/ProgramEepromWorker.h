#pragma once
// "Write EEPROM": the EEPROM image into the IC as address/data pairs, read back and compared.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& ProgramEepromLayout();
Outcome ProgramEepromWorker(OperationContext& ctx);
