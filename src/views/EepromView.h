#pragma once
// What the EEPROM grid shows and how an edited cell reaches the buffer. Rows
// and columns count data cells from 0. No Qt here.

#include <string>

struct MainState;

constexpr int kEepromGridColumns = 16;

// Rows of sixteen bytes covering the device's EEPROM (within EepromBuffer).
int EepromGridRows(const MainState& state);
// "+0" ... "+F".
std::string EepromGridHeader(int column);
// "0x" and the row's first address in at least two digits.
std::string EepromGridRowLabel(int row);
// Address shown by the cell, or -1 when it lies past the device's EEPROM.
int EepromGridAddress(const MainState& state, int row, int column);
// Two hex digits; empty for a cell past the device's EEPROM.
std::string EepromCellText(const MainState& state, int row, int column);

// Stores result when it is a byte value and the buffer still holds what the
// cell showed when the edit began. Returns whether the byte was written.
bool StoreEepromCell(MainState& state, int row, int column, const std::string& notedText,
                     int result);
