// The ledger in a PostgreSQL database, for a line of stations on several
// machines. Uniqueness and order come from the server's transactions, row
// locks and constraints; this side only connects, runs statements and sorts
// the server's errors into the kinds a caller acts on.

#include <libpq-fe.h>

#include "production/LedgerStore.h"

namespace {

const SqlDialect kPostgres{
    "to_char(now() AT TIME ZONE 'utc', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')",
    "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY",
    " FOR UPDATE",
    // Two programs creating the tables of a fresh database at once would
    // otherwise collide in the catalogue.
    "SELECT pg_advisory_xact_lock(7235100216)",
};

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

class PgStore final : public LedgerStore {
 public:
  explicit PgStore(const std::string& uri) : location_(RedactLocation(uri)), secrets_(LocationSecrets(uri)) {
    // Defaults the URI may override: give up on an unreachable server in
    // seconds, and notice a dead one mid-batch instead of waiting for ever.
    const char* keys[] = {"connect_timeout",  "keepalives_idle",           "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout",          "fallback_application_name",
                          "dbname",           nullptr};
    const char* values[] = {"10", "10", "5", "3", "15000", "qel-writer", uri.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
      const std::string reason = conn_ ? Reason(PQerrorMessage(conn_)) : "out of memory";
      PQfinish(conn_);
      throw LedgerError(LedgerError::Kind::CannotOpen, "Cannot reach ledger " + location_ + ": " + reason);
    }
    // The server's notices ("relation already exists, skipping") are not for the technician.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  }
  ~PgStore() override { PQfinish(conn_); }

  const SqlDialect& Dialect() const override { return kPostgres; }
  std::string Location() const override { return location_; }

  void Begin(Access access) override {
    const char* begin = access == Access::Read ? "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY" : "BEGIN";
    const bool unsynced = unsynced_;
    if (PQstatus(conn_) == CONNECTION_BAD) PQreset(conn_);  // the caller heard of the loss
    try {
      Run(begin, {});
    } catch (const LedgerError& e) {
      // Nothing of this transaction was sent yet: after a server restart
      // between two passes, a new connection makes it as if nothing happened,
      // unless a lazy write may have gone down with the server.
      if (e.kind() != LedgerError::Kind::ConnectionLost || unsynced) throw;
      PQreset(conn_);
      Run(begin, {});
    }
    write_ = access != Access::Read;
    lazy_ = access == Access::WriteLazily;
    if (lazy_) Run("SET LOCAL synchronous_commit = off", {});
  }
  void Commit() override {
    Run("COMMIT", {});
    if (write_) unsynced_ = lazy_;
  }
  void Rollback() noexcept override {
    if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE)
      PQclear(PQexec(conn_, "ROLLBACK"));
  }

  std::vector<SqlRow> Query(const std::string& sql, const std::vector<SqlValue>& params) override {
    const Result r = Run(sql, params);
    std::vector<SqlRow> rows(static_cast<std::size_t>(PQntuples(r.get())));
    for (int i = 0; i < PQntuples(r.get()); ++i)
      for (int c = 0; c < PQnfields(r.get()); ++c)
        rows[static_cast<std::size_t>(i)].push_back(PQgetisnull(r.get(), i, c)
                                                        ? SqlValue()
                                                        : SqlValue(PQgetvalue(r.get(), i, c)));
    return rows;
  }
  long long Exec(const std::string& sql, const std::vector<SqlValue>& params) override {
    const Result r = Run(sql, params);
    const char* changed = PQcmdTuples(r.get());
    return *changed ? std::stoll(changed) : 0;
  }

 private:
  // libpq's text, on one line, with any password of the URI hidden.
  std::string Reason(const char* text) const {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    for (auto& c : s)
      if (c == '\n') c = ' ';
    for (const auto& secret : secrets_)
      for (std::size_t at; (at = s.find(secret)) != std::string::npos;) s.replace(at, secret.size(), "***");
    return s;
  }

  Result Run(const std::string& sql, const std::vector<SqlValue>& params) {
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    Result r(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                          nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
    const std::string state = r && PQresultErrorField(r.get(), PG_DIAG_SQLSTATE)
                                  ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE)
                                  : "";
    const std::string reason = Reason(r ? PQresultErrorMessage(r.get()) : PQerrorMessage(conn_));
    // 08: connection exceptions; 57P: the server shut down or restarted.
    if (PQstatus(conn_) == CONNECTION_BAD || state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0) {
      unsynced_ = false;  // the caller hears of it: the open pass will be found interrupted
      throw LedgerError(LedgerError::Kind::ConnectionLost, "Lost the connection to ledger " + location_ + ": " + reason);
    }
    // Serialisation failure, deadlock, lock not available: the transaction may be tried again.
    if (state == "40001" || state == "40P01" || state == "55P03")
      throw LedgerError(LedgerError::Kind::Busy, "Ledger " + location_ + " is busy: " + reason);
    throw LedgerError(LedgerError::Kind::Failed, "Ledger " + location_ + ": " + reason);
  }

  std::string location_;
  std::vector<std::string> secrets_;
  PGconn* conn_ = nullptr;
  bool write_ = false;
  bool lazy_ = false;
  bool unsynced_ = false;  // a lazy write is committed that no later write has put on the disk
};

}  // namespace

std::unique_ptr<LedgerStore> OpenPgStore(const std::string& uri) { return std::make_unique<PgStore>(uri); }
