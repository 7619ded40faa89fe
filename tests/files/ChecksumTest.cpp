#include <gtest/gtest.h>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "files/Checksum.h"

namespace {

// 1024 words, masks that change nothing.
constexpr DeviceRecord kFreeRows[] = {
    {"FREE", 0x03, 0xFF, 1, 1, 0x30, 0x03, 2, 0x7F, 0x00, 0x7F, 0x00, 1, 0, 0, 0, 0, 0x3F, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

class ChecksumTest : public testing::Test {
 protected:
  void SetUp() override { s.DeviceIndex = GetICInfo(s, "FREE"); }
  int DataSum() {
    CalChecksum(s);
    return s.CodeSum;
  }
  ScopedDeviceTable table{kFreeRows};
  MainState s;
};

}  // namespace

TEST_F(ChecksumTest, BlankDeviceWorkedValues) {
  CalChecksum(s);
  EXPECT_EQ(s.Panel.Label11, "F800");
  EXPECT_EQ(s.Panel.OptChecksum, "F93E");
  EXPECT_EQ(s.Panel.ProtectSum, "F800");
  EXPECT_EQ(s.CodeSum, 0xF800);
  // Idempotent.
  CalChecksum(s);
  EXPECT_EQ(s.Panel.OptChecksum, "F93E");
}

TEST_F(ChecksumTest, WordValuesAndProtectBlindBits) {
  s.SetProgramWord(5, 0x0000);
  const int zero = DataSum();
  const std::string protectZero = s.Panel.ProtectSum;
  EXPECT_EQ(zero, (0xF800 - 0x13E) & 0xFFFF);
  EXPECT_EQ(protectZero, "F770");  // a zero word still adds 0xAE
  s.SetProgramWord(5, 0x0080);
  EXPECT_EQ(DataSum(), zero + 0x80);
  EXPECT_EQ(s.Panel.ProtectSum, protectZero);  // bit 7 is blind to the protect sum
  s.SetProgramWord(5, 0x0100);
  EXPECT_EQ(DataSum(), zero + 0x01);
  s.SetProgramWord(5, 0x3060);  // only bits 5, 6, 12, 13 reach the protect sum
  DataSum();
  EXPECT_EQ(s.Panel.ProtectSum, "F800");
}

TEST_F(ChecksumTest, WordsBeyondTheDeviceAndOversizedRowsAreIgnored) {
  s.SetProgramWord(1024, 0x0000);
  s.SetProgramWord(kProgramBufferWords - 1, 0x0000);
  CalChecksum(s);
  EXPECT_EQ(s.Panel.Label11, "F800");
  EXPECT_EQ(s.Panel.ProtectSum, "F800");
  s.ProgramBytes = 0x7FFFFFFF;  // bounded by the buffer
  CalChecksum(s);
  EXPECT_EQ(s.Panel.Label11, Hex4((kProgramBufferWords - 2) * 0x13E));
}

TEST_F(ChecksumTest, LabelsAlwaysFourDigits) {
  s.ProgramBytes = 0;
  s.OptionLow = s.OptionHigh = 0;
  CalChecksum(s);
  EXPECT_EQ(s.Panel.Label11, "0000");
  EXPECT_EQ(s.Panel.ProtectSum, "0000");
  EXPECT_EQ(s.Panel.OptChecksum, "0000");
  s.OptionLow = 0x0A;
  CalChecksum(s);
  EXPECT_EQ(s.Panel.OptChecksum, "000A");
  EXPECT_EQ(Hex4(0x1ABCD), "ABCD");
}

TEST(ChecksumMasks, OptionIsNormalisedByTheDeviceRow) {
  MainState s;
  s.DeviceIndex = GetICInfo(s, "K7E1/E3");
  s.OptionLow = 0x05;
  s.OptionHigh = 0x7F;
  CalChecksum(s);
  EXPECT_EQ(s.OptionLow, 0x0A);   // AND 70, OR 0A
  EXPECT_EQ(s.OptionHigh, 0x5F);  // AND 5F
  // OPTION 0x2F8A: low byte 0x8A + high byte 0x2F over the blank data sum.
  EXPECT_EQ(s.Panel.OptChecksum, Hex4(0xF800 + 0x8A + 0x2F));
  s.DeviceIndex = -1;  // no row: masks are not applied
  s.OptionLow = 0x05;
  CalChecksum(s);
  EXPECT_EQ(s.OptionLow, 0x05);
}

// The first catalogue device forces its oscillator bits to 1010b and clears
// OPTION bit 12, so its blank OPTION word sums as 2FFAh.
TEST(ChecksumFirstDevice, BlankOptionIsNormalisedBeforeItIsSummed) {
  MainState s;
  s.DeviceIndex = GetICInfo(s, "K7E1/E3");
  CalChecksum(s);
  EXPECT_EQ(s.OptionWord(), 0x2FFA);
  EXPECT_EQ(s.Panel.Label11, "F800");
  EXPECT_EQ(s.Panel.OptChecksum, "F929");
  EXPECT_EQ(s.Panel.ProtectSum, "F800");
}
