#include "files/AboutBox.h"

#include <gtest/gtest.h>

TEST(AboutBoxTest, VersionFromTheTitle) {
  EXPECT_EQ(AboutVersionText("Writer V2.63"), "Version V2.63");
  EXPECT_EQ(AboutVersionText("Writer V2.63 - V"), "Version V2.63 - V");
}

TEST(AboutBoxTest, OperatingSystemLine) {
  EXPECT_EQ(AboutOsLine({1, 4, 10, 2222, " A"}), "Windows 98 (Build 4.10.2222 A)");
  EXPECT_EQ(AboutOsLine({2, 5, 1, 2600, "Service Pack 2"}), "Windows XP (Build 5.1.2600Service Pack 2)");
  EXPECT_EQ(AboutOsLine({2, 6, 2, 9200, ""}), " (Build 6.2.9200)");
  EXPECT_EQ(AboutOsLine(OsVersionFromRelease("6.1.0-13-amd64")), " (Build 6.1.0-13-amd64)");
  EXPECT_EQ(AboutOsLine(CurrentOsVersion()).rfind(" (Build ", 0), 0u);
}

TEST(AboutBoxTest, KernelReleaseNumbers) {
  OsVersion v = OsVersionFromRelease("5.15.167.4-microsoft-standard");
  EXPECT_EQ(v.major, 5);
  EXPECT_EQ(v.minor, 15);
  EXPECT_EQ(v.build, 167);
  EXPECT_EQ(v.servicePack, ".4-microsoft-standard");
  v = OsVersionFromRelease("6.8-rc1");
  EXPECT_EQ(v.build, 0);
  EXPECT_EQ(v.servicePack, "-rc1");
}

TEST(AboutBoxTest, MemoryInKilobytes) {
  EXPECT_EQ(AboutMemoryText(2048u * 1024 + 1023), "2048 KB");
  EXPECT_EQ(AboutMemoryText(0), "0 KB");
  EXPECT_GT(InstalledMemoryBytes(), 0u);
}
