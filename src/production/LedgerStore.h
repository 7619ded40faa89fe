#pragma once
// The connection under a Ledger: run one statement, begin, commit, roll
// back. Everything the ledger decides is written once, in Ledger.cpp, over
// this; the two stores differ only here and in the few SQL fragments of
// SqlDialect.
//
// Statements use $1, $2 ... for parameters. Values travel as text (NULL as
// nullopt); the database converts them by the column they meet.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "production/Ledger.h"

using SqlValue = std::optional<std::string>;
using SqlRow = std::vector<SqlValue>;

struct SqlDialect {
  const char* now;          // the database's time as "YYYY-MM-DDTHH:MM:SS.mmmZ"
  const char* idColumn;     // an auto-numbered primary key
  const char* forUpdate;    // suffix that locks the rows a SELECT reads, or ""
  const char* schemaLock;   // a statement that serialises schema creation, or ""
};

enum class Access {
  Read,
  Write,  // on the disk before Commit returns
  // A write the next Write puts on the disk. Only for what a crash may lose
  // without harm: a pass found open later is interrupted whatever it held.
  // A PostgreSQL connection lost after one is reported, never quietly
  // renewed, since the server may have lost the write with it.
  WriteLazily,
};

class LedgerStore {
 public:
  virtual ~LedgerStore() = default;
  virtual const SqlDialect& Dialect() const = 0;
  // The location, password hidden.
  virtual std::string Location() const = 0;

  // A public Ledger call begins: a store with deadlines bounds everything up
  // to the next one (attempts, reconnects) by one budget.
  virtual void CallStarts() {}

  // A write takes SQLite's write lock at once (a reservation never fails
  // half way for a lock it could not get).
  virtual void Begin(Access access) = 0;
  virtual void Commit() = 0;
  // Never throws: called while another error is on its way out.
  virtual void Rollback() noexcept = 0;

  // One statement: the rows it returns.
  virtual std::vector<SqlRow> Query(const std::string& sql, const std::vector<SqlValue>& params) = 0;
  // One statement: the number of rows it changed.
  virtual long long Exec(const std::string& sql, const std::vector<SqlValue>& params) = 0;

  // Which connection the calls run on: it changes when the store connects
  // again after a loss, so a caller can tell that what it wrote earlier may
  // have gone with the old one.
  virtual unsigned long long Connection() const { return 1; }

  // Throws LedgerError Moved unless the ledger is still the one opened:
  // SQLite, the same file, still linked at its path; PostgreSQL, a database
  // with the ledger id given to SetLedgerId (checked at each reconnect).
  virtual void CheckIdentity() {}
  virtual void SetLedgerId(const std::string& /*id*/) {}

  // Station claims: one live program per station and port. A claim lasts
  // until UnlockStation or until the process ends, however it ends. False
  // when another holds it (this store too: a claim is not taken twice).
  virtual bool LockStation(const std::string& station, const std::string& port) = 0;
  virtual void UnlockStation(const std::string& station, const std::string& port) noexcept = 0;
  // Who holds a claim: "process 4242 on host vm"; "" when not known.
  virtual std::string StationHolder(const std::string& station, const std::string& port) = 0;

  // Failures are thrown as LedgerError; Kind::Busy means "try the whole
  // transaction again" (a lock held too long, a serialisation failure, a
  // deadlock).
};

// A PostgreSQL URI ("postgresql://..." or "postgres://...", the scheme in
// any case) or key-value connection string ("host=db dbname=ledger"): the
// rest are SQLite paths.
bool IsPgLocation(const std::string& location);
// The location as libpq takes it (the URI's scheme in lower case).
std::string PgConnectionText(const std::string& location);
// The passwords a PostgreSQL URI carries (as written and decoded), to be
// hidden from any text that might quote them.
std::vector<std::string> LocationSecrets(const std::string& location);
// `text` with every secret in it replaced by "***".
std::string ScrubSecrets(std::string text, const std::vector<std::string>& secrets);

std::unique_ptr<LedgerStore> OpenSqliteStore(const std::string& path);
std::unique_ptr<LedgerStore> OpenPgStore(const std::string& uri);
std::unique_ptr<LedgerStore> OpenPgStore(const std::string& uri, const LedgerDeadlines& deadlines);
