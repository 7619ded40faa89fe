#include <gtest/gtest.h>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"

TEST(WordEncoding, SevenBitHalvesAtTheBoundaries) {
  EXPECT_EQ(PackedWord(0x7F, 0x00), 0x007F);
  EXPECT_EQ(PackedWord(0x00, 0x01), 0x0080);
  EXPECT_EQ(PackedWord(0x7F, 0x7F), 0x3FFF);
  EXPECT_EQ(WordLowHalf(0x0080), 0x00);
  EXPECT_EQ(WordHighHalf(0x0080), 0x01);
  EXPECT_EQ(WordLowHalf(0x3FFF), 0x7F);
  EXPECT_EQ(WordHighHalf(0x3FFF), 0x7F);
  // The 8-bit view of a word: bit 7 of the word comes from bit 0 of the high half.
  EXPECT_EQ(WordByteLow(0x00, 0x01), 0x80);
  EXPECT_EQ(WordByteHigh(0x03), 0x01);
  // Stray bit 7 in stored bytes never leaks into the packed word.
  EXPECT_EQ(PackedWord(0xFF, 0xFF), 0x3FFF);
}

TEST(MainStateTest, StartsBlankAndBoundsEveryWordIndex) {
  MainState s;
  for (auto b : s.ProgramBuffer) ASSERT_EQ(b, 0x7F);
  for (auto b : s.IdBuffer) ASSERT_EQ(b, 0x7F);
  for (auto b : s.EepromBuffer) ASSERT_EQ(b, 0x00);
  EXPECT_EQ(s.OptionWord(), 0x3FFF);
  EXPECT_EQ(s.ProgramWord(kProgramBufferWords), kBlankWord);
  EXPECT_FALSE(s.SetProgramWord(kProgramBufferWords, 0));
  EXPECT_FALSE(s.SetProgramWord(-1, 0));
  EXPECT_TRUE(s.SetProgramWord(kProgramBufferWords - 1, 0x1234));
  EXPECT_EQ(s.ProgramWord(kProgramBufferWords - 1), 0x1234);
  s.ProgramBytes = 16384 * 2;  // a device larger than the buffer
  EXPECT_EQ(s.ProgramWords(), kProgramBufferWords);
  s.EepromTopHi = 0x07;
  s.EepromTopLo = 0xFF;
  EXPECT_EQ(s.EepromBytes(), kEepromBufferBytes);
}

TEST(DeviceCatalogueTest, BuiltInRowsInOrder) {
  EXPECT_EQ(DeviceCount(), 2);
  EXPECT_EQ(GetIcName(0), "K7E1/E3");
  EXPECT_EQ(GetIcName(1), "K7E2/E4");
  EXPECT_EQ(GetIcName(2), "");
  EXPECT_EQ(GetIcName(-1), "");
  EXPECT_EQ(GetDownload(0), 0);
  EXPECT_EQ(GetDownload(99), 0);
}

TEST(DeviceCatalogueTest, GetICInfoCopiesTheRowAndItsSchemes) {
  MainState s;
  ASSERT_EQ(GetICInfo(s, "K7E1/E3"), 0);
  EXPECT_EQ(s.DeviceName, "K7E1/E3");
  EXPECT_EQ(s.ProgramBytes, 2048);
  EXPECT_EQ(s.OptionFamily, 19);
  EXPECT_EQ(s.DeviceAttr, 0x30);
  EXPECT_EQ(s.DeviceAttr2, 0xC1);
  EXPECT_EQ(s.WriterType, 2);
  EXPECT_EQ(s.OptionLowMask, 0x70);
  EXPECT_EQ(s.OptionHighMask, 0x5F);
  EXPECT_EQ(s.MemoryKind, 1);
  EXPECT_EQ(s.DeviceAttr3, 0x3F);
  // Family 19: no oscillator, no PRD, OST 2, WDT 1, PED 1, Security 2.
  EXPECT_EQ(s.OscScheme, 0);
  EXPECT_EQ(s.PrdScheme, 0);
  EXPECT_EQ(s.OstScheme, 2);
  EXPECT_EQ(s.WdtScheme, 1);
  EXPECT_EQ(s.PedScheme, 1);
  EXPECT_EQ(s.SecurityScheme, 2);
  ASSERT_EQ(GetICInfo(s, "K7E2/E4"), 1);
  EXPECT_EQ(s.RcCalKind, 1);
  EXPECT_EQ(s.OscScheme, 1);
}

TEST(DeviceCatalogueTest, UnknownOrWrongCaseNameLeavesStateAlone) {
  MainState s;
  ASSERT_EQ(GetICInfo(s, "K7E2/E4"), 1);
  EXPECT_EQ(GetICInfo(s, "k7e1/e3"), -1);
  EXPECT_EQ(GetICInfo(s, ""), -1);
  EXPECT_EQ(s.DeviceName, "K7E2/E4");
  EXPECT_EQ(s.RcCalKind, 1);
}

TEST(DeviceCatalogueTest, TestRowsReplaceTheTable) {
  const DeviceRecord rows[] = {
      {"EE16K", 0x3F, 0xFF, 21, 2, 0x10, 0x00, 1, 0x7F, 0x00, 0x7F, 0x00, 2, 0x07, 0xFF, 3, 1, 0x11, 1},
      {"BADFAM", 0x00, 0x0F, 99, 2, 0, 0, 1, 0x7F, 0, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0},
      {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  ScopedDeviceTable table(rows);
  MainState s;
  EXPECT_EQ(DeviceCount(), 2);
  ASSERT_EQ(GetICInfo(s, "EE16K"), 0);
  EXPECT_EQ(s.ProgramBytes, 16384 * 2);
  EXPECT_EQ(s.ProgramWords(), kProgramBufferWords);
  EXPECT_EQ(s.EepromBytes(), kEepromBufferBytes);
  EXPECT_EQ(s.OscScheme, 7);
  EXPECT_EQ(s.SecurityScheme, 3);
  EXPECT_EQ(GetDownload(0), 1);
  // A family outside the scheme table gives a device without OPTION fields.
  ASSERT_EQ(GetICInfo(s, "BADFAM"), 1);
  EXPECT_EQ(s.OstScheme, 0);
  EXPECT_EQ(GetICInfo(s, "K7E1/E3"), -1);
}
