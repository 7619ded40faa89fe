#include "views/ProgramMemoryView.h"

#include <algorithm>

#include "app/MainState.h"
#include "views/EditSingleData.h"
#include "views/GridText.h"

int ProgramGridRows(const MainState& state) {
  return std::min((state.ProgramTopHi + 1) * 32, kProgramGridMaxRows);
}

std::string ProgramGridHeader(int column) {
  if (column < 0 || column >= kProgramGridColumns) return {};
  return "+" + views::Hex(column, 1) + "/" + views::Hex(column + kProgramGridColumns, 1);
}

std::string ProgramGridRowLabel(int row) {
  return "0x" + views::Hex(static_cast<unsigned>(row) * kProgramGridColumns, 4);
}

int ProgramGridWord(int row, int column) {
  if (row < 0 || column < 0 || column >= kProgramGridColumns) return -1;
  const long word = static_cast<long>(row) * kProgramGridColumns + column;
  return word < kProgramBufferWords ? static_cast<int>(word) : -1;
}

namespace {

// The high half is taken whole, so a stray bit 7 there shows instead of hiding.
unsigned ShownWord(const MainState& state, int word) {
  return state.ProgramBuffer[2 * word + 1] * 128u + (state.ProgramBuffer[2 * word] & 0x7Fu);
}

}  // namespace

std::string ProgramCellText(const MainState& state, int row, int column) {
  const int word = ProgramGridWord(row, column);
  if (word < 0) return {};
  return views::Hex(ShownWord(state, word), 4);
}

bool StoreProgramCell(MainState& state, int row, int column, const std::string& notedText,
                      int result) {
  const int word = ProgramGridWord(row, column);
  if (word < 0 || result < 0 || result >= kWordLimit) return false;
  // The buffer may have changed while the editor was open: then the edit is dropped.
  if (notedText != views::Hex(ShownWord(state, word), 4)) return false;
  return state.SetProgramWord(word, static_cast<std::uint16_t>(result));
}
