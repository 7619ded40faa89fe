#pragma once
// Read IC: copies the part in the socket into the buffers — OPTION word and
// body options, the ID area, program memory and, on parts with data EEPROM,
// the EEPROM. Program memory arrives in a private image, so ProgramBuffer
// changes only when the whole image is in; IcReadDone tells the main window
// to rebuild its views once the window has closed.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

const OperationLayout& ReadIcLayout();
Outcome ReadIcWorker(OperationContext& ctx);
