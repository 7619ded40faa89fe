#pragma once
// Hexadecimal text and the Intel HEX reader shared by the image loaders.

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "app/MainState.h"

class Prompts;

// Parses hexadecimal text (either case). Sets state.HexValue and state.HexValid.
// A character that is not a hex digit stops the parse: the result is 0,
// HexValid false, HexValue keeps the value of the digits before it.
// Empty text gives 0 and is valid. Wraps at 32 bits.
std::int32_t HexToInt(MainState& state, std::string_view text);

// Reads Intel HEX text from the start of in into ProgramBuffer (8-bit bytes,
// erased to 0xFF first; addresses at or above kProgramBufferBytes are dropped).
// A record with count 0 ends the text. Only the last faulty record is reported,
// "... error at line N !" through prompts, and nothing while state.StartupLoad
// is set (which it clears). Returns the highest byte address met, capped at
// kProgramBufferBytes. Does not close the stream.
std::int32_t HexToObj(MainState& state, Prompts& prompts, std::istream& in);

// Upper-case hex with a fixed number of digits (the rightmost ones when the
// value needs more).
std::string HexDigits(std::uint32_t value, int digits);
