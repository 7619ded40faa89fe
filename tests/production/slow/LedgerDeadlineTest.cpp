// A PostgreSQL server that stops answering ends every ledger call within its
// deadline: a table lock held by another session, this connection's server
// process stopped, the whole server stopped. Real seconds, on a server of
// the test's own (the shared one must not be stopped under other tests).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "production/LedgerStores.h"

using ::testing::AnyOf;
using ::testing::HasSubstr;

namespace {

using Conn = std::unique_ptr<PGconn, decltype(&PQfinish)>;

Conn Connect(const std::string& uri) {
  Conn conn(PQconnectdb(uri.c_str()), PQfinish);
  EXPECT_EQ(PQstatus(conn.get()), CONNECTION_OK) << PQerrorMessage(conn.get());
  return conn;
}

std::string Scalar(PGconn* conn, const std::string& sql) {
  std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn, sql.c_str()), PQclear);
  EXPECT_THAT(PQresultStatus(r.get()), AnyOf(PGRES_COMMAND_OK, PGRES_TUPLES_OK)) << PQresultErrorMessage(r.get());
  return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
}

struct ShortDeadlines {
  ShortDeadlines() { SetLedgerDeadlinesForTests(LedgerDeadlines{std::chrono::milliseconds(1500), std::chrono::milliseconds(1500)}); }
  ~ShortDeadlines() { SetLedgerDeadlinesForTests(std::nullopt); }
};

TEST(LedgerDeadline, SilentServerEndsEachCallAndTheNextGoesOn) {
  PgOwnCluster server(WRITER_BINARY_DIR "/pg-deadline-" + std::to_string(getpid()));
  ASSERT_TRUE(server.Ok());
  ShortDeadlines deadlines;
  auto ledger = OpenLedger(server.Uri());
  ASSERT_EQ(ledger->OpenJob(SerialJob("line", "0001")).outcome, JobOpening::Outcome::Created);
  const auto reserve = [&] { return ledger->Reserve(PassOn("line")); };
  const auto lost = [&](const char* what) {
    const LedgerError e = ErrorOf(reserve);
    EXPECT_EQ(e.kind(), LedgerError::Kind::ConnectionLost) << what << ": " << e.what();
    EXPECT_THAT(e.what(), HasSubstr("did not answer in 1.5 s")) << what;
  };

  // Another session holds the table: the reservation gives up, nothing is recorded.
  Conn holder = Connect(server.Uri());
  Scalar(holder.get(), "BEGIN");
  Scalar(holder.get(), "LOCK TABLE passes IN ACCESS EXCLUSIVE MODE");
  lost("table locked");
  Scalar(holder.get(), "ROLLBACK");
  EXPECT_EQ(reserve().pass.serial, "0001");

  // This connection's server process stopped between two calls.
  Conn admin = Connect(server.Uri());
  const std::string backend =
      Scalar(admin.get(), "SELECT pid FROM pg_stat_activity WHERE application_name = 'qel-writer'");
  ASSERT_FALSE(backend.empty());
  server.Stop(static_cast<pid_t>(std::stol(backend)));
  lost("backend stopped");
  server.Continue();
  EXPECT_EQ(reserve().pass.serial, "0002");

  // The whole server stopped: the call on the open connection and the
  // reconnect of the next one both end in time.
  server.Stop();
  lost("server stopped");
  lost("server still stopped, reconnecting");
  server.Continue();
  EXPECT_EQ(reserve().pass.serial, "0003");
  EXPECT_EQ(ledger->List().size(), 3u);
}

}  // namespace
