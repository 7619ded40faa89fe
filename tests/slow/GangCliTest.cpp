// writer-cli driving several writer-emulator processes at once, and waiting
// for parts seated by hand: real processes on real pseudo-terminals at
// 115200 baud. The tests check order and counts, never times.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <set>
#include <thread>

#include "cli/CliProcess.h"
#include "support/PgCluster.h"

using namespace cli_test;

namespace {

using namespace std::chrono_literals;

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

std::vector<std::string> FileLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A writer-cli running in the background, its output in a file.
class Background {
 public:
  Background(std::vector<std::string> args, const fs::path& dir) : out_(dir / "cli.out") {
    args.insert(args.begin(), WRITER_BINARY_DIR "/writer-cli");
    auto argv = Argv(args);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, (dir / "cli.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
  }
  ~Background() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  std::vector<std::string> Lines() const { return FileLines(out_); }
  // Waits until a line of the output is `line` (n times); false after the bound.
  bool WaitFor(const std::string& line, std::size_t n = 1) const {
    for (int i = 0; i < kEmulatorWaitMs / 20; ++i) {
      if (Count(Lines(), line) >= n) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  void Signal(int sig) const { kill(pid_, sig); }
  int Wait() {
    for (int i = 0; i < kEmulatorWaitMs / 20 && status_ < 0; ++i) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
      else std::this_thread::sleep_for(20ms);
    }
    return status_;
  }

 private:
  fs::path out_;
  pid_t pid_ = -1;
  int status_ = -1;
};

class GangCli : public WithImage {
 protected:
  // Writers with the given options, their --port-path arguments.
  std::vector<std::string> Writers(int n, const std::vector<std::string>& options) {
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) {
      emulators_.push_back(std::make_unique<Emulator>(options));
      EXPECT_FALSE(emulators_.back()->Path().empty()) << "writer-emulator did not start";
      args.insert(args.end(), {"--port-path", emulators_.back()->Path()});
    }
    return args;
  }
  // Batches of many passes at 115200 baud take their time on a busy machine.
  CliResult RunBatch(std::vector<std::string> args) { return RunCli(std::move(args), dir_, 120000); }
  std::string Summary(int i, const std::string& counts) const {
    return "summary: " + emulators_[i]->Path() + " " + counts;
  }
  std::vector<std::unique_ptr<Emulator>> emulators_;
};

const std::vector<std::string> kLine = {"--swap-parts", "--baud", "115200"};

TEST_F(GangCli, FourWritersMakeTenPartsEach) {
  std::vector<std::string> args = Writers(4, kLine);
  args.insert(args.end(), {"--config", "set.cfg", "--log", "log.csv", "auto-program", "--passes", "10"});
  const CliResult r = RunBatch(args);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const auto lines = r.OutLines();
  for (int i = 0; i < 4; ++i) {
    const std::string name = emulators_[i]->Path();
    EXPECT_EQ(Count(lines, name + ": Data program & verify OK!!"), 10u);
    EXPECT_EQ(Count(lines, Summary(i, "passes 10, ok 10, failed 0, interrupted 0, serials none")), 1u) << r.out;
    // Each Writer's lines in its own order.
    std::vector<std::string> own;
    for (const auto& line : lines)
      if (line.rfind(name + ": ", 0) == 0) own.push_back(line.substr(name.size() + 2));
    EXPECT_EQ(own[0], "Blank Check ..... OK.");
    EXPECT_EQ(own[4], "Pass Count : 1");
    EXPECT_EQ(own.back(), "Pass Count : 10");
  }
  // Every line belongs to one Writer or is a summary: nothing mixed within a line.
  for (const auto& line : lines)
    EXPECT_TRUE(line.rfind("/dev/", 0) == 0 || line.rfind("summary: ", 0) == 0) << line;
  const auto log = FileLines(Path("log.csv"));
  EXPECT_EQ(log.size(), 41u);
}

// Serial-number mode: the numbers come from one SQLite ledger job, each
// stamped into exactly one part.
TEST_F(GangCli, FourWritersDrawFortyDistinctNumbersFromOneLedger) {
  WriteText(Path("serial.cfg"),
            ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", 0x1A, 0x4B, "0 1234 1 256 2 1234 1 0 0"));
  std::vector<std::string> args;
  std::vector<fs::path> logs;
  for (int i = 0; i < 4; ++i) {
    logs.push_back(Path("parts" + std::to_string(i)));
    std::vector<std::string> options = kLine;
    options.insert(options.end(), {"--parts-log", logs.back().string()});
    const auto one = Writers(1, options);
    args.insert(args.end(), one.begin(), one.end());
  }
  args.insert(args.end(), {"--config", "serial.cfg", "auto-program", "--passes", "10"});
  const CliResult r = RunBatch(args);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::set<std::string> serials;
  std::size_t stamped = 0;
  for (const auto& line : r.OutLines())
    if (const auto at = line.find(": Serial No. (HEX) : "); at != std::string::npos) {
      serials.insert(line.substr(at + 21));
      ++stamped;
    }
  EXPECT_EQ(stamped, 40u) << r.out;
  EXPECT_EQ(serials.size(), 40u);
  EXPECT_EQ(*serials.begin(), "1234");
  EXPECT_EQ(*serials.rbegin(), "125B");
  emulators_.clear();  // at exit each emulator logs the part still in its socket
  const auto parts = PartsBySerial(logs);
  EXPECT_EQ(parts.size(), 40u);
  std::set<std::string> inParts;
  for (const auto& [serial, count] : parts) {
    EXPECT_EQ(count, 1) << serial;
    inParts.insert(serial);
  }
  EXPECT_EQ(inParts, serials);
}

// Two stations of a line, each a writer-cli with two Writers, on one
// PostgreSQL job at once: no number twice.
TEST_F(GangCli, TwoStationsOnOnePostgresJobNeverShareANumber) {
  WriteText(Path("serial.cfg"),
            ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", 0x1A, 0x4B, "0 1234 1 256 2 1234 1 0 0"));
  const std::string uri = PgCluster::Instance().FreshUri("gang-stations");
  std::vector<std::string> first = Writers(2, kLine), second = Writers(2, kLine);
  for (auto* args : {&first, &second})
    args->insert(args->end(), {"--ledger", uri, "--config", "serial.cfg", "auto-program", "--passes", "5"});
  CliResult a;
  std::thread other([&] { a = RunBatch(first); });
  const CliResult b = RunBatch(second);
  other.join();
  EXPECT_EQ(a.status, 0) << a.out << a.err;
  EXPECT_EQ(b.status, 0) << b.out << b.err;
  std::multiset<std::string> serials;
  for (const CliResult* r : {static_cast<const CliResult*>(&a), &b})
    for (const auto& line : r->OutLines())
      if (const auto at = line.find(": Serial No. (HEX) : "); at != std::string::npos) serials.insert(line.substr(at + 21));
  EXPECT_EQ(serials.size(), 20u);
  EXPECT_EQ(std::set<std::string>(serials.begin(), serials.end()).size(), 20u);
}

TEST_F(GangCli, AWriterThatDiesStopsAloneAndAPortThatDoesNotOpenIsReported) {
  std::vector<std::string> args = Writers(4, kLine);
  args.insert(args.end(), {"--port-path", Path("no-such-tty").string(), "--config", "set.cfg", "auto-program",
                           "--passes", "10"});
  std::thread killer([&] {
    std::this_thread::sleep_for(1500ms);
    kill(emulators_[1]->Pid(), SIGKILL);
  });
  const CliResult r = RunBatch(args);
  killer.join();
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const auto lines = r.OutLines();
  for (int i : {0, 2, 3})
    EXPECT_EQ(Count(lines, Summary(i, "passes 10, ok 10, failed 0, interrupted 0, serials none")), 1u) << r.out;
  const std::string dead = emulators_[1]->Path();
  const auto summary = std::find_if(lines.begin(), lines.end(),
                                    [&](const std::string& l) { return l.rfind("summary: " + dead + " ", 0) == 0; });
  ASSERT_NE(summary, lines.end()) << r.out;
  EXPECT_NE(summary->find(", failed 1, "), std::string::npos) << *summary;
  EXPECT_EQ(Count(lines, dead + ": error: Connect Timeout!!"), 1u) << r.out;
  EXPECT_EQ(Count(lines, "summary: " + Path("no-such-tty").string() +
                             " passes 0, ok 0, failed 0, interrupted 0, serials none (port not opened)"),
            1u)
      << r.out;
}

// A run stopped by Ctrl-C: how many, then what it comes to.
struct StopCase {
  int interrupts;
  const char* summary;
  int status;
  std::size_t logLines;
  const char* ledger;
};

// Parts seated by hand (SIGUSR1 to the emulator): the first is programmed at
// once, the next only once the socket was empty and holds a new part. One
// SIGINT lets the running pass end; a second cuts it off.
TEST_F(GangCli, WaitingForPartsAndStoppingByCtrlC) {
  for (const StopCase c : {StopCase{1, "passes 2, ok 2, failed 0, interrupted 0, serials none", 0, 3, "ok 2, failed 0, interrupted 0"},
                       StopCase{2, "passes 2, ok 1, failed 0, interrupted 1, serials none", 1, 3, "ok 1, failed 0, interrupted 1"}}) {
    SCOPED_TRACE(c.interrupts);
    emulators_.clear();
    fs::remove(Path("log.csv"));
    fs::remove(Path("ledger.sqlite"));
    // Two milliseconds a word: a pass takes seconds, so a signal lands in it.
    std::vector<std::string> args = Writers(1, {"--reseat-ms", "0", "--baud", "115200", "--word-time-us", "2000"});
    args.insert(args.end(),
                {"--ledger", Path("ledger.sqlite").string(), "--config", "set.cfg", "--log", "log.csv", "auto-program",
                 "--wait-for-part", "--passes", "0"});
    Background cli(args, dir_);
    const std::string name = emulators_[0]->Path();
    ASSERT_TRUE(cli.WaitFor(name + ": Pass Count : 1"));
    ASSERT_TRUE(cli.WaitFor(name + ": waiting for a part"));
    kill(emulators_[0]->Pid(), SIGUSR1);  // the part out
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(Count(cli.Lines(), name + ": Blank Check ..... OK."), 1u) << "a pass on an empty socket";
    kill(emulators_[0]->Pid(), SIGUSR1);  // a fresh part in
    std::this_thread::sleep_for(900ms);  // polled within 250 ms; then the data stream runs
    for (int i = 0; i < c.interrupts; ++i) {
      cli.Signal(SIGINT);
      std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(cli.Wait(), c.status);
    const auto lines = cli.Lines();
    EXPECT_EQ(Count(lines, "summary: " + name + " " + c.summary), 1u) << testing::PrintToString(lines);
    EXPECT_EQ(Count(lines, name + ": waiting for a part"), 1u);
    EXPECT_EQ(FileLines(Path("log.csv")).size(), c.logLines);
    const CliResult status = Run({"--ledger", Path("ledger.sqlite").string(), "ledger", "status"});
    EXPECT_NE(status.out.find(c.ledger), std::string::npos) << status.out << status.err;
  }
}

}  // namespace

namespace {

// One Writer stops as several do: the first SIGINT lets the pass end (its
// log line and the summary there), the second cuts it off, recorded interrupted.
TEST_F(GangCli, OneWriterStopsByCtrlCAsAGangDoes) {
  for (const StopCase c : {StopCase{1, "passes 1, ok 1, failed 0, interrupted 0, serials none", 0, 2, "ok 1, failed 0, interrupted 0"},
                       StopCase{2, "passes 1, ok 0, failed 0, interrupted 1, serials none", 1, 2, "ok 0, failed 0, interrupted 1"}}) {
    SCOPED_TRACE(c.interrupts);
    emulators_.clear();
    fs::remove(Path("log.csv"));
    fs::remove(Path("ledger.sqlite"));
    std::vector<std::string> args = Writers(1, {"--swap-parts", "--baud", "115200", "--word-time-us", "2000"});
    args.insert(args.end(), {"--ledger", Path("ledger.sqlite").string(), "--config", "set.cfg", "--log", "log.csv",
                             "auto-program", "--passes", "3"});
    Background cli(args, dir_);
    std::this_thread::sleep_for(800ms);  // into the first pass's data stream
    for (int i = 0; i < c.interrupts; ++i) {
      cli.Signal(SIGINT);
      std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(cli.Wait(), c.status);
    const auto err = FileLines(Path("cli.err"));
    EXPECT_EQ(Count(err, "summary: " + emulators_[0]->Path() + " " + c.summary), 1u) << testing::PrintToString(err);
    EXPECT_EQ(FileLines(Path("log.csv")).size(), c.logLines);
    const CliResult status = Run({"--ledger", Path("ledger.sqlite").string(), "ledger", "status"});
    EXPECT_NE(status.out.find(c.ledger), std::string::npos) << status.out << status.err;
  }
}

}  // namespace
