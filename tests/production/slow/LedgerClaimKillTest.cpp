// A program holding a station's port is killed: its claim is let go by the
// system (SQLite) or the server (PostgreSQL), and the next program on that
// station and port starts and reports the pass the dead one left open.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <thread>

#include "production/LedgerStores.h"

using ::testing::HasSubstr;

namespace {

class ClaimOfAKilledProgram : public ::testing::TestWithParam<Store> {};

TEST_P(ClaimOfAKilledProgram, IsFreedAndItsPassFoundInterrupted) {
  LedgerPlace place(GetParam());
  ASSERT_EQ(place.Open()->OpenJob(SerialJob("line", "0001")).outcome, JobOpening::Outcome::Created);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    char answer = 'n';
    try {
      auto ledger = place.Open();
      auto claim = ledger->ClaimStation("bench1", "Com1");
      if (ledger->Reserve(PassOn("line")).pass.serial == "0001") answer = 'y';
      [[maybe_unused]] const auto written = write(ready[1], &answer, 1);
      for (;;) pause();
    } catch (...) {
      [[maybe_unused]] const auto written = write(ready[1], &answer, 1);
    }
    _exit(1);
  }
  close(ready[1]);
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  close(ready[0]);
  ASSERT_EQ(answer, 'y');

  auto ledger = place.Open();
  const LedgerError e = ErrorOf([&] { ledger->ClaimStation("bench1", "Com1"); });
  EXPECT_EQ(e.kind(), LedgerError::Kind::Refused);
  EXPECT_THAT(e.what(), HasSubstr("in use by process " + std::to_string(child) + " on host "));

  kill(child, SIGKILL);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  // The server notices the dead client's connection a moment later.
  std::unique_ptr<StationClaim> claim;
  for (int attempt = 0; !claim && attempt < 200; ++attempt) {
    try {
      claim = ledger->ClaimStation("bench1", "Com1");
    } catch (const LedgerError& refused) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ASSERT_TRUE(claim) << "the claim of a killed program stays held";
  const auto interrupted = ledger->RecoverInterrupted("bench1", "Com1");
  ASSERT_EQ(interrupted.size(), 1u);
  EXPECT_EQ(interrupted[0].serial, "0001");
  EXPECT_EQ(ledger->Reserve(PassOn("line")).pass.serial, "0002");
}

INSTANTIATE_TEST_SUITE_P(Stores, ClaimOfAKilledProgram, ::testing::Values(Store::Sqlite, Store::Postgres), StoreName);

}  // namespace
