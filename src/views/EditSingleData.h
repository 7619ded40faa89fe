#pragma once
// Rules of the one-cell editor: what the entry field takes, how its text is
// read, and the limit a value must stay below. No Qt here.

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kTooLargeMessage = "Invalid Value,too large!";
inline constexpr const char* kTooLargeCaption = "Error";

constexpr int kCellEntryChars = 4;
constexpr int kWordLimit = 0x4000;  // program words hold 14 bits
constexpr int kByteLimit = 0x100;   // EEPROM cells hold one byte

// Backspace and hex digits (either case) reach the field; every other key is dropped.
bool IsHexEntryKey(char32_t key);

// Reads hex text as the editor does: digits of either case; any other
// character makes the whole text read as 0. Empty text reads as 0.
int CellHexValue(std::string_view text);

// The field as OK reads it: upper case, "0"s in front up to four characters.
std::string PaddedCellEntry(std::string_view field);

// The value OK accepts, or nothing when it is not below limit (the editor then
// shows kTooLargeMessage and stays open).
std::optional<int> AcceptCellEntry(std::string_view field, int limit);
