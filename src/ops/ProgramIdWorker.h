#pragma once
// "ID and Checksum": the twelve ID bytes and the four characters of the data
// checksum into the IC's ID locations, then read back and compared.

#include "ops/Operation.h"
#include "ops/OperationPanel.h"

#include <array>
#include <cstdint>

#include "app/MainState.h"

const OperationLayout& ProgramIdLayout();
Outcome ProgramIdWorker(OperationContext& ctx);

// What goes into the ID locations: the 32 ID bytes with the checksum
// caption's first four characters at 12 to 15.
struct IdImage {
  std::array<std::uint8_t, kIdBytes> id{};
  std::array<std::uint8_t, 4> sum{};
};
// Takes the image from the main window's state and stages it in ReadBuffer.
// False when the stop came first.
bool StageIdImage(OperationContext& ctx, IdImage& image);
// After a 32-byte ID read: bit 0 when an ID byte differs, bit 1 when a
// checksum character differs (the caption read again now); -1 when stopped.
int CompareIdReadBack(OperationContext& ctx, IdImage& image);
// "ID & Checksum verify OK!!" for 0, else the red text of the difference.
const char* IdVerifyText(int result);
