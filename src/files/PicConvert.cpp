#include "files/PicConvert.h"

#include <algorithm>

#include "app/Prompts.h"

namespace {

using enum PicOperand;

constexpr std::uint16_t kErased = 0xFFFF;

// Exact word, masked value, masked range.
constexpr PicRow Is(const char* pic, const char* qel, std::uint16_t w, std::uint16_t q) {
  return {pic, qel, 0xFFFF, w, w, q, None};
}
constexpr PicRow Masked(const char* pic, const char* qel, std::uint16_t mask, std::uint16_t v,
                        std::uint16_t q, PicOperand op) {
  return {pic, qel, mask, v, v, q, op};
}

constexpr PicRow kPic5x[] = {
    Is("CLRW", "CLRW", 0x040, 0x1080),
    Is("NOP", "NOP", 0x000, 0x1000),
    Is("CLRWDT", "CLRWT", 0x004, 0x1001),
    Is("OPTION", "TMODE", 0x002, 0x1003),
    Is("SLEEP", "SLEEP", 0x003, 0x1002),
    Masked("CLRF", "CLRR", 0xFFE0, 0x060, 0x1100, File5),
    Masked("MOVWF", "STWR", 0xFFE0, 0x020, 0x1180, File5),
    {"TRIS", "CPIO", 0xFFFF, 0x005, 0x007, 0x1000, Low3},
    Masked("ADDWF", "ADDWR", 0xFFC0, 0x1C0, 0x1B00, DestFile5),
    Masked("ANDWF", "ANDWR", 0xFFC0, 0x140, 0x1200, DestFile5),
    Masked("COMF", "COMR", 0xFFC0, 0x240, 0x1F00, DestFile5),
    Masked("DECF", "DECR", 0xFFC0, 0x0C0, 0x1D00, DestFile5),
    Masked("DECFSZ", "DECRSZ", 0xFFC0, 0x2C0, 0x1E00, DestFile5),
    Masked("INCF", "INCR", 0xFFC0, 0x280, 0x1900, DestFile5),
    Masked("INCFSZ", "INCRSZ", 0xFFC0, 0x3C0, 0x1A00, DestFile5),
    Masked("IORWF", "IORWR", 0xFFC0, 0x100, 0x1300, DestFile5),
    Masked("MOVF", "LDR", 0xFFC0, 0x200, 0x1800, DestFile5),
    Masked("RLF", "RLR", 0xFFC0, 0x340, 0x1500, DestFile5),
    Masked("RRF", "RRR", 0xFFC0, 0x300, 0x1600, DestFile5),
    Masked("SUBWF", "SUBWR", 0xFFC0, 0x080, 0x1C00, DestFile5),
    Masked("SWAPF", "SWAPR", 0xFFC0, 0x380, 0x1700, DestFile5),
    Masked("XORWF", "XORWR", 0xFFC0, 0x180, 0x1400, DestFile5),
    Masked("BCF", "BCR", 0xFF00, 0x400, 0x0000, BitFile5),
    Masked("BSF", "BSR", 0xFF00, 0x500, 0x0800, BitFile5),
    Masked("BTFSC", "BTSC", 0xFF00, 0x600, 0x0400, BitFile5),
    Masked("BTFSS", "BTSS", 0xFF00, 0x700, 0x0C00, BitFile5),
    Masked("ANDLW", "ANDWI", 0xFF00, 0xE00, 0x3400, Literal8),
    Masked("CALL", "CALL", 0xFF00, 0x900, 0x3000, Literal8),
    Masked("IORLW", "IORWI", 0xFF00, 0xD00, 0x3500, Literal8),
    Masked("MOVLW", "LDWI", 0xFF00, 0xC00, 0x3A00, Literal8),
    Masked("RETLW", "RTIW", 0xFF00, 0x800, 0x3100, Literal8),
    Masked("XORLW", "XORWI", 0xFF00, 0xF00, 0x3600, Literal8),
    // Loose on purpose: only words no earlier row took reach it.
    Masked("GOTO", "JUMP", 0x0A00, 0xA00, 0x3200, Low9),
};

constexpr PicRow kPic6x7x[] = {
    Masked("CLRW", "CLRW", 0xFF80, 0x0100, 0x1080, None),
    Masked("NOP", "NOP", 0xFF9F, 0x0000, 0x1000, None),  // 0x0000, 0x0020, 0x0040, 0x0060
    Is("CLRWDT", "CLRWT", 0x0064, 0x1001),
    Is("OPTION", "TMODE", 0x0062, 0x1003),
    Is("SLEEP", "SLEEP", 0x0063, 0x1002),
    Is("RETFIE", "RTFI", 0x0009, 0x1009),
    Is("RETURN", "RET", 0x0008, 0x1004),
    Masked("CLRF", "CLRR", 0xFF80, 0x0180, 0x1100, File7),
    Masked("MOVWF", "STWR", 0xFF80, 0x0080, 0x1180, File7),
    {"TRIS", "CPIO", 0xFFFF, 0x0065, 0x0067, 0x1000, Low3},
    // Bit 7 of k is the destination bit; it keeps its place.
    Masked("ADDWF", "ADDWR", 0xFF00, 0x0700, 0x1B00, Literal8),
    Masked("ANDWF", "ANDWR", 0xFF00, 0x0500, 0x1200, Literal8),
    Masked("COMF", "COMR", 0xFF00, 0x0900, 0x1F00, Literal8),
    Masked("DECF", "DECR", 0xFF00, 0x0300, 0x1D00, Literal8),
    Masked("DECFSZ", "DECRSZ", 0xFF00, 0x0B00, 0x1E00, Literal8),
    Masked("INCF", "INCR", 0xFF00, 0x0A00, 0x1900, Literal8),
    Masked("INCFSZ", "INCRSZ", 0xFF00, 0x0F00, 0x1A00, Literal8),
    Masked("IORWF", "IORWR", 0xFF00, 0x0400, 0x1300, Literal8),
    Masked("MOVF", "LDR", 0xFF00, 0x0800, 0x1800, Literal8),
    Masked("RLF", "RLR", 0xFF00, 0x0D00, 0x1500, Literal8),
    Masked("RRF", "RRR", 0xFF00, 0x0C00, 0x1600, Literal8),
    Masked("SUBWF", "SUBWR", 0xFF00, 0x0200, 0x1C00, Literal8),
    Masked("SWAPF", "SWAPR", 0xFF00, 0x0E00, 0x1700, Literal8),
    Masked("XORWF", "XORWR", 0xFF00, 0x0600, 0x1400, Literal8),
    Masked("BCF", "BCR", 0xFC00, 0x1000, 0x0000, Low10),
    Masked("BSF", "BSR", 0xFC00, 0x1400, 0x0800, Low10),
    Masked("BTFSC", "BTSC", 0xFC00, 0x1800, 0x0400, Low10),
    Masked("BTFSS", "BTSS", 0xFC00, 0x1C00, 0x0C00, Low10),
    Masked("ANDLW", "ANDWI", 0xFF00, 0x3900, 0x3400, Literal8),
    Masked("IORLW", "IORWI", 0xFF00, 0x3800, 0x3500, Literal8),
    Masked("XORLW", "XORWI", 0xFF00, 0x3A00, 0x3600, Literal8),
    Masked("ADDLW", "ADDWI", 0xFE00, 0x3E00, 0x3700, Literal8),
    Masked("SUBLW", "SUBWI", 0xFE00, 0x3C00, 0x3800, Literal8),
    Masked("MOVLW", "LDWI", 0xFC00, 0x3000, 0x3A00, Literal8),
    Masked("RETLW", "RTIW", 0xFC00, 0x3400, 0x3100, Literal8),
    Masked("CALL", "LCALL", 0xF800, 0x2000, 0x2000, Low11),
    Masked("GOTO", "LJUMP", 0xF800, 0x2800, 0x2800, Low11),
};

std::uint16_t Operand(PicOperand op, std::uint16_t w) {
  switch (op) {
    case None: return 0;
    case Low3: return w & 0x7;
    case File5: return w & 0x1F;
    case File7: return w & 0x7F;
    case DestFile5: return static_cast<std::uint16_t>(((w >> 5) & 1) * 0x80 | (w & 0x1F));
    case BitFile5: return static_cast<std::uint16_t>(((w >> 5) & 7) * 0x80 | (w & 0x1F));
    case Literal8: return w & 0xFF;
    case Low9: return w & 0x1FF;
    case Low10: return w & 0x3FF;
    case Low11: return w & 0x7FF;
  }
  return 0;
}

std::uint16_t Translate(std::span<const PicRow> table, std::uint16_t w) {
  for (const PicRow& row : table) {
    const std::uint16_t m = w & row.mask;
    if (m >= row.lo && m <= row.hi) return row.qelBase | Operand(row.operand, w);
  }
  return w;
}

// Words a 12-bit core cannot hold: high byte 0x10 to 0x3F.
bool FourteenBitOnly(std::uint8_t high) { return (high & 0xC0) == 0 && (high & 0x30) != 0; }

// Whether the device's area (bounded by the buffer) holds a word only a 14-bit core has.
bool AnyFourteenBitWord(const MainState& state) {
  const int bytes = std::min(state.ProgramBytes, kProgramBufferBytes);
  for (int at = 0; at + 1 < bytes; at += 2) {
    if (FourteenBitOnly(state.ProgramBuffer[static_cast<std::size_t>(at) + 1])) return true;
  }
  return false;
}

std::int32_t TranslateAll(MainState& state, std::uint16_t (*translate)(std::uint16_t)) {
  const int bytes = std::clamp(state.ProgramFileSize, 0, kProgramBufferBytes);
  auto& buf = state.ProgramBuffer;
  for (int at = 0; at < bytes && at + 1 < kProgramBufferBytes; at += 2) {
    const auto lo = static_cast<std::size_t>(at);
    const std::uint16_t w = static_cast<std::uint16_t>(buf[lo] | (buf[lo + 1] << 8));
    const std::uint16_t q = translate(w);
    buf[lo] = static_cast<std::uint8_t>(q & 0xFF);
    buf[lo + 1] = static_cast<std::uint8_t>(q >> 8);
  }
  return state.ProgramFileSize;
}

}  // namespace

std::span<const PicRow> Pic5xTable() { return kPic5x; }
std::span<const PicRow> Pic6x7xTable() { return kPic6x7x; }

std::uint16_t TranslatePic5xWord(std::uint16_t w) {
  if (w == kErased) return w;
  if (w == 0x0FFF) return 0x36FF;
  return Translate(kPic5x, w);
}

std::uint16_t TranslatePic6x7xWord(std::uint16_t w) {
  if (w == kErased) return w;
  return Translate(kPic6x7x, w);
}

std::int32_t Pic5xToQel(MainState& state, Prompts& prompts) {
  if (AnyFourteenBitWord(state)) prompts.Message("Warning: File format error !(14 bit)");
  return TranslateAll(state, TranslatePic5xWord);
}

std::int32_t Pic6x7xToQel(MainState& state, Prompts& prompts) {
  if (!AnyFourteenBitWord(state)) prompts.Message("Warning: File format error !(12 bit)");
  return TranslateAll(state, TranslatePic6x7xWord);
}

std::int32_t TranslatePicImage(MainState& state, Prompts& prompts) {
  return state.CoreKind == 1 ? Pic5xToQel(state, prompts) : Pic6x7xToQel(state, prompts);
}
