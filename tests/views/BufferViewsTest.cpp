#include <gtest/gtest.h>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "views/EditSingleData.h"
#include "views/EepromView.h"
#include "views/ProgramMemoryView.h"

namespace {

// name, program top hi, EEPROM top hi/lo; data EEPROM (memory kind 2).
DeviceRecord Row(const char* name, std::uint8_t topHi, std::uint8_t eeHi, std::uint8_t eeLo) {
  return {name, topHi, 0xFF, 0, 2, 0, 0, 1, 0x7F, 0, 0x7F, 0, 2, eeHi, eeLo, 0, 0, 0, 0};
}

const DeviceRecord kRows[] = {
    Row("W1K", 0x03, 0x03, 0xFF),   // 1024 words, 1024 EEPROM bytes
    Row("W16K", 0x3F, 0x07, 0xFF),  // one word more than the buffer; EEPROM top past it
    Row("WHUGE", 0xFF, 0xFF, 0xFF),
    Row("E24", 0x00, 0x00, 0x17),   // 24 EEPROM bytes: the second row is half the device's
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

class BufferViews : public ::testing::Test {
 protected:
  void Select(const char* name) { ASSERT_GE(GetICInfo(state, name), 0); }
  ScopedDeviceTable table{kRows};
  MainState state;
};

}  // namespace

TEST(CellEntry, KeyFilterAndLimits) {
  for (char32_t c : std::u32string_view(U"0123456789abcdefABCDEF\b")) EXPECT_TRUE(IsHexEntryKey(c)) << int(c);
  for (char32_t c : std::u32string_view(U"gGxX-+. \r\x1b")) EXPECT_FALSE(IsHexEntryKey(c)) << int(c);

  EXPECT_EQ(PaddedCellEntry("a"), "000A");
  EXPECT_EQ(AcceptCellEntry("12", kWordLimit), 0x12);
  EXPECT_EQ(AcceptCellEntry("", kWordLimit), 0);
  EXPECT_EQ(AcceptCellEntry("3fff", kWordLimit), 0x3FFF);
  EXPECT_EQ(AcceptCellEntry("4000", kWordLimit), std::nullopt);
  EXPECT_EQ(AcceptCellEntry("FF", kByteLimit), 0xFF);
  EXPECT_EQ(AcceptCellEntry("100", kByteLimit), std::nullopt);
  // A stray character reads as 0; a value that wraps negative is still refused.
  EXPECT_EQ(CellHexValue("1G"), 0);
  EXPECT_EQ(AcceptCellEntry("FFFFFFFF", kWordLimit), std::nullopt);
}

TEST_F(BufferViews, ProgramGridTextsAndBounds) {
  Select("W1K");
  ASSERT_EQ(ProgramGridRows(state), 128);
  EXPECT_EQ(ProgramGridRowLabel(127), "0x03F8");
  EXPECT_EQ(ProgramGridHeader(0), "+0/8");
  EXPECT_EQ(ProgramGridHeader(7), "+7/F");
  EXPECT_EQ(ProgramCellText(state, 0, 0), "3FFF");
  state.SetProgramWord(9, 0x0ABC);
  EXPECT_EQ(ProgramCellText(state, 1, 1), "0ABC");

  Select("W16K");
  ASSERT_EQ(ProgramGridRows(state), 2048);
  EXPECT_EQ(ProgramCellText(state, 2047, 6), "3FFF");  // word 16382, the last one
  EXPECT_EQ(ProgramCellText(state, 2047, 7), "");       // word 16383 does not exist
  EXPECT_FALSE(StoreProgramCell(state, 2047, 7, "3FFF", 0x12));
  EXPECT_TRUE(StoreProgramCell(state, 2047, 6, "3FFF", 0x12));

  Select("WHUGE");
  EXPECT_EQ(ProgramGridRows(state), 2048);
  EXPECT_EQ(ProgramCellText(state, 5000, 0), "");
  EXPECT_EQ(ProgramCellText(state, 0, 8), "");
}

TEST_F(BufferViews, ProgramEditStoresOnlyWhileTheGridIsInStep) {
  Select("W1K");
  // 12 typed for a blank word: stored as the halves 12h and 00h.
  EXPECT_TRUE(StoreProgramCell(state, 0, 2, "3FFF", 0x12));
  EXPECT_EQ(state.ProgramBuffer[4], 0x12);
  EXPECT_EQ(state.ProgramBuffer[5], 0x00);
  // The buffer changed behind the grid: the edit is dropped.
  state.SetProgramWord(3, 0x1111);
  EXPECT_FALSE(StoreProgramCell(state, 0, 3, "3FFF", 0x22));
  EXPECT_EQ(state.ProgramWord(3), 0x1111);
  EXPECT_FALSE(StoreProgramCell(state, 0, 4, "3FFF", 0x4000));
  EXPECT_EQ(state.ProgramWord(4), 0x3FFF);
  // A stray bit 7 in a low half does not make the word uneditable.
  state.ProgramBuffer[10] = 0xFF;
  ASSERT_EQ(ProgramCellText(state, 0, 5), "3FFF");
  EXPECT_TRUE(StoreProgramCell(state, 0, 5, "3FFF", 0x0100));
  EXPECT_EQ(state.ProgramBuffer[10], 0x00);
  EXPECT_EQ(state.ProgramBuffer[11], 0x02);
}

TEST_F(BufferViews, EepromGridTextsBoundsAndEdits) {
  Select("W1K");
  ASSERT_EQ(EepromGridRows(state), 64);
  EXPECT_EQ(EepromGridRowLabel(1), "0x10");
  EXPECT_EQ(EepromGridRowLabel(63), "0x3F0");
  EXPECT_EQ(EepromGridHeader(10), "+A");
  EXPECT_TRUE(StoreEepromCell(state, 1, 2, "00", 0xFE));
  EXPECT_EQ(EepromCellText(state, 1, 2), "FE");
  EXPECT_FALSE(StoreEepromCell(state, 1, 3, "00", 0x100));
  state.EepromBuffer[20] = 0x55;
  EXPECT_FALSE(StoreEepromCell(state, 1, 4, "00", 0x11));
  EXPECT_EQ(state.EepromBuffer[20], 0x55);

  Select("W16K");  // top 07FFh: twice the buffer
  ASSERT_EQ(EepromGridRows(state), 64);
  EXPECT_EQ(EepromCellText(state, 64, 0), "");
  EXPECT_FALSE(StoreEepromCell(state, 64, 0, "00", 1));

  Select("E24");
  ASSERT_EQ(EepromGridRows(state), 2);
  EXPECT_EQ(EepromCellText(state, 1, 7), "00");
  EXPECT_EQ(EepromCellText(state, 1, 8), "");
}
