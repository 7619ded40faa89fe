#pragma once
// The two ledger stores as the tests meet them: a fresh, empty ledger of
// either kind for each test (a SQLite file in a folder of its own, or a
// PostgreSQL schema of its own on the shared test cluster).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "production/Ledger.h"
#include "production/LedgerStore.h"
#include "support/PgCluster.h"

enum class Store { Sqlite, Postgres };

inline std::string StoreName(const testing::TestParamInfo<Store>& info) {
  return info.param == Store::Sqlite ? "Sqlite" : "Postgres";
}

class LedgerPlace {
 public:
  LedgerPlace(Store store, const std::string& name) {
    if (store == Store::Postgres) {
      location_ = PgCluster::Instance().FreshUri(name);
      return;
    }
    char dir[] = "/tmp/qel-ledger.XXXXXX";
    if (!mkdtemp(dir)) throw std::runtime_error("mkdtemp");
    dir_ = dir;
    location_ = dir_ + "/ledger.sqlite";
  }
  // The current test's name makes the place.
  explicit LedgerPlace(Store store)
      : LedgerPlace(store, std::string(testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) +
                               "_" + testing::UnitTest::GetInstance()->current_test_info()->name()) {}
  ~LedgerPlace() {
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  LedgerPlace(const LedgerPlace&) = delete;
  LedgerPlace& operator=(const LedgerPlace&) = delete;

  const std::string& Location() const { return location_; }
  std::unique_ptr<Ledger> Open() const { return OpenLedger(location_); }
  // A statement straight into the store, for states the ledger never makes itself.
  void Sql(const std::string& sql) const {
    auto store = IsPgLocation(location_) ? OpenPgStore(location_) : OpenSqliteStore(location_);
    store->Exec(sql, {});
  }
  // The rows of a query straight from the store.
  std::vector<SqlRow> Rows(const std::string& sql) const {
    auto store = IsPgLocation(location_) ? OpenPgStore(location_) : OpenSqliteStore(location_);
    return store->Query(sql, {});
  }

 private:
  std::string dir_;
  std::string location_;
};

// A sequential job of `bytes` bytes from `start`, increment `step`.
inline JobSpec SerialJob(const std::string& name, const std::string& start, int bytes = 2, int step = 1,
                         std::optional<LedgerPolicy> policy = {}) {
  JobSpec spec;
  spec.name = name;
  spec.serial.bytes = bytes;
  spec.serial.increment = step;
  spec.serial.start = start;
  spec.policy = policy;
  return spec;
}

inline JobSpec QtpJob(const std::string& name, const std::string& file) {
  JobSpec spec;
  spec.name = name;
  spec.kind = JobKind::Qtp;
  spec.qtpFile = file;
  return spec;
}

// The LedgerError that `action` throws, or a failure.
template <class Action>
LedgerError ErrorOf(Action&& action) {
  try {
    action();
  } catch (const LedgerError& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return LedgerError(LedgerError::Kind::Failed, "");
}

inline PassStart PassOn(const std::string& job, const std::string& station = "bench1", const std::string& port = "Com1") {
  PassStart p;
  p.job = job;
  p.station = station;
  p.port = port;
  p.device = "K7E1/E3";
  p.image = "/images/" + job + ".hex";
  p.checksum = "3A7C";
  p.passCount = 7;
  return p;
}

inline void PrintTo(Store store, std::ostream* os) { *os << (store == Store::Sqlite ? "Sqlite" : "Postgres"); }
