// The writer-emulator program end to end, over its pseudo-terminal.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/WriterEmulator.h"
#include "link/PosixSerialDevice.h"
#include "support/EmulatorProcess.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

class EmulatorProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("writer-emulator-test-" + std::to_string(getpid()));
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(EmulatorProgramTest, ServesOnATerminalLinksTheComPortAndStopsCleanly) {
  EmulatorProcess emu({"--link", "Com3", "--port-map", dir_.string()});
  ASSERT_TRUE(emu.Started());
  const auto path = emu.Path();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  EXPECT_EQ(fs::read_symlink(dir_ / "com3"), fs::path(path));

  RawTerminal tty(path);
  ASSERT_TRUE(tty.Ok());
  EXPECT_EQ(tty.Exchange({emu::kProbe}, 1), Bytes{emu::kModelUniversal});
  const Bytes optionRead{emu::kHeader, 0, 0, 2, 0, 1, 0x30, 0x30, 0xC1, emu::kOpRead};
  EXPECT_EQ(tty.Exchange(optionRead, 7), Bytes({0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, emu::kFinished}));

  EXPECT_EQ(emu.Stop(SIGINT), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "com3")));
}

TEST_F(EmulatorProgramTest, TheProgramsSerialDeviceOpensItAsComN) {
  EmulatorProcess emu({"--link", "Com2", "--port-map", dir_.string()});
  ASSERT_FALSE(emu.Path().empty());
  PosixSerialDevice port(dir_);
  ASSERT_EQ(port.Open("Com2"), 0);
  std::uint32_t lines = 0;
  ASSERT_EQ(port.GetModemLines(lines), 0);
  EXPECT_TRUE(lines & ModemLine::Cts);  // a terminal has no CTS: it reads as on
  const std::uint8_t probe = emu::kProbe;
  ASSERT_EQ(port.Write(&probe, 1, kEmulatorWaitMs).count, 1);
  std::uint8_t reply = 0;
  ASSERT_TRUE(port.WaitReadable(kEmulatorWaitMs));
  EXPECT_EQ(port.Read(&reply, 1).count, 1);
  EXPECT_EQ(reply, emu::kModelUniversal);
  port.Close();
  EXPECT_EQ(emu.Stop(SIGTERM), 0);
}

TEST_F(EmulatorProgramTest, OptionsChooseTheModelAndTheFaults) {
  EmulatorProcess emu({"--model", "1", "--empty"});
  const auto path = emu.Path();
  RawTerminal tty(path);
  ASSERT_TRUE(tty.Ok());
  EXPECT_EQ(tty.Exchange({emu::kProbe}, 1), Bytes{emu::kModel1});
  const Bytes programRead{emu::kHeader, 0, 0, 0xFF, 3, 0, 0x30, 2, 0xC1, emu::kOpRead};
  EXPECT_EQ(tty.Exchange(programRead, 1), Bytes{emu::kSocketError});
  EXPECT_EQ(emu.Stop(SIGTERM), 0);
}

TEST_F(EmulatorProgramTest, LatencyHoldsEveryReply) {
  EmulatorProcess emu({"--latency-us", "150000"});
  RawTerminal tty(emu.Path());
  ASSERT_TRUE(tty.Ok());
  for (int i = 0; i < 2; ++i) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tty.Exchange({emu::kProbe}, 1), Bytes{emu::kModelUniversal});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  }
  EXPECT_EQ(emu.Stop(SIGTERM), 0);
}

