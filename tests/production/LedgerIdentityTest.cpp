// The ledger is the one opened: a SQLite file deleted, moved or replaced
// under a batch stops it before the next part (a deleted one written back
// first, so the next run goes on from its records); a PostgreSQL server
// that turns out to hold another ledger after a reconnect likewise.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "production/LedgerStores.h"

using ::testing::HasSubstr;

namespace {

namespace fs = std::filesystem;

TEST(LedgerIdentity, SqliteFileDeletedMovedOrReplacedStopsTheBatch) {
  const struct {
    const char* name;
    std::function<void(const std::string& path)> change;
    const char* message;  // %s: the ledger's path
    bool writtenBack;     // the path holds the ledger again, from this connection
  } cases[] = {
      {"deleted", [](const std::string& p) { fs::remove(p); },
       "The ledger file %s was deleted; it has been written back from this station's connection: the batch stops",
       true},
      {"deleted with its journal",
       [](const std::string& p) {
         for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(p + suffix);
       },
       "The ledger file %s was deleted; it has been written back from this station's connection: the batch stops",
       true},
      {"moved", [](const std::string& p) { fs::rename(p, p + ".old"); },
       "The ledger file %s was moved to %s.old and nothing is there now: the batch stops; open the ledger where it is",
       false},
      {"moved and replaced",
       [](const std::string& p) {
         fs::rename(p, p + ".old");
         OpenLedger(p);
       },
       "The ledger file %s was moved to %s.old and another file is there now: the batch stops; open the ledger "
       "where it is",
       false},
      {"replaced by another ledger",
       [](const std::string& p) {
         OpenLedger(p + ".new");
         fs::rename(p + ".new", p);
       },
       "The ledger file %s was deleted and another file put in its place: the batch stops", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LedgerPlace place(Store::Sqlite, c.name);
    const std::string& path = place.Location();
    auto ledger = place.Open();
    ledger->OpenJob(SerialJob("line", "0001"));
    const auto first = ledger->Reserve(PassOn("line")).pass;
    ledger->MarkStreamStarted(first.id);
    ledger->Finish(first.id, PassResult::Ok, "", "", 1);

    c.change(path);
    const LedgerError e = ErrorOf([&] { ledger->Reserve(PassOn("line")); });
    EXPECT_EQ(e.kind(), LedgerError::Kind::Moved);
    std::string expected = c.message;
    for (std::size_t at; (at = expected.find("%s")) != std::string::npos;) expected.replace(at, 2, path);
    EXPECT_EQ(e.what(), expected);

    // The batch stops and the program ends. The next run goes on from the
    // records; a moved ledger is where it was moved to.
    ledger.reset();
    const std::string now = c.writtenBack ? path : fs::exists(path + ".old") ? path + ".old" : path;
    auto next = OpenLedger(now);
    if (std::string(c.name) != "replaced by another ledger" && std::string(c.name) != "moved and replaced") {
      EXPECT_EQ(next->List().size(), 1u);
      EXPECT_EQ(next->Reserve(PassOn("line")).pass.serial, "0002");
    }
    EXPECT_FALSE(fs::exists(path + ".written-back-" + std::to_string(getpid())));
  }
}

TEST(LedgerIdentity, PostgresServerHoldingAnotherLedgerAfterAReconnectStopsTheBatch) {
  LedgerPlace place(Store::Postgres);
  const std::string name = "identity_" + std::to_string(getpid());
  auto ledger = OpenLedger(place.Location() + "&application_name=" + name);
  ledger->OpenJob(SerialJob("line", "0001"));
  const auto cut = [&] {
    PgCluster::Instance().Admin("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity"
                                " WHERE application_name = '" + name + "'");
  };
  cut();
  EXPECT_EQ(ledger->Reserve(PassOn("line")).pass.serial, "0001") << "the same ledger after a reconnect";
  place.Sql("UPDATE ledger_meta SET value = 'restored elsewhere' WHERE key = 'ledger_id'");
  cut();
  for (int call = 0; call < 2; ++call) {
    const LedgerError e = ErrorOf([&] { ledger->Reserve(PassOn("line")); });
    EXPECT_EQ(e.kind(), LedgerError::Kind::Moved);
    EXPECT_THAT(e.what(), HasSubstr("is not the ledger this program opened"));
    EXPECT_THAT(e.what(), HasSubstr("now restored elsewhere): the batch stops"));
  }
}

}  // namespace
