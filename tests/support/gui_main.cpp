// Entry of the window tests: an offscreen QApplication around GoogleTest.
//
// Window tests never touch the machine's serial ports or the user's files:
// they run in a scratch directory (so Default.cfg is read and written there),
// and the port map of the run lives there too, with Com1 ... Com8 leading
// nowhere. A test that wants a Writer links a port there itself. The part
// ledger's default file lies there as well, never in the user's home.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <filesystem>
#include <string>
#include <thread>

#include "link/PortMap.h"
#include "production/Ledger.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string scratch = (std::filesystem::temp_directory_path() / "writer-gui-tests.XXXXXX").string();
  if (!mkdtemp(scratch.data())) return 2;
  setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
  setenv("XDG_DATA_HOME", scratch.c_str(), 1);
  if (chdir(scratch.c_str()) != 0) return 2;
  std::filesystem::create_directories(PortMapDir());
  for (int n = 1; n <= 8; ++n)
    std::filesystem::create_symlink(scratch + "/no-such-port", PortMapDir() / ("com" + std::to_string(n)));

  // The window never waits on the database: a ledger call on its thread aborts the test.
  ForbidLedgerCallsOnThread(std::this_thread::get_id());
  ::testing::InitGoogleTest(&argc, argv);
  int result = 0;
  {
    QApplication app(argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return result;
}
