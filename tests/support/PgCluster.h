#pragma once
// The PostgreSQL cluster of the ledger tests and benchmarks. Under ctest it
// is the one the pg_cluster fixture started for the whole run (in
// WRITER_BINARY_DIR/pg-cluster); a program run by hand starts one of its own
// with the same script and removes it when it ends. Each test works in a
// schema of its own, so parallel runs never meet.

#include <libpq-fe.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <vector>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class PgCluster {
 public:
  static PgCluster& Instance() {
    static PgCluster cluster;
    return cluster;
  }

  // A ledger URI for a new, empty schema named after `name` (any text).
  std::string FreshUri(const std::string& name) {
    // Readable, and unique within PostgreSQL's 63 bytes of a name.
    std::string schema = "t";
    for (char c : name.substr(name.size() > 30 ? name.size() - 30 : 0))
      schema += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    schema += "_" + std::to_string(std::hash<std::string>{}(name) % 1000000007) + "_" + std::to_string(getpid());
    Admin("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
    Admin("CREATE SCHEMA " + schema);
    return Uri() + "&options=-csearch_path%3D" + schema;
  }

  // The test database, as its superuser.
  std::string Uri() const { return "postgresql:///ledger_tests?host=" + socketDir_ + "&user=postgres"; }

  // Runs one statement as the superuser; throws with the server's reason.
  void Admin(const std::string& sql) const {
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(Uri().c_str()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(conn.get()));
    PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn.get(), sql.c_str()), PQclear);
    const auto status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
      throw std::runtime_error(sql + ": " + PQresultErrorMessage(r.get()));
  }

 private:
  PgCluster() {
    const std::string shared = WRITER_BINARY_DIR "/pg-cluster";
    if (Reachable(shared)) {
      socketDir_ = std::filesystem::canonical(shared).string();
      return;
    }
    ownLink_ = WRITER_BINARY_DIR "/pg-cluster-" + std::to_string(getpid());
    if (std::system((Script() + " start " + ownLink_).c_str()) != 0)
      throw std::runtime_error("cannot start a PostgreSQL cluster with " + Script());
    socketDir_ = std::filesystem::canonical(ownLink_).string();
  }
  ~PgCluster() {
    if (!ownLink_.empty() && std::system((Script() + " stop " + ownLink_).c_str()) != 0) {
      // Nothing more to do at exit: the folder under /tmp is all that may remain.
    }
  }

  static std::string Script() { return WRITER_SOURCE_DIR "/tests/support/pg-cluster.sh"; }

  static bool Reachable(const std::string& link) {
    std::error_code ec;
    if (!std::filesystem::exists(link, ec)) return false;
    const std::string uri =
        "postgresql:///ledger_tests?host=" + std::filesystem::canonical(link, ec).string() + "&user=postgres";
    return !ec && PQping(uri.c_str()) == PQPING_OK;
  }

  std::string socketDir_;
  std::string ownLink_;  // set when this program started the cluster
};

// A throw-away cluster of a test's own, for what the shared one must not
// suffer: stopping it (SIGSTOP) or cutting it off. Removed with the object.
class PgOwnCluster {
 public:
  explicit PgOwnCluster(const std::string& link) : link_(link) {
    ok_ = std::system((Script() + " start " + link_ + " >/dev/null").c_str()) == 0;
    if (ok_) dir_ = std::filesystem::canonical(link_).string();
  }
  ~PgOwnCluster() {
    Continue();
    [[maybe_unused]] const int status = std::system((Script() + " stop " + link_).c_str());
  }
  PgOwnCluster(const PgOwnCluster&) = delete;
  PgOwnCluster& operator=(const PgOwnCluster&) = delete;

  bool Ok() const { return ok_; }
  std::string Uri() const { return "postgresql:///ledger_tests?host=" + dir_ + "&user=postgres"; }

  // The server's main process and every process it started.
  std::vector<pid_t> Processes() const {
    std::vector<pid_t> pids;
    std::ifstream pidFile(dir_ + "/data/postmaster.pid");
    pid_t main = 0;
    if (!(pidFile >> main) || main <= 0) return pids;
    pids.push_back(main);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::ifstream stat(entry.path() / "stat");
      std::string line;
      if (!std::getline(stat, line)) continue;
      // pid (comm) state ppid ...: comm may hold spaces, so read after the last ')'.
      const std::size_t close = line.rfind(')');
      if (close == std::string::npos) continue;
      char state = 0;
      long parent = 0;
      if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 && parent == main)
        pids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return pids;
  }
  // Freezes the whole server: it accepts connections (the kernel does) and
  // answers nothing, as a hung machine would.
  void Stop() {
    for (const pid_t pid : Processes())
      if (kill(pid, SIGSTOP) == 0) stopped_.push_back(pid);
  }
  void Stop(pid_t pid) {
    if (kill(pid, SIGSTOP) == 0) stopped_.push_back(pid);
  }
  void Continue() {
    for (const pid_t pid : stopped_) kill(pid, SIGCONT);
    stopped_.clear();
  }

 private:
  static std::string Script() { return WRITER_SOURCE_DIR "/tests/support/pg-cluster.sh"; }
  std::string link_;
  std::string dir_;
  bool ok_ = false;
  std::vector<pid_t> stopped_;
};
