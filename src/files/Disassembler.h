#pragma once
// The program buffer as a QEL assembler listing: a fixed register/flag header,
// one line per defined word, an ORG line wherever undefined (e.g. erased)
// words were skipped, and END. Lines end with CR LF. No Qt here.

#include <cstdint>
#include <span>
#include <string>

struct MainState;

// One decoded program word. Undefined words (0x3FFF among them) have no text.
struct QelInstruction {
  bool defined = false;
  const char* mnemonic = "";
  char operand[24] = {};  // NUL-terminated; the longest real operand is 9 characters
};

QelInstruction DecodeQelWord(std::uint16_t word);

// The listing of the first `words` program words held in `programBytes` (two
// 7-bit halves per word). Words past the end of the bytes are not listed.
std::string DisassemblyListing(std::span<const std::uint8_t> programBytes, int words);
// The listing of the selected device's program words.
std::string DisassemblyListing(const MainState& state);

// Name proposed by the save dialog: the loaded file's name up to its first ".",
// or empty when that name has no ".". A directory part is kept as it is.
std::string ProposedListingName(const std::string& currentFileName);
