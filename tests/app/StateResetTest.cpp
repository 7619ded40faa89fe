#include <gtest/gtest.h>

#include <algorithm>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "app/StateReset.h"

namespace {

bool All(const auto& region, std::uint8_t value) {
  return std::all_of(region.begin(), region.end(), [&](auto b) { return b == value; });
}

TEST(StateResetTest, DeviceChangeBlanksImagesAndModesButKeepsReadDataAndSerialSettings) {
  MainState s;
  s.ProgramBuffer.fill(0x11);
  s.IdBuffer.fill(0x22);
  s.EepromBuffer.fill(0x33);
  s.OptionLow = s.OptionHigh = 0x01;
  s.ReadBuffer.fill(0x44);
  s.CommandHeader.fill(0x55);
  s.IcReadDone = 1;
  s.SerialMode = 1;
  s.QtpMode = 1;
  s.SerialAddress = 0x3F0;
  s.SerialLength = 3;
  s.SerialValue[2] = 0x56;
  s.SerialStep = 7;
  s.Panel.Label1 = "Enable";
  s.Panel.Label19 = "Enable";
  s.Panel.Label13 = "42";

  ResetDeviceData(s, "K7E2/E4");

  EXPECT_EQ(s.DeviceIndex, 1);
  EXPECT_EQ(s.DeviceName, "K7E2/E4");
  EXPECT_TRUE(All(s.ProgramBuffer, 0x7F));  // the whole region, not only the device's words
  EXPECT_TRUE(All(s.IdBuffer, 0x7F));
  EXPECT_TRUE(All(s.EepromBuffer, 0x00));
  EXPECT_EQ(s.OptionWord(), 0x3FFF);
  EXPECT_EQ(s.SerialMode, 0);
  EXPECT_EQ(s.QtpMode, 0);
  EXPECT_EQ(s.Panel.Label1, "Disable");
  EXPECT_EQ(s.Panel.Label19, "Disable");
  EXPECT_EQ(s.Panel.Label13, "0");

  EXPECT_TRUE(All(s.ReadBuffer, 0x44));
  EXPECT_TRUE(All(s.CommandHeader, 0x55));
  EXPECT_EQ(s.IcReadDone, 1);
  EXPECT_EQ(s.SerialAddress, 0x3F0);
  EXPECT_EQ(s.SerialLength, 3);
  EXPECT_EQ(s.SerialValue[2], 0x56);
  EXPECT_EQ(s.SerialStep, 7);
}

TEST(StateResetTest, UnknownDeviceKeepsTheOldParameters) {
  MainState s;
  ResetDeviceData(s, "K7E1/E3");
  ResetDeviceData(s, "k7e1/e3");
  EXPECT_EQ(s.DeviceIndex, -1);
  EXPECT_EQ(s.DeviceName, "K7E1/E3");
  EXPECT_EQ(s.ProgramBytes, 2048);
}

TEST(StateResetTest, StartStateAndShutdownModes) {
  MainState s;
  s.ProgramBuffer[kProgramBufferBytes - 1] = 0;
  s.HexValid = 0;
  s.MemoryWindowOpen = s.IdWindowOpen = s.EepromWindowOpen = s.RefreshPending = 1;
  s.SerialLength = 8;
  BlankStartState(s);
  EXPECT_EQ(s.ProgramBuffer[kProgramBufferBytes - 1], 0x7F);
  EXPECT_EQ(s.HexValid, 1);
  EXPECT_EQ(s.MemoryWindowOpen + s.IdWindowOpen + s.EepromWindowOpen + s.RefreshPending, 0);
  EXPECT_EQ(s.SerialLength, 1);

  s.SerialMode = 1;
  s.QtpMode = 1;
  s.Panel.Label13 = "9";
  EXPECT_STREQ(SerialModeText(s), "Enable");
  ClearModesForSave(s);
  EXPECT_STREQ(SerialModeText(s), "Disable");
  EXPECT_EQ(s.QtpMode, 0);
  EXPECT_EQ(s.Panel.Label13, "0");
  EXPECT_EQ(s.Panel.Label19, "Disable");

  EXPECT_EQ(DefaultCfgPath("/home/tech/jobs"), "/home/tech/jobs/Default.cfg");
  EXPECT_EQ(DefaultCfgPath("/"), "/Default.cfg");
}

}  // namespace
