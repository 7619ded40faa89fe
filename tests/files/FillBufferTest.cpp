#include <gtest/gtest.h>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "files/FillBuffer.h"

namespace {
class FillBufferTest : public testing::Test {
 protected:
  void SetUp() override { s.DeviceIndex = GetICInfo(s, "K7E1/E3"); }
  MainState s;
};
}  // namespace

TEST_F(FillBufferTest, DefaultsBlankTheWholeProgramArea) {
  EXPECT_EQ(FillDefaultEnd(s), "3FF");
  s.SetProgramWord(0, 0);
  s.SetProgramWord(0x3FF, 0);
  s.SetProgramWord(0x400, 0);
  FillRequest r;
  r.end = FillDefaultEnd(s);
  EXPECT_EQ(FillProgramBuffer(s, r), "");
  EXPECT_EQ(s.ProgramWord(0), 0x3FFF);
  EXPECT_EQ(s.ProgramWord(0x3FF), 0x3FFF);
  EXPECT_EQ(s.ProgramWord(0x400), 0x0000);  // beyond the device: untouched
}

TEST_F(FillBufferTest, SingleWordPacksIntoSevenBitHalves) {
  EXPECT_EQ(FillProgramBuffer(s, {"10", "10", "1234"}), "");
  EXPECT_EQ(s.ProgramBuffer[0x20], 0x34);
  EXPECT_EQ(s.ProgramBuffer[0x21], 0x24);
  EXPECT_EQ(s.ProgramWord(0x0F), 0x3FFF);
  EXPECT_EQ(s.ProgramWord(0x11), 0x3FFF);
  // Lower-case digits and an empty start read as written.
  EXPECT_EQ(FillProgramBuffer(s, {"", "1", "abc"}), "");
  EXPECT_EQ(s.ProgramWord(0), 0x0ABC);
  EXPECT_EQ(s.ProgramWord(1), 0x0ABC);
}

TEST_F(FillBufferTest, ChecksInOrderAndNothingChangesOnError) {
  const auto before = s.ProgramBuffer;
  const std::string start = "Start address is a invalid value!";
  const std::string end = "End address is a invalid value!";
  const std::string data = "Data is a invalid value!";
  EXPECT_EQ(FillProgramBuffer(s, {"20", "10", "0"}), start);
  EXPECT_EQ(FillProgramBuffer(s, {"400", "3FF", "0"}), start);
  EXPECT_EQ(FillProgramBuffer(s, {"0", "400", "4000"}), end);  // end before data
  EXPECT_EQ(FillProgramBuffer(s, {"0", "3FF", "4000"}), data);
  EXPECT_EQ(FillProgramBuffer(s, {"G", "3FF", "0"}), start);
  EXPECT_EQ(FillProgramBuffer(s, {"0", "3FF", "12345"}), data);
  EXPECT_EQ(s.ProgramBuffer, before);
  EXPECT_EQ(FillProgramBuffer(s, {"3FF", "3FF", "0"}), "");  // the last address is accepted
}

TEST(FillBufferBounds, ARowLargerThanTheBufferStopsAtTheBuffer) {
  MainState s;
  s.ProgramTopHi = 0xFF;
  s.ProgramTopLo = 0xFF;
  EXPECT_EQ(FillProgramBuffer(s, {"0", "FFFF", "0"}), "End address is a invalid value!");
  EXPECT_EQ(FillProgramBuffer(s, {"0", "3FFE", "0"}), "");
  EXPECT_EQ(s.ProgramWord(kProgramBufferWords - 1), 0);
}
