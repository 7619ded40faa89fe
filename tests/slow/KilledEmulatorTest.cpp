// writer-cli against a writer-emulator that dies in the middle of an
// operation (SIGKILL, as a Writer that loses power or a cable pulled from a
// USB adapter): writer-cli gives up within the link's time-out, says so and
// exits non-zero, without spinning while it waits. Real processes on a real
// pseudo-terminal, paced so the kill lands mid-stream: these take seconds.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "cli/CliProcess.h"

using namespace cli_test;

namespace {

using Clock = std::chrono::steady_clock;

// The link gives up after two to three seconds; a little room for a loaded machine.
constexpr auto kGiveUpBound = std::chrono::seconds(8);
// CPU writer-cli may burn in all (sanitizer builds included): a poll loop that
// spins through the time-out would take its two to three seconds.
constexpr double kCpuBound = 2.0;

struct Case {
  const char* name;
  std::vector<std::string> args;
  int killAfterMs;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

double ChildCpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_CHILDREN, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

class KilledEmulator : public WithImage, public ::testing::WithParamInterface<Case> {};

TEST_P(KilledEmulator, CliGivesUpWithinTheTimeOut) {
  const Case& c = GetParam();
  // 9600 baud and 2 ms a word: a 1024-word stream takes seconds.
  Emulator emu({"--baud", "9600", "--word-time-us", "2000"});
  ASSERT_FALSE(emu.Path().empty()) << "writer-emulator did not start";

  std::atomic<Clock::rep> killedAt{0};
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(c.killAfterMs));
    kill(emu.Pid(), SIGKILL);
    killedAt = Clock::now().time_since_epoch().count();
  });
  const double cpuBefore = ChildCpuSeconds();
  const CliResult r = RunOn(emu, c.args);
  const auto ended = Clock::now();
  killer.join();
  const double cpu = ChildCpuSeconds() - cpuBefore;  // writer-cli's alone: the emulator is reaped later

  ASSERT_NE(r.status, -1) << "writer-cli did not end";
  EXPECT_NE(r.status, 0) << r.out;
  const auto afterKill = ended - Clock::time_point(Clock::duration(killedAt.load()));
  EXPECT_LT(afterKill, kGiveUpBound);
  const auto lines = r.OutLines();
  // A red line, or a message box's text (the download's), or the line's error on stderr.
  const bool reported = !r.err.empty() || std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("error: ", 0) == 0 || l == "Connect Timeout!!" || l == "Writer Error!!";
  });
  EXPECT_TRUE(reported) << r.out << r.err;
  EXPECT_LT(cpu, kCpuBound) << "writer-cli spun while the line was dead";
}

// The kill times put the end of the line inside the named stream.
INSTANTIATE_TEST_SUITE_P(
    Operations, KilledEmulator,
    ::testing::Values(Case{"ProgramMemoryStream", {"--config", "set.cfg", "program-memory"}, 500},
                      Case{"ReadProgram", {"read"}, 400},
                      Case{"VerifyProgram", {"--config", "set.cfg", "verify"}, 400},
                      Case{"BlankCheck", {"blank-check"}, 300},
                      Case{"AutoProgramData", {"--config", "set.cfg", "auto-program", "--passes", "3"}, 3000},
                      Case{"ForceWrite", {"--config", "set.cfg", "force-write", "--passes", "3"}, 500},
                      Case{"Download", {"download", "K7E1/E3", "K7E2/E4"}, 80}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A batch stops at the pass that lost its Writer, in that pass's own red
// line; the Writer started again on the same Com1 serves the next run.
TEST_F(WithImage, TheNextRunOnTheSamePortWorksWhenTheWriterIsBack) {
  const fs::path config = Path("config");
  const std::string ports = (config / "qel-writer" / "ports").string();
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const std::vector<std::string> batch = {"--port", "Com1", "--config", "set.cfg", "auto-program", "--passes", "3"};
  CliResult cut, next;
  {
    Emulator emu({"--link", "Com1", "--port-map", ports, "--swap-parts", "--baud", "9600", "--word-time-us", "2000"});
    ASSERT_FALSE(emu.Path().empty()) << "writer-emulator did not start";
    std::thread killer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(3000));
      kill(emu.Pid(), SIGKILL);
    });
    cut = Run(batch);
    killer.join();
  }
  {
    Emulator emu({"--link", "Com1", "--port-map", ports, "--swap-parts"});
    ASSERT_FALSE(emu.Path().empty()) << "writer-emulator did not start again";
    next = Run(batch);
  }
  unsetenv("XDG_CONFIG_HOME");

  EXPECT_EQ(cut.status, 1) << cut.out << cut.err;
  const auto lines = cut.OutLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "error: Connect Timeout!!"), 1) << cut.out;
  // No message box or reason beyond the line itself: only the batch's summary.
  EXPECT_EQ(cut.err, "summary: Com1 passes 1, ok 0, failed 1, interrupted 0, serials none\n");
  EXPECT_EQ(next.status, 0) << next.out << next.err;
  const auto passes = next.OutLines();
  EXPECT_EQ(std::count(passes.begin(), passes.end(), "ID & Checksum verify OK!!"), 3) << next.out;
}

}  // namespace
