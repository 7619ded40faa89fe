#include "files/Checksum.h"

#include <cstdio>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"

void ApplyOptionMasks(MainState& state) {
  const DeviceRecord* row = DeviceRow(state.DeviceIndex);
  if (row == nullptr) return;
  state.OptionLow = (state.OptionLow & state.OptionLowMask) | row->OptionLowForce;
  state.OptionHigh = (state.OptionHigh & state.OptionHighMask) | row->OptionHighForce;
}

std::string Hex4(std::uint32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value & 0xFFFF));
  return text;
}

void CalChecksum(MainState& state) {
  std::uint32_t data = 0;
  std::uint32_t protect = 0;
  // Bounded by the buffer whatever the device row claims.
  const int words = state.ProgramWords();
  for (int n = 0; n < words; ++n) {
    const std::uint8_t low = state.ProgramBuffer[2 * n];
    const std::uint8_t high = state.ProgramBuffer[2 * n + 1];
    data += low + ((high & 1) ? 0x80u : 0u) + (high >> 1);
    // A protected IC reads back only bits 5, 6, 12 and 13; the rest are fixed.
    protect += (low | 0x1F) + ((high | 0x1F) >> 1) + 0x80;
  }
  data &= 0xFFFF;
  state.CodeSum = static_cast<std::int32_t>(data);
  state.Panel.Label11 = Hex4(data);
  state.Panel.ProtectSum = Hex4(protect);

  ApplyOptionMasks(state);
  const std::uint16_t option = state.OptionWord();
  const std::uint32_t optionSum = (option & 0xFF) + (option >> 8);
  state.Panel.OptChecksum = Hex4(data + optionSum);
}
