#pragma once
// What the program-memory grid shows and how an edited cell reaches the
// buffer. Rows and columns count data cells from 0 (the header row and the
// address column are not counted). No Qt here.

#include <string>

#include "app/MainState.h"

constexpr int kProgramGridColumns = 8;
constexpr int kProgramGridMaxRows = (kProgramBufferWords + kProgramGridColumns - 1) / kProgramGridColumns;

// Whole pages of 256 words up to the device's last page, never past the buffer.
int ProgramGridRows(const MainState& state);
// "+0/8" ... "+7/F".
std::string ProgramGridHeader(int column);
// "0x" and the row's first word address in four digits.
std::string ProgramGridRowLabel(int row);
// Word shown by the cell, or -1 when the cell lies outside ProgramBuffer.
int ProgramGridWord(int row, int column);
// Four hex digits; empty for a cell outside ProgramBuffer.
std::string ProgramCellText(const MainState& state, int row, int column);

// Stores result in the cell's word when it is a 14-bit value and the buffer
// still holds what the cell showed when the edit began (notedText). Returns
// whether the word was written.
bool StoreProgramCell(MainState& state, int row, int column, const std::string& notedText,
                      int result);
