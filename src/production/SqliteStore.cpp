// The ledger in one SQLite file, shared safely by the processes of one
// machine: WAL journal, every commit on the disk before it returns
// (synchronous=FULL), and writers that queue for the lock instead of failing.

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <unordered_map>

#include "link/Clock.h"
#include "production/LedgerStore.h"

namespace {

// How long one statement waits for another process's write lock. Writers
// hold it for milliseconds; past this the transaction is tried again.
constexpr int kBusyTimeoutMs = 2000;

const SqlDialect kSqlite{
    "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')",
    "INTEGER PRIMARY KEY AUTOINCREMENT",
    "",
    "",
};

// Another connection holds the lock: worth waiting for.
bool IsBusy(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// "$1" -> "?1": SQLite numbers its parameters that way.
std::string NumberedParameters(const std::string& sql) {
  std::string out = sql;
  for (std::size_t i = 0; i + 1 < out.size(); ++i)
    if (out[i] == '$' && std::isdigit(static_cast<unsigned char>(out[i + 1]))) out[i] = '?';
  return out;
}

// A name as one part of a file name: letters, digits, '.' and '_' as they
// are, every other byte (the '-' between station and port, '/', a leading
// '.') as %XX, so two names never make one file and none leaves the folder.
std::string FileNamePart(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto u = static_cast<unsigned char>(name[i]);
    if (std::isalnum(u) || name[i] == '_' || (name[i] == '.' && i > 0)) {
      out += name[i];
    } else {
      out += '%';
      out += hex[u >> 4];
      out += hex[u & 15];
    }
  }
  return out;
}

class SqliteStore final : public LedgerStore {
 public:
  explicit SqliteStore(const std::string& path) : path_(path), shown_(RedactLocation(path)) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      throw LedgerError(LedgerError::Kind::CannotOpen, "Cannot open ledger " + shown_ + ": " + reason);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }

