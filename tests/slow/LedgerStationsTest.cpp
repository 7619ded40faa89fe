// Stations drawing serial numbers from one ledger as real processes:
// writer-cli against writer-emulator, the parts each emulated Writer saw
// read back from --parts-log. Several stations at once, stations killed at
// random moments, and the PostgreSQL server stopped under a batch.

#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <set>
#include <random>
#include <thread>

#include "cli/CliProcess.h"
#include "production/LedgerStores.h"

using namespace cli_test;

namespace {

class LedgerStations : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    ASSERT_TRUE(MakeProgImage(dir_)) << "gpasm";
    // Serial-number mode: two bytes at 0x100 from 1234h, step 1.
    WriteText(Path("job.cfg"),
              ConfigText(Path("prog.hex"), "Com1", "K7E1/E3", 0x1A, 0x4B, "0 1234 1 256 2 1234 1 0 0"));
  }
  // A batch may take its time on a busy machine: four run at once.
  CliResult Batch(const std::string& ledger, const Emulator& emu, const std::string& station, int passes) {
    return RunCli({"--port-path", emu.Path(), "--ledger", ledger, "--station", station, "--config", "job.cfg",
                   "auto-program", "--passes", std::to_string(passes)},
                  dir_, 180000);
  }
};

class LedgerCollision : public LedgerStations, public ::testing::WithParamInterface<Store> {};

TEST_P(LedgerCollision, FourStationsOneJobEveryNumberInOnePart) {
  constexpr int kStations = 4, kPasses = 25;
  LedgerPlace place(GetParam());
  std::vector<fs::path> logs;
  std::vector<CliResult> results(kStations);
  {
    std::vector<std::unique_ptr<Emulator>> writers;
    for (int i = 0; i < kStations; ++i) {
      logs.push_back(Path("parts" + std::to_string(i) + ".log"));
      writers.push_back(std::make_unique<Emulator>(std::vector<std::string>{"--swap-parts", "--parts-log", logs[i]}));
      ASSERT_FALSE(writers[i]->Path().empty());
    }
    std::vector<std::thread> stations;
    for (int i = 0; i < kStations; ++i)
      stations.emplace_back(
          [&, i] { results[i] = Batch(place.Location(), *writers[i], "station" + std::to_string(i), kPasses); });
    for (auto& t : stations) t.join();
  }  // the emulators stop: the last part of each leaves its socket
  for (const auto& r : results) EXPECT_EQ(r.status, 0) << r.out << r.err;

  const auto parts = PartsBySerial(logs);
  EXPECT_EQ(parts.size(), static_cast<std::size_t>(kStations * kPasses));
  for (const auto& [serial, count] : parts) EXPECT_EQ(count, 1) << serial;
  std::map<std::string, int> recorded;
  for (const auto& pass : place.Open()->List()) {
    EXPECT_EQ(pass.result, "ok");
    ++recorded[pass.serial];
  }
  std::map<std::string, int> once;
  for (const auto& [serial, count] : parts) once[serial] = 1;
  EXPECT_EQ(recorded, once);
}

INSTANTIATE_TEST_SUITE_P(Stores, LedgerCollision, ::testing::Values(Store::Postgres, Store::Sqlite), StoreName);

int OpenPasses(const std::string& ledger) {
  long long open = 0;
  for (const auto& job : OpenLedger(ledger)->Status().jobs) open += job.open;
  return static_cast<int>(open);
}

// Adds the passes open now to `open`: a run killed before it looked at its
// port's passes leaves the last run's pass open across two kills.
void NoteOpenPasses(const std::string& ledger, std::set<long long>& open) {
  for (const auto& pass : OpenLedger(ledger)->List())
    if (pass.result == "open") open.insert(pass.id);
}

