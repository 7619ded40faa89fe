#include "app/MainState.h"

#include <algorithm>

MainState::MainState() {
  BlankOption();
  BlankId();
  BlankProgram();
  BlankEeprom();
  ResetSerialSettings();
}

int MainState::ProgramWords() const {
  return std::clamp(ProgramBytes / 2, 0, kProgramBufferWords);
}

int MainState::EepromBytes() const {
  return std::min(((EepromTopHi << 8) | EepromTopLo) + 1, kEepromBufferBytes);
}

std::uint16_t MainState::ProgramWord(int n) const {
  if (n < 0 || n >= kProgramBufferWords) return kBlankWord;
  return PackedWord(ProgramBuffer[2 * n], ProgramBuffer[2 * n + 1]);
}

bool MainState::SetProgramWord(int n, std::uint16_t word) {
  if (n < 0 || n >= kProgramBufferWords) return false;
  ProgramBuffer[2 * n] = WordLowHalf(word);
  ProgramBuffer[2 * n + 1] = WordHighHalf(word);
  return true;
}

void MainState::BlankProgram() { ProgramBuffer.fill(kBlankHalf); }
void MainState::BlankId() { IdBuffer.fill(kBlankHalf); }
void MainState::BlankEeprom() { EepromBuffer.fill(kBlankEeprom); }
void MainState::BlankOption() { OptionLow = OptionHigh = kBlankHalf; }

void MainState::ResetSerialSettings() {
  SerialAddress = 0;
  SerialLength = 1;
  SerialValue.fill(0);
  SerialStep = 1;
  SerialRandom = 0;
  SerialLsbFirst = 0;
  IdShowHex = 0;
  IdMode = 0;
}
