// The ledger in a PostgreSQL database, for a line of stations on several
// machines. Uniqueness and order come from the server's transactions, row
// locks and constraints; this side only connects, runs statements and sorts
// the server's errors into the kinds a caller acts on.
//
// Nothing here waits without a bound: every exchange with the server runs on
// libpq's non-blocking calls and a poll() with the call's deadline, so a
// server that stalls, stops or waits on a lock held elsewhere ends the call
// in seconds. The server is given the same bound (statement_timeout,
// lock_timeout) so it lets go of what this connection holds.

#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "production/LedgerStore.h"

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

const SqlDialect kPostgres{
    "to_char(now() AT TIME ZONE 'utc', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')",
    "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY",
    " FOR UPDATE",
    // Two programs creating the tables of a fresh database at once would
    // otherwise collide in the catalogue.
    "SELECT pg_advisory_xact_lock(7235100216)",
};

// The advisory lock of a station claim ($1 station, $2 port).
constexpr const char* kClaimKey = "hashtextextended(current_schema() || E'\\n' || $1 || E'\\n' || $2, 7235)";

// A ROLLBACK after a failed statement is given at least this long, even when
// the call's budget is spent: a live server answers it in milliseconds.
constexpr milliseconds kRollbackGrace{1000};

std::mutex deadlinesMutex;
std::optional<LedgerDeadlines> testDeadlines;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// "10 s", "1.5 s".
std::string Seconds(milliseconds d) {
  if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " s";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(d.count()) / 1000.0);
  return text;
}

// Asks the server to stop what this connection runs, without waiting for the
// answer: a stopped server would hold PQcancel for as long as it is stopped.
void CancelInBackground(PGconn* conn) {
  PGcancel* cancel = PQgetCancel(conn);
  if (!cancel) return;
  std::thread([cancel] {
    char error[256];
    PQcancel(cancel, error, sizeof error);
    PQfreeCancel(cancel);
  }).detach();
}

// The server stopped answering within the budget.
struct Expired {};

