// writer-cli killed (SIGKILL) at a random point of an Auto Program batch
// against a live writer-emulator, then run again at once on the same port:
// the rest of the cut-off exchange must not spoil the next run's first pass
// (its port starts clear, its probe waits out a Writer still inside the old
// command). WRITER_KILL_ROUNDS sets the rounds (3 by default).

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "cli/CliProcess.h"

using namespace cli_test;

namespace {

int Rounds() {
  const char* text = std::getenv("WRITER_KILL_ROUNDS");
  const int n = text ? std::atoi(text) : 0;
  return n > 0 ? n : 3;
}

// writer-cli started in dir with its output thrown away; its process id, or -1.
pid_t StartCli(std::vector<std::string> args, const fs::path& dir) {
  args.insert(args.begin(), WRITER_BINARY_DIR "/writer-cli");
  auto argv = Argv(args);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

TEST_F(WithImage, AfterAKillMidStreamTheNextRunsFirstPassSucceeds) {
  // 9600 baud and 2 ms a word: a pass's stream takes seconds, so most kills
  // land inside it; a fresh part goes in at each probe after a written one.
  Emulator emu({"--swap-parts", "--baud", "9600", "--word-time-us", "2000"});
  ASSERT_FALSE(emu.Path().empty()) << "writer-emulator did not start";
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> killAfterMs(300, 6000);
  const std::vector<std::string> batch = {"--port-path", emu.Path(), "--config", "set.cfg",
                                          "auto-program", "--passes", "3"};
  const int rounds = Rounds();
  for (int round = 1; round <= rounds; ++round) {
    const int ms = killAfterMs(random);
    SCOPED_TRACE("round " + std::to_string(round) + " of " + std::to_string(rounds) + ", seed " +
                 std::to_string(seed) + ", killed after " + std::to_string(ms) + " ms");
    const pid_t cut = StartCli(batch, dir_);
    ASSERT_GT(cut, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    kill(cut, SIGKILL);
    waitpid(cut, nullptr, 0);

    const CliResult next = RunOn(emu, {"--config", "set.cfg", "auto-program", "--passes", "1"});
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    const auto lines = next.OutLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "ID & Checksum verify OK!!"), 1) << next.out;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "error: Writer Error!!"), 0) << next.out;
  }
}

}  // namespace