TEST_F(EmulatorProgramTest, RefusesBadOptionsAndKeepsAnExistingPortLink) {
  EXPECT_EQ(EmulatorProcess({"--model", "3"}).Wait(), 2);
  EXPECT_EQ(EmulatorProcess({"--fault", "silence=x"}).Wait(), 2);
  EXPECT_EQ(EmulatorProcess({"--latency-us", "-5"}).Wait(), 2);
  EXPECT_EQ(EmulatorProcess({"--latency-us", "10000001"}).Wait(), 2);

  // A link to something that exists belongs to someone else: left alone.
  fs::create_directories(dir_);
  fs::create_symlink("/dev/null", dir_ / "com1");
  EXPECT_EQ(EmulatorProcess({"--link", "com1", "--port-map", dir_.string()}).Wait(), 1);
  EXPECT_EQ(fs::read_symlink(dir_ / "com1"), fs::path("/dev/null"));

  // One left behind by a killed emulator points nowhere and is replaced.
  fs::remove(dir_ / "com1");
  fs::create_symlink("/dev/pts/nothing-here", dir_ / "com1");
  EmulatorProcess emu({"--link", "com1", "--port-map", dir_.string()});
  const auto path = emu.Path();
  EXPECT_EQ(fs::read_symlink(dir_ / "com1"), fs::path(path));
  // Or, once the killed one's terminal number is handed out again, it names
  // the new emulator's own terminal: taken over.
  EXPECT_EQ(emu.Stop(SIGKILL), -1);
  EXPECT_EQ(fs::read_symlink(dir_ / "com1"), fs::path(path));
  EmulatorProcess again({"--link", "com1", "--port-map", dir_.string()});
  const auto next = again.Path();
  ASSERT_FALSE(next.empty());
  EXPECT_EQ(fs::read_symlink(dir_ / "com1"), fs::path(next));
  // A link naming a terminal in use is someone else's.
  EXPECT_EQ(EmulatorProcess({"--link", "com1", "--port-map", dir_.string()}).Wait(), 1);
  EXPECT_EQ(again.Stop(SIGINT), 0);
}

// The program takes the port exclusively, which binds every user but root;
// so this runs as an unprivileged user, and the emulator as that user too.
// Another program's open is refused while the port is held; a program killed
// while holding it leaves it free, the emulator clearing the exclusive mode
// the terminal would otherwise keep.
TEST_F(EmulatorProgramTest, OtherProgramsAreKeptOffAndAKilledHolderLeavesThePortFree) {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() == 0 && !nobody) GTEST_SKIP() << "no unprivileged user (nobody) to run as";
  const uid_t uid = nobody ? nobody->pw_uid : 0;
  const gid_t gid = nobody ? nobody->pw_gid : 0;
  int result[2];
  ASSERT_EQ(pipe(result), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(result[0]);
    const auto check = [&]() -> std::string {
      if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
        return "cannot become nobody";
      EmulatorProcess emu;
      const std::string path = emu.Path();
      if (path.empty()) return "the emulator did not start";
      PosixSerialDevice holder;
      if (holder.Open(path) != 0) return "the first open failed";
      const int other = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (other >= 0 || errno != EBUSY) return "another program's open was let in";
      holder.Close();

      int ready[2];
      if (pipe(ready) != 0) return "no pipe";
      const pid_t victim = fork();
      if (victim == 0) {
        PosixSerialDevice held;
        const char opened = held.Open(path) == 0 ? 'y' : 'n';
        [[maybe_unused]] auto n = write(ready[1], &opened, 1);
        pause();
        _exit(0);
      }
      char opened = 0;
      [[maybe_unused]] auto n = read(ready[0], &opened, 1);
      if (opened != 'y') return "the port was not free after a close";
      PosixSerialDevice next;
      const int whileHeld = next.Open(path);
      kill(victim, SIGKILL);
      waitpid(victim, nullptr, 0);
      if (whileHeld != EBUSY) return "the port was let in twice";
      // The emulator hears the descriptor close; give it a moment.
      for (int i = 0; i < 500; ++i) {
        if (next.Open(path) == 0) return "";
        usleep(10'000);
      }
      return "the port stayed taken after its holder was killed";
    };
    const std::string failure = check();
    [[maybe_unused]] auto n = write(result[1], failure.data(), failure.size());
    _exit(0);
  }
  close(result[1]);
  std::string failure;
  char buf[256];
  for (ssize_t n; (n = read(result[0], buf, sizeof buf)) > 0;) failure.append(buf, static_cast<std::size_t>(n));
  close(result[0]);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(failure, "");
}

}  // namespace
