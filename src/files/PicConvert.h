#pragma once
// Translation of PIC machine code into QEL instructions, word by word, in place
// in ProgramBuffer while it still holds the 8-bit bytes of the file.

#include <cstdint>
#include <span>

#include "app/MainState.h"

class Prompts;

enum class PicOperand : std::uint8_t {
  None,    // fixed result
  Low3,    // w & 7
  File5,   // 12-bit core: f = w & 0x1F
  File7,   // 14-bit core: f = w & 0x7F
  DestFile5,  // 12-bit core: d (bit 5) * 0x80 | f
  BitFile5,   // 12-bit core: b (bits 5-7) * 0x80 | f
  Literal8,   // k = w & 0xFF
  Low9,
  Low10,
  Low11,
};

// One row: matches when lo <= (w & mask) <= hi; gives qel | operand(w).
struct PicRow {
  const char* pic;
  const char* qel;
  std::uint16_t mask;
  std::uint16_t lo;
  std::uint16_t hi;
  std::uint16_t qelBase;
  PicOperand operand;
};

std::span<const PicRow> Pic5xTable();    // 12-bit core, in match order
std::span<const PicRow> Pic6x7xTable();  // 14-bit core, in match order

// Single words (the erased word 0xFFFF and unmatched words come back unchanged).
std::uint16_t TranslatePic5xWord(std::uint16_t w);
std::uint16_t TranslatePic6x7xWord(std::uint16_t w);

// Translate the words below ProgramFileSize, after a plausibility warning when
// the image does not look like code of the core translated (whatever windows
// are open). Return ProgramFileSize.
std::int32_t Pic5xToQel(MainState& state, Prompts& prompts);
std::int32_t Pic6x7xToQel(MainState& state, Prompts& prompts);
// Pic5xToQel for CoreKind 1, otherwise Pic6x7xToQel.
std::int32_t TranslatePicImage(MainState& state, Prompts& prompts);
