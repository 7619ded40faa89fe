// Why a port did not open, as writer-cli says it on standard error.

#include "link/OpenFailure.h"

#include <grp.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class OpenFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("writer-open-failure-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "ports");
    device = dir / "ttyUSB0";
    std::ofstream(device.string()) << "";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Reason(const std::string& name, int error) { return PortOpenFailureReason(name, error, dir / "ports"); }

  fs::path dir, device;
};

TEST_F(OpenFailure, EachReasonNamesThePortAndWhatToDo) {
  fs::create_symlink(device, dir / "ports" / "com2");
  fs::create_symlink(dir / "gone", dir / "ports" / "com4");
  const std::string ports = (dir / "ports").string();
  const struct {
    std::string name;
    int error;
    std::string reason;
  } cases[] = {
      {device.string(), 0, ""},
      {device.string(), EBUSY, device.string() + " is in use by another program"},
      {"Com2", EBUSY, "Com2 (" + device.string() + ") is in use by another program"},
      {"Com3", ENOENT, "Com3 is not in the port map: is the Writer's cable plugged in?"},
      {"com3", ENOENT, "Com3 is not in the port map: is the Writer's cable plugged in?"},
      {"Com4", ENOENT, "Com4 (" + (dir / "gone").string() + ") does not exist: is the Writer's cable plugged in?"},
      {"/dev/ttyUSB7", ENOENT, "/dev/ttyUSB7 does not exist: is the Writer's cable plugged in?"},
      {device.string(), ENOTTY, device.string() + " is not a serial device"},
      {device.string(), ENXIO, device.string() + " has no device behind it: is the Writer's cable plugged in?"},
  };
  for (const auto& c : cases) EXPECT_EQ(Reason(c.name, c.error), c.reason) << c.name << " " << c.error;

  // Without a port map at all, ComN is the machine's own port.
  const fs::path noMap = dir / "no-map";
  EXPECT_EQ(PortOpenFailureReason("Com3", ENOENT, noMap),
            "Com3 (/dev/ttyS2) does not exist; make " + (noMap / "com3").string() + " a link to the Writer's serial device");
}

// Who holds a busy port is told end to end (writer-cli's tests).
TEST_F(OpenFailure, NoPermissionNamesTheGroupToJoin) {
  const group* dialout = ::getgrnam("dialout");
  if (!dialout || ::chown(device.c_str(), -1, dialout->gr_gid) != 0) GTEST_SKIP() << "cannot give the file to dialout";
  EXPECT_EQ(Reason(device.string(), EACCES), "no permission to open " + device.string() +
                                                 "; join the group dialout (usermod -aG dialout $USER) and log in again");
}

}  // namespace
