#include "production/SerialNumber.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "app/MainState.h"
#include "files/Checksum.h"
#include "files/HexText.h"

namespace {

// 0 after a QTP file's end record; never more than the value holds.
int Length(const MainState& s) { return std::clamp(s.SerialLength, 0, kMaxSerialBytes); }

// Tap bits of the shift register, by number length: a maximal sequence of 2^(8N) - 1 states.
const std::array<std::vector<int>, kMaxSerialBytes> kTaps = {{
    {7, 3, 2, 1},
    {15, 4, 2, 1},
    {23, 3, 2, 0},
    {31, 6, 4, 2, 1, 0},
    {39, 4, 3, 2},
    {47, 6, 4, 3, 1, 0},
    {55, 6, 3, 1},
    {63, 3, 2, 0},
}};

}  // namespace

bool IsRtiwWord(const MainState& state, long long word) {
  if (word < 0 || word >= state.ProgramWords()) return false;
  return (state.ProgramBuffer[2 * word + 1] & 0xFE) == kRtiwHigh;
}

bool SerialWordsAreRtiw(const MainState& state, long long address, int length) {
  for (int i = 0; i < length; ++i)
    if (!IsRtiwWord(state, address + i)) return false;
  return true;
}

void SerialNoNext(MainState& state) {
  const int n = Length(state);
  if (n == 0) return;
  auto& s = state.SerialValue;
  if (state.SerialRandom == 0) {
    s[0] += std::clamp(state.SerialStep, 0, 255);  // the dialog's range; a stray file value cannot overflow
    for (int k = 0; k < n - 1; ++k) {
      if (s[k] >= 256) {
        s[k] &= 0xFF;
        s[k + 1] += 1;
      }
    }
    s[n - 1] &= 0xFF;
    return;
  }
  std::uint64_t x = 0;
  for (int k = n - 1; k >= 0; --k) x = (x << 8) | static_cast<std::uint8_t>(s[k]);
  int parity = 0;
  for (int bit : kTaps[n - 1]) parity ^= static_cast<int>((x >> bit) & 1);
  x = (x << 1) | static_cast<std::uint64_t>(parity == 0 ? 1 : 0);
  for (int k = 0; k < n; ++k) s[k] = static_cast<std::int32_t>((x >> (8 * k)) & 0xFF);
}

std::string SerialNumberText(const MainState& state) {
  std::string text;
  for (int k = Length(state) - 1; k >= 0; --k) text += HexDigits(state.SerialValue[k] & 0xFF, 2);
  return text;
}

void SerialNo2Memory(MainState& state) {
  const int n = Length(state);
  if (state.SerialMode) {
    for (int i = 0; i < n; ++i) {
      const long long word = static_cast<long long>(state.SerialAddress) + i;
      // Only RTIW words take a serial byte: a number never lands on program code.
      if (word < 0 || word >= kProgramBufferWords || (state.ProgramBuffer[2 * word + 1] & 0xFE) != kRtiwHigh)
        continue;
      const auto b = static_cast<std::uint8_t>(state.SerialValue[state.SerialLsbFirst ? i : n - 1 - i]);
      state.ProgramBuffer[2 * word] = b & 0x7F;
      auto& high = state.ProgramBuffer[2 * word + 1];
      high = static_cast<std::uint8_t>((high & 0xFE) | (b >> 7));
    }
  }
  state.Panel.Label15 = SerialNumberText(state);
  CalChecksum(state);
}