class PgStore final : public LedgerStore {
 public:
  PgStore(const std::string& uri, const LedgerDeadlines& deadlines)
      : location_(RedactLocation(uri)), secrets_(LocationSecrets(uri)), deadlines_(deadlines) {
    // Defaults the URI may override: notice a dead server mid-batch at the
    // TCP level too. Waiting itself is bounded here, not by libpq.
    const char* keys[] = {"keepalives_idle", "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                          "fallback_application_name", "dbname", nullptr};
    const std::string connection = PgConnectionText(uri);
    const char* values[] = {"10", "5", "3", "15000", "qel-writer", connection.c_str(), nullptr};
    const auto start = Steady::now();
    deadline_ = start + deadlines_.connect;
    conn_ = PQconnectStartParams(keys, values, 1);
    if (!conn_) throw LedgerError(LedgerError::Kind::CannotOpen, "Cannot reach ledger " + location_ + ": out of memory");
    // The server's notices ("relation already exists, skipping") are not for the technician.
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    try {
      if (PQstatus(conn_) == CONNECTION_BAD) throw LedgerError(LedgerError::Kind::CannotOpen, PQerrorMessage(conn_));
      Establish(PQconnectPoll);
    } catch (const Expired&) {
      PQfinish(conn_);
      throw LedgerError(LedgerError::Kind::CannotOpen,
                        "Cannot reach ledger " + location_ + ": it did not answer in " + Seconds(deadlines_.connect));
    } catch (const LedgerError& e) {
      const std::string reason = Reason(e.what());
      PQfinish(conn_);
      throw LedgerError(LedgerError::Kind::CannotOpen, "Cannot reach ledger " + location_ + ": " + reason);
    }
    // Opening and the first call (the schema check) share one budget.
    deadline_ = start + std::max(deadlines_.connect, deadlines_.call);
    try {
      Prepare();
    } catch (const LedgerError& e) {
      PQfinish(conn_);
      throw LedgerError(LedgerError::Kind::CannotOpen, e.what());
    }
    fresh_ = true;
  }
  ~PgStore() override { PQfinish(conn_); }

  const SqlDialect& Dialect() const override { return kPostgres; }
  std::string Location() const override { return location_; }

  void CallStarts() override {
    if (fresh_) {
      fresh_ = false;  // the opening's budget still runs
      return;
    }
    deadline_ = Steady::now() + deadlines_.call;
  }

  void Begin(Access access) override {
    const char* begin = access == Access::Read ? "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY" : "BEGIN";
    const bool unsynced = unsynced_;
    if (!lostClaim_.empty()) throw LedgerError(LedgerError::Kind::Refused, lostClaim_);
    if (!otherLedger_.empty()) throw LedgerError(LedgerError::Kind::Moved, otherLedger_);
    if (broken_) Reconnect();  // the caller heard of the loss
    try {
      Run(begin, {});
    } catch (const LedgerError& e) {
      // Nothing of this transaction was sent yet: after a server restart
      // between two passes, a new connection makes it as if nothing happened,
      // unless a lazy write may have gone down with the server.
      if (e.kind() != LedgerError::Kind::ConnectionLost || unsynced || !broken_ || Steady::now() >= deadline_) throw;
      Reconnect();
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
    if (broken_ || PQtransactionStatus(conn_) == PQTRANS_IDLE) return;
    deadline_ = std::max(deadline_, Steady::now() + kRollbackGrace);
    try {
      Run("ROLLBACK", {});
    } catch (...) {
      // The connection is marked for a reset already; the server drops the
      // transaction with it.
    }
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
  unsigned long long Connection() const override { return connection_; }
  void SetLedgerId(const std::string& id) override { ledgerId_ = id; }

  // A claim is a session advisory lock, which the server lets go with the
  // connection; a row says who holds it. The key is the ledger's schema,
  // station and port: ledgers in one database do not meet.
  bool LockStation(const std::string& station, const std::string& port) override {
    if (claims_.contains({station, port})) return false;
    if (broken_) Reconnect();
    if (!TryLock(station, port)) return false;
    claims_.insert({station, port});
    Run("INSERT INTO station_claims (station, port, pid, host, claimed) VALUES ($1, $2, $3, $4, " +
            std::string(kPostgres.now) +
            ") ON CONFLICT (station, port) DO UPDATE SET pid = EXCLUDED.pid, host = EXCLUDED.host,"
            " claimed = EXCLUDED.claimed",
        {station, port, std::to_string(getpid()), DefaultStationName()});
    return true;
  }
  void UnlockStation(const std::string& station, const std::string& port) noexcept override {
    if (!claims_.erase({station, port})) return;
    if (lostKey_ == std::make_pair(station, port)) lostClaim_.clear();
    if (broken_) return;  // the server let go of it with the connection
    try {
      Run("SELECT pg_advisory_unlock(" + std::string(kClaimKey) + ")", {station, port});
    } catch (...) {
      // Lost with the connection, and the lock with it.
    }
  }
  std::string StationHolder(const std::string& station, const std::string& port) override {
    const Result r = Run("SELECT pid, host FROM station_claims WHERE station = $1 AND port = $2", {station, port});
    if (PQntuples(r.get()) == 0) return {};
    return std::string("process ") + PQgetvalue(r.get(), 0, 0) + " on host " + PQgetvalue(r.get(), 0, 1);
  }

 private:
  // libpq's text, on one line, with any password of the URI hidden.
  std::string Reason(const char* text) const {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    for (auto& c : s)
      if (c == '\n') c = ' ';
    return ScrubSecrets(s, secrets_);
  }

  // Waits until the socket is ready for `events` or the call's deadline passes.
  short Wait(short events) {
    for (;;) {
      const auto left = std::chrono::ceil<milliseconds>(deadline_ - Steady::now());
      if (left.count() <= 0) throw Expired{};
      pollfd p{PQsocket(conn_), events, 0};
      if (p.fd < 0) return POLLERR;  // libpq reports what is wrong on its next call
      const int n = poll(&p, 1, static_cast<int>(left.count()));
      if (n > 0) return p.revents;
      if (n < 0 && errno != EINTR) return POLLERR;
    }
  }

  // Drives a connection attempt (PQconnectPoll or PQresetPoll) to its end.
  void Establish(PostgresPollingStatusType (*step)(PGconn*)) {
    for (PostgresPollingStatusType status = PGRES_POLLING_WRITING; status != PGRES_POLLING_OK;) {
      if (status == PGRES_POLLING_FAILED) throw LedgerError(LedgerError::Kind::ConnectionLost, PQerrorMessage(conn_));
      Wait(status == PGRES_POLLING_READING ? POLLIN : POLLOUT);
      status = step(conn_);
    }
  }

  // A new connection's settings: non-blocking, the server's own bounds, and
  // the station claims the lost connection held.
  void Prepare() {
    PQsetnonblocking(conn_, 1);
    broken_ = false;
    ++connection_;
    const std::string call = std::to_string(deadlines_.call.count());
    Run("SELECT set_config('statement_timeout', $1, false), set_config('lock_timeout', $1, false)", {call});
    if (!ledgerId_.empty()) {
      // A server restored from elsewhere, or another database behind the same name.
      const Result r = Run("SELECT value FROM ledger_meta WHERE key = 'ledger_id'", {});
      const std::string found = PQntuples(r.get()) == 1 ? PQgetvalue(r.get(), 0, 0) : "";
      if (found != ledgerId_) {
        otherLedger_ = "Ledger " + location_ + " is not the ledger this program opened (ledger id " + ledgerId_ +
                       ", " + (found.empty() ? std::string("none there now") : "now " + found) +
                       "): the batch stops";
        throw LedgerError(LedgerError::Kind::Moved, otherLedger_);
      }
    }
    for (const auto& [station, port] : claims_) {
      if (TryLock(station, port)) continue;
      const std::string holder = StationHolder(station, port);
      lostKey_ = {station, port};
      lostClaim_ = "Station " + station + " " + port + " was taken by " +
                   (holder.empty() ? "another program" : holder) +
                   " while the ledger was out of reach: this program stops using it";
      throw LedgerError(LedgerError::Kind::Refused, lostClaim_);
    }
  }

  bool TryLock(const std::string& station, const std::string& port) {
    const Result r = Run("SELECT pg_try_advisory_lock(" + std::string(kClaimKey) + ")", {station, port});
    return PQntuples(r.get()) == 1 && std::string(PQgetvalue(r.get(), 0, 0)) == "t";
  }

  // A new connection in place of a lost one, within the call's budget.
  void Reconnect() {
    try {
      if (!resetting_ && !PQresetStart(conn_))
        throw LedgerError(LedgerError::Kind::ConnectionLost, PQerrorMessage(conn_));
      resetting_ = true;
      Establish(PQresetPoll);
      resetting_ = false;
    } catch (const Expired&) {
      resetting_ = false;  // start afresh next time rather than finish a stalled attempt
      throw Silent();
    } catch (const LedgerError& e) {
      resetting_ = false;
      broken_ = true;
      throw LedgerError(LedgerError::Kind::ConnectionLost,
                        "Lost the connection to ledger " + location_ + ": " + Reason(e.what()));
    }
    Prepare();
  }

  // The call ran out of time: the server is told to stop, the connection is
  // given up (a new one is made by the next call) and the caller hears it.
  LedgerError Silent() {
    if (!broken_ && PQstatus(conn_) == CONNECTION_OK) CancelInBackground(conn_);
    broken_ = true;
    unsynced_ = false;  // the caller hears of it: the open pass will be found interrupted
    resetting_ = PQresetStart(conn_) == 1;
    return LedgerError(LedgerError::Kind::ConnectionLost,
                       "Ledger " + location_ + " did not answer in " + Seconds(deadlines_.call));
  }

  Result Run(const std::string& sql, const std::vector<SqlValue>& params) {
    if (broken_) throw LedgerError(LedgerError::Kind::ConnectionLost, "Lost the connection to ledger " + location_);
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    Result r;
    try {
      if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                             nullptr, 0))
        return Failure(nullptr);
      for (int flushed; (flushed = PQflush(conn_)) != 0;) {
        if (flushed < 0) return Failure(nullptr);
        if ((Wait(POLLOUT | POLLIN) & POLLIN) && !PQconsumeInput(conn_)) return Failure(nullptr);
      }
      // Every result of the statement; the first error wins.
      for (;;) {
        while (PQisBusy(conn_)) {
          Wait(POLLIN);
          if (!PQconsumeInput(conn_)) return Failure(nullptr);
        }
        Result next(PQgetResult(conn_));
        if (!next) break;
        if (!r || PQresultStatus(r.get()) == PGRES_COMMAND_OK || PQresultStatus(r.get()) == PGRES_TUPLES_OK)
          r = std::move(next);
      }
    } catch (const Expired&) {
      throw Silent();
    }
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
    return Failure(r.get());
  }

  [[noreturn]] Result Failure(const PGresult* r) {
    const std::string state =
        r && PQresultErrorField(r, PG_DIAG_SQLSTATE) ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : "";
    const std::string reason = Reason(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
    // 08: connection exceptions; 57P: the server shut down or restarted.
    if (!r || PQstatus(conn_) == CONNECTION_BAD || state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0) {
      broken_ = true;
      unsynced_ = false;  // the caller hears of it: the open pass will be found interrupted
      throw LedgerError(LedgerError::Kind::ConnectionLost, "Lost the connection to ledger " + location_ + ": " + reason);
    }
    // The server's own bound on a statement or a lock wait.
    if (state == "57014")
      throw LedgerError(LedgerError::Kind::ConnectionLost,
                        "Ledger " + location_ + " did not answer in " + Seconds(deadlines_.call) + ": " + reason);
    // Serialisation failure, deadlock, lock not available: the transaction may be tried again.
    if (state == "40001" || state == "40P01" || state == "55P03")
      throw LedgerError(LedgerError::Kind::Busy, "Ledger " + location_ + " is busy: " + reason);
    throw LedgerError(LedgerError::Kind::Failed, "Ledger " + location_ + ": " + reason);
  }

  std::string location_;
  std::vector<std::string> secrets_;
  LedgerDeadlines deadlines_;
  PGconn* conn_ = nullptr;
  Steady::time_point deadline_;
  bool fresh_ = false;      // opened, and its first call not yet begun
  bool broken_ = false;     // lost or given up: the next call connects again
  bool resetting_ = false;  // a new connection is on its way (PQresetStart done)
  unsigned long long connection_ = 0;
  bool write_ = false;
  bool lazy_ = false;
  bool unsynced_ = false;  // a lazy write is committed that no later write has put on the disk
  std::set<std::pair<std::string, std::string>> claims_;  // stations and ports held
  std::string lostClaim_;  // a claim another program took while this one was away
  std::pair<std::string, std::string> lostKey_;
  std::string ledgerId_;     // the ledger opened
  std::string otherLedger_;  // why the database reached since is not that ledger
};

}  // namespace

LedgerDeadlines CurrentLedgerDeadlines() {
  std::lock_guard lock(deadlinesMutex);
  return testDeadlines.value_or(LedgerDeadlines{});
}

void SetLedgerDeadlinesForTests(std::optional<LedgerDeadlines> deadlines) {
  std::lock_guard lock(deadlinesMutex);
  testDeadlines = deadlines;
}

std::unique_ptr<LedgerStore> OpenPgStore(const std::string& uri, const LedgerDeadlines& deadlines) {
  return std::make_unique<PgStore>(uri, deadlines);
}

std::unique_ptr<LedgerStore> OpenPgStore(const std::string& uri) {
  return OpenPgStore(uri, CurrentLedgerDeadlines());
}
