#pragma once
// A ledger store that fails on demand, wrapped around a real one, so the
// ledger's failure paths run in milliseconds: a call that fails, a database
// busy for a while, a connection lost for good or once, a server that stalls
// past the deadline (on an injected clock).
//
//   auto faults = std::make_shared<FaultPlan>();
//   auto ledger = FaultyLedger(location, faults);
//   faults->Add({Fault::Lose, "stream_started"});   // the stream mark's UPDATE
//
// Every call of the store counts: Begin (its text is "BEGIN"), Commit
// ("COMMIT") and each statement (its SQL). A fault fires on the calls whose
// text holds its word (any call when the word is empty), after letting
// `skip` of them through, `times` times (-1: for ever).

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/Clock.h"
#include "production/Ledger.h"
#include "production/LedgerStore.h"

struct Fault {
  enum What {
    Fail,   // LedgerError of `kind`
    Busy,   // LedgerError Busy: the ledger tries the transaction again
    Lose,   // LedgerError ConnectionLost; the store then counts as reconnected
    Stall,  // the clock moves on by `stall`, then ConnectionLost as the deadline would
  };
  What what = Fail;
  std::string when;  // a word of the call's text; empty: any call
  int skip = 0;      // matching calls let through first
  int times = 1;     // -1: for ever
  // The call reaches the database and only its answer is lost: a commit
  // that happened although the caller heard an error.
  bool after = false;
  LedgerError::Kind kind = LedgerError::Kind::Failed;
  std::chrono::milliseconds stall{10000};
};

class FaultPlan {
 public:
  explicit FaultPlan(Clock* clock = nullptr) : clock_(clock) {}
  void Add(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
  }
  // The texts of the calls so far.
  std::vector<std::string> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // How many faults fired.
  int Fired() const {
    std::lock_guard lock(mutex_);
    return fired_;
  }

  // The fault for this call, if one fires.
  std::optional<Fault> Next(const std::string& text) {
    std::lock_guard lock(mutex_);
    calls_.push_back(text);
    for (auto& f : faults_) {
      if (f.times == 0 || (!f.when.empty() && text.find(f.when) == std::string::npos)) continue;
      if (f.skip > 0) {
        --f.skip;
        continue;
      }
      if (f.times > 0) --f.times;
      ++fired_;
      return f;
    }
    return std::nullopt;
  }
  Clock* clock() const { return clock_; }

 private:
  Clock* clock_;
  mutable std::mutex mutex_;
  std::vector<Fault> faults_;
  std::vector<std::string> calls_;
  int fired_ = 0;
};

class FaultyStore final : public LedgerStore {
 public:
  FaultyStore(std::unique_ptr<LedgerStore> inner, std::shared_ptr<FaultPlan> plan)
      : inner_(std::move(inner)), plan_(std::move(plan)) {}

  const SqlDialect& Dialect() const override { return inner_->Dialect(); }
  std::string Location() const override { return inner_->Location(); }
  void CallStarts() override { inner_->CallStarts(); }
  unsigned long long Connection() const override { return inner_->Connection() + reconnects_; }

  void CheckIdentity() override { inner_->CheckIdentity(); }
  void SetLedgerId(const std::string& id) override { inner_->SetLedgerId(id); }
  bool LockStation(const std::string& station, const std::string& port) override {
    return inner_->LockStation(station, port);
  }
  void UnlockStation(const std::string& station, const std::string& port) noexcept override {
    inner_->UnlockStation(station, port);
  }
  std::string StationHolder(const std::string& station, const std::string& port) override {
    return inner_->StationHolder(station, port);
  }

  void Begin(Access access) override {
    Call("BEGIN", [&] { inner_->Begin(access); });
  }
  void Commit() override {
    Call("COMMIT", [&] { inner_->Commit(); });
  }
  void Rollback() noexcept override { inner_->Rollback(); }
  std::vector<SqlRow> Query(const std::string& sql, const std::vector<SqlValue>& params) override {
    std::vector<SqlRow> rows;
    Call(sql, [&] { rows = inner_->Query(sql, params); });
    return rows;
  }
  long long Exec(const std::string& sql, const std::vector<SqlValue>& params) override {
    long long n = 0;
    Call(sql, [&] { n = inner_->Exec(sql, params); });
    return n;
  }

 private:
  template <class Body>
  void Call(const std::string& text, Body&& body) {
    const auto fault = plan_->Next(text);
    if (!fault) return body();
    if (fault->after) body();
    const std::string where = "ledger " + inner_->Location();
    switch (fault->what) {
      case Fault::Fail: throw LedgerError(fault->kind, "Ledger " + inner_->Location() + ": failed on demand");
      case Fault::Busy: throw LedgerError(LedgerError::Kind::Busy, "Ledger " + inner_->Location() + " is busy");
      case Fault::Lose:
        ++reconnects_;  // what the transaction held is gone; the next call runs on a new connection
        throw LedgerError(LedgerError::Kind::ConnectionLost, "Lost the connection to " + where);
      case Fault::Stall:
        if (plan_->clock()) plan_->clock()->Sleep(fault->stall);
        ++reconnects_;
        throw LedgerError(LedgerError::Kind::ConnectionLost,
                          "Ledger " + inner_->Location() + " did not answer in " +
                              std::to_string(fault->stall.count() / 1000) + " s");
    }
  }

  std::unique_ptr<LedgerStore> inner_;
  std::shared_ptr<FaultPlan> plan_;
  unsigned long long reconnects_ = 0;
};

// A ledger at `location` (a path or a PostgreSQL URI) whose store fails as `plan` says.
inline std::unique_ptr<Ledger> FaultyLedger(const std::string& location, std::shared_ptr<FaultPlan> plan) {
  auto store = IsPgLocation(location) ? OpenPgStore(location) : OpenSqliteStore(location);
  return std::make_unique<Ledger>(std::make_unique<FaultyStore>(std::move(store), std::move(plan)));
}

// While it lives, OpenLedger gives ledgers whose stores fail as `plan` says.
class FaultyLedgerOpener {
 public:
  explicit FaultyLedgerOpener(std::shared_ptr<FaultPlan> plan) {
    SetLedgerOpenerForTests([plan](const std::string& location) {
      return FaultyLedger(location.empty() ? DefaultLedgerLocation() : location, plan);
    });
  }
  ~FaultyLedgerOpener() { SetLedgerOpenerForTests(nullptr); }
  FaultyLedgerOpener(const FaultyLedgerOpener&) = delete;
  FaultyLedgerOpener& operator=(const FaultyLedgerOpener&) = delete;
};
