// `writer-cli ports`: where each ComN points, free, busy or missing, and the
// stable by-id name of the device behind it.

#include "link/PortList.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(PortList, ShowsTargetStateAndStableName) {
  const fs::path dir = fs::temp_directory_path() / ("port-list-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "ports");
  fs::create_directories(dir / "by-id");
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
  const std::string pty = ptsname(master);
  fs::create_symlink(pty, dir / "ports" / "com2");
  fs::create_symlink(dir / "gone", dir / "ports" / "com3");
  fs::create_symlink(pty, dir / "by-id" / "usb-Maker_Adapter_0001-if00-port0");

  auto lines = PortListing(dir / "ports", dir / "by-id");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[1], "Com2 -> " + pty + " free " + (dir / "by-id" / "usb-Maker_Adapter_0001-if00-port0").string());
  EXPECT_EQ(lines[2], "Com3 -> " + (dir / "gone").string() + " missing");
  EXPECT_EQ(lines[7], "Com8 -> not in the port map");
  EXPECT_EQ(PortListing(dir / "no-map", dir / "by-id")[7].rfind("Com8 -> /dev/ttyS7 ", 0), 0u);

  const int holder = open(pty.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(PortState(pty), "busy");
  close(holder);
  EXPECT_EQ(PortState(pty), "free");
  close(master);
  fs::remove_all(dir);
}
