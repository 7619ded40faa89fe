#pragma once
// The serial-number set-up the programming tests share: two RTIW words at
// 0x100..0x101 holding 0x1234, sequential by 1, most significant byte first.

#include "app/MainState.h"

inline constexpr int kSerialWord = 0x100;

inline void UseSerialNumbers(MainState& s) {
  for (int i = 0; i < 2; ++i) s.SetProgramWord(kSerialWord + i, 0x3100);
  s.SerialMode = 1;
  s.SerialAddress = kSerialWord;
  s.SerialLength = 2;
  s.SerialValue = {0x34, 0x12};
  s.SerialStep = 1;
  s.SerialRandom = 0;
  s.SerialLsbFirst = 0;
}
