// Stations drawing from one job at once, each with its own connection to a
// fresh ledger (or all through one shared Ledger): numbers never repeat
// between parts, and the numbers handed out form one sequence without gaps.

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <mutex>
#include <set>
#include <thread>

#include "production/LedgerStores.h"

namespace {

constexpr int kStations = 4;
constexpr int kPassesEach = 6;

struct Draw {
  Store store;
  LedgerPolicy policy;
  bool shared;  // one Ledger for all stations rather than one each
};

std::string DrawName(const Draw& d) {
  return std::string(d.store == Store::Sqlite ? "Sqlite" : "Postgres") +
         (d.policy == LedgerPolicy::Strict ? "Strict" : "ReuseFailed") + (d.shared ? "Shared" : "");
}
void PrintTo(const Draw& d, std::ostream* os) { *os << DrawName(d); }
std::string PrintDraw(const testing::TestParamInfo<Draw>& info) { return DrawName(info.param); }

class LedgerConcurrency : public ::testing::TestWithParam<Draw> {};

TEST_P(LedgerConcurrency, StationsDrawingAtOnceGetDistinctNumbersWithoutGaps) {
  const Draw draw = GetParam();
  LedgerPlace place(draw.store);
  std::unique_ptr<Ledger> common = draw.shared ? place.Open() : nullptr;

  std::mutex mutex;
  std::vector<std::string> handedOut, okNumbers;
  std::atomic<int> created{0};
  std::barrier start(kStations);
  std::vector<std::thread> stations;
  for (int s = 0; s < kStations; ++s) {
    stations.emplace_back([&, s] {
      start.arrive_and_wait();  // a fresh ledger, opened by every station at once
      std::unique_ptr<Ledger> own = draw.shared ? nullptr : place.Open();
      Ledger& ledger = draw.shared ? *common : *own;
      if (ledger.OpenJob(SerialJob("line", "0FFA", 2, 1, draw.policy)).outcome == JobOpening::Outcome::Created)
        ++created;
      for (int i = 0; i < kPassesEach; ++i) {
        const auto r = ledger.Reserve(PassOn("line", "station" + std::to_string(s)));
        ASSERT_EQ(r.outcome, ReserveResult::Outcome::Reserved) << r.message;
        // Every third part fails its blank check: under reuse-failed its number goes to another part.
        const bool fails = i % 3 == 1;
        ledger.Finish(r.pass.id, fails ? PassResult::Failed : PassResult::Ok, fails ? "blank check" : "", "", i);
        std::lock_guard lock(mutex);
        handedOut.push_back(r.pass.serial);
        if (!fails) okNumbers.push_back(r.pass.serial);
      }
    });
  }
  for (auto& t : stations) t.join();

  EXPECT_EQ(created, 1);
  const std::set<std::string> distinctOk(okNumbers.begin(), okNumbers.end());
  EXPECT_EQ(distinctOk.size(), okNumbers.size()) << "two good parts share a number";
  const std::set<std::string> distinct(handedOut.begin(), handedOut.end());
  if (draw.policy == LedgerPolicy::Strict) {
    EXPECT_EQ(distinct.size(), handedOut.size());
  }
  // Whatever was handed out is the start of the job's sequence, 0FFA on.
  SerialNumberSettings settings = SerialJob("line", "0FFA").serial;
  std::set<std::string> sequence;
  for (std::string n = "0FFA"; sequence.size() < distinct.size(); n = NextSerial(settings, n)) sequence.insert(n);
  EXPECT_EQ(distinct, sequence);
}

INSTANTIATE_TEST_SUITE_P(Stores, LedgerConcurrency,
                         ::testing::Values(Draw{Store::Sqlite, LedgerPolicy::Strict, false},
                                           Draw{Store::Sqlite, LedgerPolicy::ReuseFailed, true},
                                           Draw{Store::Postgres, LedgerPolicy::Strict, false},
                                           Draw{Store::Postgres, LedgerPolicy::ReuseFailed, true}),
                         PrintDraw);

}  // namespace
