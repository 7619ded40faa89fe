#pragma once
// Serial numbers for production: each part gets its own number, 1 to 8 bytes,
// stamped into program memory as consecutive "RTIW" words (each returns one
// byte as a literal) and advanced after every counted pass.

#include <cstdint>
#include <string>

struct MainState;

inline constexpr int kMaxSerialBytes = 8;
inline constexpr std::uint8_t kRtiwHigh = 0x62;  // second byte of an RTIW word, bit 0 aside

// True when word is inside the device and its second byte marks an RTIW word
// (0x62 or 0x63: bit 0 carries bit 7 of the literal).
bool IsRtiwWord(const MainState& state, long long word);
// True when the `length` words from `address` on are all RTIW words.
bool SerialWordsAreRtiw(const MainState& state, long long address, int length);

// Advances the number once: by SerialStep with carry (wrapping modulo 256^N),
// or one step of the shift register for the pseudo-random mode.
void SerialNoNext(MainState& state);

// The number as the panel shows it: bytes N-1 down to 0, two hex digits each.
std::string SerialNumberText(const MainState& state);

// With serial-number mode on, writes the number into its RTIW words (MSB or
// LSB first); always sets Label15 and recomputes the checksums. Only RTIW
// words inside the program buffer are written.
void SerialNo2Memory(MainState& state);
