#include "views/EepromView.h"

#include "app/MainState.h"
#include "views/EditSingleData.h"
#include "views/GridText.h"

int EepromGridRows(const MainState& state) {
  // A last row that is only partly the device's still shows its bytes.
  return (state.EepromBytes() + kEepromGridColumns - 1) / kEepromGridColumns;
}

std::string EepromGridHeader(int column) {
  if (column < 0 || column >= kEepromGridColumns) return {};
  return "+" + views::Hex(column, 1);
}

std::string EepromGridRowLabel(int row) {
  return "0x" + views::Hex(static_cast<unsigned>(row) * kEepromGridColumns, 2);
}

int EepromGridAddress(const MainState& state, int row, int column) {
  if (row < 0 || column < 0 || column >= kEepromGridColumns) return -1;
  const long address = static_cast<long>(row) * kEepromGridColumns + column;
  return address < state.EepromBytes() ? static_cast<int>(address) : -1;
}

std::string EepromCellText(const MainState& state, int row, int column) {
  const int address = EepromGridAddress(state, row, column);
  if (address < 0) return {};
  return views::Hex(state.EepromBuffer[address], 2);
}

bool StoreEepromCell(MainState& state, int row, int column, const std::string& notedText,
                     int result) {
  const int address = EepromGridAddress(state, row, column);
  if (address < 0 || result < 0 || result >= kByteLimit) return false;
  if (notedText != views::Hex(state.EepromBuffer[address], 2)) return false;
  state.EepromBuffer[address] = static_cast<std::uint8_t>(result);
  return true;
}