  // WAL lets readers work beside the one writer; FULL puts every commit on
  // the disk before a part is programmed with its number. Stations that open
  // a new ledger together race to switch it to WAL; the losers are turned
  // away at once, past the busy handler, so they wait and try again here.
  void Configure() {
    std::minstd_rand jitter{std::random_device{}()};
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
      int rc = sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr);
      for (int waited = 0; IsBusy(rc) && waited < kBusyTimeoutMs;) {
        const int pause = 2 + static_cast<int>(jitter() % 8);
        SystemClock::Instance().Sleep(std::chrono::milliseconds(pause));
        waited += pause;
        rc = sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr);
      }
      if (rc != SQLITE_OK)
        throw LedgerError(LedgerError::Kind::CannotOpen, "Cannot open ledger " + shown_ + ": " + sqlite3_errmsg(db_));
    }
    // The file as opened, to know it again (the pragmas made sure it exists).
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0) {
      device_ = st.st_dev;
      inode_ = st.st_ino;
    }
  }
  ~SqliteStore() override {
    for (const auto& [key, fd] : claims_) close(fd);
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
  }

  const SqlDialect& Dialect() const override { return kSqlite; }
  std::string Location() const override { return shown_; }

  void Begin(Access access) override {
    // Lost only with the machine, and the process with it.
    lazy_ = access == Access::WriteLazily;
    if (lazy_) sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    Run(access == Access::Read ? "BEGIN" : "BEGIN IMMEDIATE", {}, nullptr);
  }
  void Commit() override {
    Run("COMMIT", {}, nullptr);
    EndLazy();
  }
  void Rollback() noexcept override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    EndLazy();
  }

  // The path still names the file opened, and that file is still linked. A
  // deleted ledger is written back to its path from this connection first,
  // unless something else is there by now.
  void CheckIdentity() override {
    struct stat st {};
    const bool there = stat(path_.c_str(), &st) == 0;
    if (there && st.st_dev == device_ && st.st_ino == inode_) return;
    const auto [linked, name] = OpenedFile();
    const std::string found = there ? "another file is there now" : "nothing is there now";
    // What the journal holds goes into the file where it is now: SQLite
    // leaves the journal of a moved file unread when the connection closes.
    if (linked > 0) {
      sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
      Gone("The ledger file " + shown_ + " was moved" + (name.empty() ? "" : " to " + name) + " and " + found +
           ": the batch stops; open the ledger where it is");
    }
    if (there) Gone("The ledger file " + shown_ + " was deleted and another file put in its place: the batch stops");
    const std::string why = WriteBack();
    if (!why.empty())
      Gone("The ledger file " + shown_ + " was deleted and could not be written back (" + why + "): the batch stops");
    Gone("The ledger file " + shown_ + " was deleted; it has been written back from this station's connection: the batch stops");
  }

  // A claim is a lock on a file beside the ledger, which the system lets go
  // when the process ends; the file says who holds it.
  bool LockStation(const std::string& station, const std::string& port) override {
    if (claims_.contains({station, port})) return false;
    const std::string folder = path_ + ".stations";
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) ClaimFailed();
    const std::string file = ClaimFile(station, port);
    const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) ClaimFailed();
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      if (error == EWOULDBLOCK) return false;
      errno = error;
      ClaimFailed();
    }
    const std::string holder = std::to_string(getpid()) + " " + DefaultStationName() + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, holder.data(), holder.size(), 0) != static_cast<ssize_t>(holder.size())) {
      close(fd);
      ClaimFailed();
    }
    claims_[{station, port}] = fd;
    return true;
  }
  void UnlockStation(const std::string& station, const std::string& port) noexcept override {
    const auto found = claims_.find({station, port});
    if (found == claims_.end()) return;
    close(found->second);  // lets go of the lock; the file stays for the next holder
    claims_.erase(found);
  }
  std::string StationHolder(const std::string& station, const std::string& port) override {
    const int fd = open(ClaimFile(station, port).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char text[300] = {};
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    long long pid = 0;
    char host[256] = {};
    if (n <= 0 || std::sscanf(text, "%lld %255s", &pid, host) != 2) return {};
    return "process " + std::to_string(pid) + " on host " + host;
  }

  std::vector<SqlRow> Query(const std::string& sql, const std::vector<SqlValue>& params) override {
    std::vector<SqlRow> rows;
    Run(sql, params, &rows);
    return rows;
  }
  long long Exec(const std::string& sql, const std::vector<SqlValue>& params) override {
    Run(sql, params, nullptr);
    return sqlite3_changes(db_);
  }

 private:
  [[noreturn]] static void Gone(const std::string& message) { throw LedgerError(LedgerError::Kind::Moved, message); }

  // The links left to the file this connection opened and its name now
  // ("" when it has none), found among the process's open files.
  std::pair<nlink_t, std::string> OpenedFile() const {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
      struct stat st {};
      if (stat(entry.path().c_str(), &st) != 0 || st.st_dev != device_ || st.st_ino != inode_) continue;
      std::string name = fs::read_symlink(entry.path(), ec).string();
      if (ec || st.st_nlink == 0) name.clear();
      return {st.st_nlink, name};
    }
    return {1, {}};  // not found: say moved, never write anything
  }

  // Writes what this connection sees of the ledger to its path: the WAL
  // folded in and emptied first (a stale one beside the new file would be
  // read with it), then SQLite's online backup into a file beside the path,
  // linked to the path only if nothing has taken it meanwhile. Empty when
  // done, else why not.
  std::string WriteBack() {
    if (sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) != SQLITE_OK)
      return sqlite3_errmsg(db_);
    const std::string temporary = path_ + ".written-back-" + std::to_string(getpid());
    std::remove(temporary.c_str());
    sqlite3* copy = nullptr;
    std::string why;
    if (sqlite3_open_v2(temporary.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
      why = copy ? sqlite3_errmsg(copy) : "out of memory";
    } else if (sqlite3_backup* backup = sqlite3_backup_init(copy, "main", db_, "main")) {
      const int rc = sqlite3_backup_step(backup, -1);
      sqlite3_backup_finish(backup);
      if (rc != SQLITE_DONE) why = sqlite3_errstr(rc);
    } else {
      why = sqlite3_errmsg(copy);
    }
    sqlite3_close(copy);
    if (why.empty() && link(temporary.c_str(), path_.c_str()) != 0) why = std::strerror(errno);
    std::remove(temporary.c_str());
    std::remove((temporary + "-journal").c_str());
    return why;
  }

  std::string ClaimFile(const std::string& station, const std::string& port) const {
    return path_ + ".stations/" + FileNamePart(station) + "-" + FileNamePart(port) + ".lock";
  }
  [[noreturn]] void ClaimFailed() const {
    throw LedgerError(LedgerError::Kind::Failed,
                      "Ledger " + shown_ + ": cannot claim the station in " + shown_ + ".stations: " + std::strerror(errno));
  }

  void EndLazy() noexcept {
    if (lazy_) sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    lazy_ = false;
  }

  [[noreturn]] void Fail(int rc) const {
    const std::string reason = sqlite3_errmsg(db_);
    if (IsBusy(rc))
      throw LedgerError(LedgerError::Kind::Busy, "Ledger " + shown_ + " is busy: " + reason);
    throw LedgerError(LedgerError::Kind::Failed, "Ledger " + shown_ + ": " + reason);
  }

  sqlite3_stmt* Prepared(const std::string& sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return found->second;
    sqlite3_stmt* stmt = nullptr;
    const std::string text = NumberedParameters(sql);
    const int rc = sqlite3_prepare_v2(db_, text.c_str(), static_cast<int>(text.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
    return statements_.emplace(sql, stmt).first->second;
  }

  void Run(const std::string& sql, const std::vector<SqlValue>& params, std::vector<SqlRow>* rows) {
    sqlite3_stmt* stmt = Prepared(sql);
    struct Reset {
      sqlite3_stmt* s;
      ~Reset() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
      }
    } reset{stmt};
    for (std::size_t i = 0; i < params.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      const int rc = params[i] ? sqlite3_bind_text(stmt, at, params[i]->data(), static_cast<int>(params[i]->size()),
                                                   SQLITE_TRANSIENT)
                               : sqlite3_bind_null(stmt, at);
      if (rc != SQLITE_OK) Fail(rc);
    }
    for (;;) {
      const int rc = sqlite3_step(stmt);
      if (rc == SQLITE_DONE) return;
      if (rc != SQLITE_ROW) Fail(rc);
      if (!rows) continue;
      SqlRow row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        row.push_back(text ? SqlValue(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c))))
                           : SqlValue());
      }
      rows->push_back(std::move(row));
    }
  }

  std::string path_;
  std::string shown_;  // the path as messages show it
  sqlite3* db_ = nullptr;
  bool lazy_ = false;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
  std::map<std::pair<std::string, std::string>, int> claims_;  // station and port -> the locked file
  dev_t device_ = 0;  // the file opened
  ino_t inode_ = 0;
};

}  // namespace

std::unique_ptr<LedgerStore> OpenSqliteStore(const std::string& path) {
  auto store = std::make_unique<SqliteStore>(path);
  store->Configure();
  return store;
}
