// One live program per station and port: a second claim is refused with
// who holds it, a released claim is free again, names never share a claim,
// and a PostgreSQL claim lost with the connection is taken again or, if
// another program took it meanwhile, stops this one.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "production/LedgerStores.h"
#include "production/PassLedger.h"

using ::testing::HasSubstr;

namespace {

class StationClaims : public ::testing::TestWithParam<Store> {};

TEST_P(StationClaims, SecondClaimIsRefusedUntilTheFirstIsReleased) {
  LedgerPlace place(GetParam());
  auto first = place.Open();
  auto second = place.Open();
  const std::string inUse = "Station bench1 Com1 is in use by process " + std::to_string(getpid()) + " on host " +
                            DefaultStationName() + ": give this one another --station";
  auto claim = first->ClaimStation("bench1", "Com1");
  for (Ledger* ledger : {second.get(), first.get()}) {
    const LedgerError e = ErrorOf([&] { ledger->ClaimStation("bench1", "Com1"); });
    EXPECT_EQ(e.kind(), LedgerError::Kind::Refused);
    EXPECT_EQ(e.what(), inUse);
  }
  // Names that would run together in a file name stay apart.
  const std::pair<const char*, const char*> others[] = {
      {"bench1", "Com2"}, {"bench1", "-Com1"}, {"bench1-", "Com1"},
      {"../bench1", "Com1"}, {"bench1/x", "/dev/ttyUSB0"}, {".", "Com1"}, {"BENCH1", "Com1"}};
  std::vector<std::unique_ptr<StationClaim>> held;
  for (const auto& [station, port] : others) {
    EXPECT_NO_THROW(held.push_back(second->ClaimStation(station, port))) << station << " " << port;
  }
  EXPECT_EQ(ErrorOf([&] { second->ClaimStation("bench\n1", "Com1"); }).kind(), LedgerError::Kind::Refused);

  claim.reset();
  EXPECT_NO_THROW(claim = second->ClaimStation("bench1", "Com1"));
  if (GetParam() == Store::Sqlite) {
    // Every claim file lies in the folder beside the ledger.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             std::filesystem::path(place.Location()).parent_path()))
      if (entry.path().extension() == ".lock") {
        EXPECT_EQ(entry.path().parent_path().filename(), "ledger.sqlite.stations") << entry.path();
      }
  }

  // A PassLedger holds its claim for as long as it lives.
  std::shared_ptr<Ledger> shared = place.Open();
  {
    PassLedger pass(shared, "line", "bench2", "Com1");
    pass.Claim();
    EXPECT_TRUE(pass.Claimed());
    EXPECT_EQ(ErrorOf([&] { first->ClaimStation("bench2", "Com1"); }).kind(), LedgerError::Kind::Refused);
  }
  EXPECT_NO_THROW(first->ClaimStation("bench2", "Com1"));
}

INSTANTIATE_TEST_SUITE_P(Stores, StationClaims, ::testing::Values(Store::Sqlite, Store::Postgres), StoreName);

// The server lets go of a claim with the connection. Taken again at the
// reconnect when it is still free; when another program took it meanwhile,
// every call refuses until the claim is let go.
TEST(StationClaimsPostgres, ClaimIsTakenAgainAfterAReconnectOrStopsTheProgram) {
  LedgerPlace place(Store::Postgres);
  const std::string name = "claim_" + std::to_string(getpid());
  auto mine = OpenLedger(place.Location() + "&application_name=" + name);
  auto other = place.Open();
  const auto cut = [&] {
    PgCluster::Instance().Admin("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity"
                                " WHERE application_name = '" + name + "'");
  };
  auto claim = mine->ClaimStation("bench1", "Com1");
  cut();
  EXPECT_FALSE(mine->FindJob("line"));  // reconnects and claims again
  EXPECT_EQ(ErrorOf([&] { other->ClaimStation("bench1", "Com1"); }).kind(), LedgerError::Kind::Refused);

  cut();
  auto taken = other->ClaimStation("bench1", "Com1");
  for (int call = 0; call < 2; ++call) {
    const LedgerError e = ErrorOf([&] { mine->FindJob("line"); });
    EXPECT_EQ(e.kind(), LedgerError::Kind::Refused);
    EXPECT_THAT(e.what(), HasSubstr("Station bench1 Com1 was taken by process " + std::to_string(getpid())));
  }
  claim.reset();
  EXPECT_FALSE(mine->FindJob("line"));
}

}  // namespace
