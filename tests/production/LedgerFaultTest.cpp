// A pass through a ledger whose store fails on demand, on both stores: lost
// at the reservation, at the stream mark, at the finish; busy then free;
// an interrupt that fails; a stall past the deadline. Whatever fails, no
// number reaches a part without being used up in the ledger, and a number is
// only handed out again when no byte of its pass reached the part.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "production/LedgerStores.h"
#include "production/PassLedger.h"
#include "support/FaultyStore.h"

using ::testing::HasSubstr;
using Kind = LedgerError::Kind;

namespace {

struct FaultCase {
  const char* name;
  const char* armedBefore;  // "reserve", "mark", "finish" or "interrupt"
  Fault fault;
  bool interrupt;         // the pass is cut off rather than ended failed
  const char* thrownAt;   // where the pass heard of it; "" none
  Kind kind;              // what it heard
  const char* recorded;   // the pass as the ledger holds it once its station started again; "" none
  const char* next;       // the next pass's number
};

Fault F(Fault::What what, const char* when, int times = 1, bool after = false, int skip = 0) {
  Fault f;
  f.what = what;
  f.when = when;
  f.times = times;
  f.after = after;
  f.skip = skip;
  return f;
}

const FaultCase kCases[] = {
    {"LostAtReserve", "reserve", F(Fault::Lose, "INSERT INTO passes"), false, "reserve", Kind::ConnectionLost, "", "0001"},
    {"LostAfterReserveCommitted", "reserve", F(Fault::Lose, "COMMIT", 1, true), false, "reserve",
     Kind::ConnectionLost, "interrupted", "0002"},
    {"DiskFullAtReserve", "reserve", F(Fault::Fail, "UPDATE jobs"), false, "reserve", Kind::Failed, "", "0001"},
    {"BusyThenFree", "reserve", F(Fault::Busy, "BEGIN", 3), false, "", Kind::Failed, "failed", "0002"},
    {"BusyTooLong", "reserve", F(Fault::Busy, "", -1), false, "reserve", Kind::Busy, "", "0001"},
    // No byte went out: the failed pass gives its number back.
    {"LostAtMark", "mark", F(Fault::Lose, "SET stream_started"), false, "mark", Kind::ConnectionLost, "failed", "0001"},
    // The mark reached the disk, only its answer was lost.
    {"LostAfterMarkCommitted", "mark", F(Fault::Lose, "COMMIT", 1, true), false, "mark", Kind::ConnectionLost,
     "failed", "0002"},
    {"LostForEverAtMark", "mark", F(Fault::Lose, "", -1), false, "mark", Kind::ConnectionLost, "interrupted", "0002"},
    {"StallAtMark", "mark", F(Fault::Stall, "BEGIN"), false, "mark", Kind::ConnectionLost, "failed", "0001"},
    {"LostAtFinish", "finish", F(Fault::Lose, "SET result"), false, "finish", Kind::ConnectionLost, "interrupted",
     "0002"},
    {"StallAtFinish", "finish", F(Fault::Stall, ""), false, "finish", Kind::ConnectionLost, "interrupted", "0002"},
    {"InterruptFails", "interrupt", F(Fault::Lose, "", -1), true, "interrupt", Kind::ConnectionLost, "interrupted",
     "0002"},
    {"InterruptAfterBusy", "interrupt", F(Fault::Busy, "BEGIN", 2), true, "", Kind::Failed, "interrupted", "0002"},
};

class LedgerFaults : public ::testing::TestWithParam<std::tuple<Store, FaultCase>> {};

TEST_P(LedgerFaults, PassEndsSafely) {
  const auto& [store, c] = GetParam();
  LedgerPlace place(store, std::string("faults_") + c.name);
  FakeClock clock;
  auto plan = std::make_shared<FaultPlan>(&clock);
  std::shared_ptr<Ledger> ledger = FaultyLedger(place.Location(), plan);
  ASSERT_EQ(ledger->OpenJob(SerialJob("line", "0001")).outcome, JobOpening::Outcome::Created);
  PassLedger pass(ledger, "line", "bench1", "Com1");

  // The pass as a worker runs it: a ledger error ends it failed where it can.
  std::string thrownAt, message;
  Kind kind = Kind::Failed;
  std::string stage;
  const auto step = [&](const char* name, auto&& body) {
    if (!thrownAt.empty()) return;
    if (std::string(c.armedBefore) == name) plan->Add(c.fault);
    stage = name;
    try {
      body();
    } catch (const LedgerError& e) {
      thrownAt = name;
      kind = e.kind();
      message = e.what();
    }
  };
  step("reserve", [&] { ASSERT_EQ(pass.Begin(PassOn("line")).outcome, ReserveResult::Outcome::Reserved); });
  step("mark", [&] { pass.StreamStarted(); });
  if (c.interrupt) {
    step("interrupt", [&] {
      if (!pass.Interrupt()) throw LedgerError(Kind::ConnectionLost, "interrupt failed");
    });
  } else {
    step("finish", [&] { pass.End(PassResult::Failed, "program", "Writer Error!!", 1, ""); });
    if (thrownAt == "mark") {
      try {
        pass.End(PassResult::Failed, "program", "Ledger error", 1, "");
      } catch (const LedgerError&) {
        // Lost for good: the pass stays open.
      }
    }
  }
  EXPECT_EQ(thrownAt, c.thrownAt) << message;
  if (*c.thrownAt) {
    EXPECT_EQ(kind, c.kind) << message;
  }
  EXPECT_GT(plan->Fired(), 0);
  if (c.fault.what == Fault::Stall) {
    EXPECT_EQ(clock.Now(), std::chrono::milliseconds(10000));
    EXPECT_THAT(message, HasSubstr("did not answer in 10 s"));
  }

  // The station starts again on a sound connection.
  auto sound = place.Open();
  const auto before = sound->List();
  const auto recovered = sound->RecoverInterrupted("bench1", "Com1");
  const auto passes = sound->List();
  ASSERT_EQ(passes.size(), *c.recorded ? 1u : 0u);
  if (*c.recorded) {
    EXPECT_EQ(passes[0].result, c.recorded);
    EXPECT_EQ(recovered.size(), before.at(0).result == "open" ? 1u : 0u);
  }
  const auto next = sound->Reserve(PassOn("line"));
  EXPECT_EQ(next.pass.serial, c.next);
}

std::string CaseName(const testing::TestParamInfo<std::tuple<Store, FaultCase>>& info) {
  return std::string(std::get<0>(info.param) == Store::Sqlite ? "Sqlite" : "Postgres") + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Stores, LedgerFaults,
                         ::testing::Combine(::testing::Values(Store::Sqlite, Store::Postgres),
                                            ::testing::ValuesIn(kCases)),
                         CaseName);

// A mark the caller set and the server lost since (a crash between the mark
// and the finish, which then runs on a new connection): the failed pass uses
// its number up all the same.
TEST(LedgerFaults, MarkLostByTheServerStillUsesTheNumberUp) {
  for (const Store store : {Store::Sqlite, Store::Postgres}) {
    LedgerPlace place(store, std::string("mark_lost_") + (store == Store::Sqlite ? "sqlite" : "pg"));
    const std::string name = "marklost" + std::to_string(getpid());
    std::shared_ptr<Ledger> ledger =
        OpenLedger(store == Store::Postgres ? place.Location() + "&application_name=" + name : place.Location());
    ASSERT_EQ(ledger->OpenJob(SerialJob("line", "0001")).outcome, JobOpening::Outcome::Created);
    PassLedger pass(ledger, "line", "bench1", "Com1");
    ASSERT_EQ(pass.Begin(PassOn("line")).pass.serial, "0001");
    pass.StreamStarted();
    place.Sql("UPDATE passes SET stream_started = NULL");
    if (store == Store::Postgres)
      PgCluster::Instance().Admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = '" +
                                  name + "'");
    pass.End(PassResult::Failed, "program", "Writer Error!!", 1, "");
    EXPECT_EQ(ledger->List().at(0).result, "failed");
    EXPECT_EQ(ledger->Reserve(PassOn("line")).pass.serial, "0002");
  }
}