// A station killed at random moments of its batch, fifty times: no number
// ever reaches two parts, and each kill that left a pass open is reported
// interrupted when the station starts on its port again.
TEST_F(LedgerStations, KilledStationsNeverReissueANumber) {
  constexpr int kKills = 50;
  const std::string ledger = Path("ledger.sqlite").string();
  const fs::path log = Path("parts.log");
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> killAfterMs(0, 700);
  std::set<long long> openAfterKills;
  int reported = 0;
  {
    Emulator emu({"--swap-parts", "--parts-log", log.string()});
    ASSERT_FALSE(emu.Path().empty());
    for (int i = 0; i <= kKills; ++i) {
      // The last run is the one that finds the last kill's pass.
      const int passes = i < kKills ? 3 : 1;
      std::vector<std::string> args = {"--port-path", emu.Path(), "--ledger", ledger, "--station", "bench",
                                       "--config", Path("job.cfg"), "auto-program", "--passes", std::to_string(passes)};
      args.insert(args.begin(), WRITER_BINARY_DIR "/writer-cli");
      auto argv = Argv(args);
      int err[2];
      ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
      posix_spawn_file_actions_t fa;
      posix_spawn_file_actions_init(&fa);
      posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_adddup2(&fa, err[1], STDERR_FILENO);
      pid_t pid = -1;
      ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
      posix_spawn_file_actions_destroy(&fa);
      close(err[1]);
      if (i < kKills) {
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs(random)));
        kill(pid, SIGKILL);
      }
      std::string text;
      char buf[512];
      for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
      close(err[0]);
      waitpid(pid, nullptr, 0);
      for (std::size_t at = 0; (at = text.find("Part interrupted on station bench", at)) != std::string::npos; ++at)
        ++reported;
      if (i < kKills) NoteOpenPasses(ledger, openAfterKills);
    }
  }
  const int leftOpen = static_cast<int>(openAfterKills.size());
  EXPECT_GT(leftOpen, 0) << "no kill landed inside a pass";
  EXPECT_EQ(reported, leftOpen);
  EXPECT_EQ(OpenPasses(ledger), 0);
  EXPECT_EQ(OpenLedger(ledger)->Status().jobs.at(0).interrupted, leftOpen);
  for (const auto& [serial, count] : PartsBySerial({log})) EXPECT_EQ(count, 1) << serial;
}

// A PostgreSQL server of the test's own, stopped and started again under a batch.
class OwnServer {
 public:
  explicit OwnServer(const fs::path& link) : link_(link) {
    ok_ = std::system((Script() + " start " + link_.string() + " >/dev/null").c_str()) == 0;
    dir_ = fs::canonical(link_).string();
  }
  ~OwnServer() { [[maybe_unused]] int r = std::system((Script() + " stop " + link_.string()).c_str()); }
  bool Ok() const { return ok_; }
  std::string Uri() const { return "postgresql:///ledger_tests?host=" + dir_ + "&user=postgres"; }
  bool Stop() const { return Ctl("-m immediate stop"); }
  bool Start() const { return Ctl("-l " + dir_ + "/server.log -w -o '-k " + dir_ + " -c listen_addresses=' start"); }

 private:
  static std::string Script() { return WRITER_SOURCE_DIR "/tests/support/pg-cluster.sh"; }
  bool Ctl(const std::string& what) const {
    // The server runs as postgres when the tests run as root (initdb refuses root).
    const std::string owner = getuid() == 0 ? "runuser -u postgres -- " : "";
    return std::system((owner + "\"$(pg_config --bindir)/pg_ctl\" -D " + dir_ + "/data " + what + " >/dev/null 2>&1")
                           .c_str()) == 0;
  }
  fs::path link_;
  std::string dir_;
  bool ok_ = false;
};

TEST_F(LedgerStations, ServerStoppedUnderABatch) {
  OwnServer server(Path("pg"));
  ASSERT_TRUE(server.Ok());
  // Paced, so that a pass lasts seconds.
  Emulator emu({"--swap-parts", "--baud", "38400", "--word-time-us", "500"});
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_TRUE(server.Stop());
  });
  const auto cut = Batch(server.Uri(), emu, "bench", 3);
  stopper.join();
  EXPECT_EQ(cut.status, 1) << cut.out << cut.err;
  EXPECT_NE(cut.err.find("; the batch stops"), std::string::npos) << cut.err;
  const auto lines = cut.OutLines();
  const auto passLine = [](const std::string& l) { return l.rfind("Pass Count", 0) == 0; };
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), passLine), 1) << cut.out;  // the running pass ended, no other began

  ASSERT_TRUE(server.Start());
  const auto status = RunOn(emu, {"--ledger", server.Uri(), "ledger", "status"});
  EXPECT_NE(status.out.find("open 1"), std::string::npos) << status.out << status.err;
  const auto next = Batch(server.Uri(), emu, "bench", 1);
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_NE(next.err.find("Part interrupted on station bench, " + emu.Path() + ", at "), std::string::npos)
      << next.err;
}

}  // namespace