TEST(LedgerOpener, TestsCanSupplyTheirOwnLedger) {
  LedgerPlace place(Store::Sqlite, "opener");
  auto plan = std::make_shared<FaultPlan>();
  {
    FaultyLedgerOpener opener(plan);
    auto ledger = OpenLedger(place.Location());
    plan->Add(F(Fault::Fail, "jobs"));
    EXPECT_EQ(ErrorOf([&] { ledger->FindJob("line"); }).kind(), Kind::Failed);
  }
  const int calls = static_cast<int>(plan->Calls().size());
  OpenLedger(place.Location())->FindJob("line");
  EXPECT_EQ(static_cast<int>(plan->Calls().size()), calls) << "the real opener is back";
}

}  // namespace

namespace {

TEST(LedgerThreadCheckDeathTest, CallOnTheForbiddenThreadAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LedgerPlace place(Store::Sqlite, "thread_check");
  auto ledger = place.Open();
  EXPECT_DEATH(
      {
        ForbidLedgerCallsOnThread(std::this_thread::get_id());
        ledger->FindJob("line");
      },
      "ledger called on the GUI thread");
  // Elsewhere, and once lifted, calls go on.
  ForbidLedgerCallsOnThread(std::this_thread::get_id());
  std::thread([&] { EXPECT_FALSE(ledger->FindJob("line")); }).join();
  ForbidLedgerCallsOnThread({});
  EXPECT_FALSE(ledger->FindJob("line"));
}

}  // namespace
