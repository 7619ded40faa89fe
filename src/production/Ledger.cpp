// What the ledger decides, written once for both stores: which number a pass
// gets, when a number is used up or released, what an interrupted pass is.
//
// Numbers live in `serials`, one row per number a job ever handed out, keyed
// (job, serial): held by an open pass, used up, or free again (released by a
// pass that failed before its stream). The key is what keeps two parts from
// ever carrying one number. A reservation reads and advances its job under
// the job's row lock (PostgreSQL) or the database's write lock (SQLite), so
// stations drawing at once form one sequence without gaps.

#include "production/Ledger.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <tuple>
#include <type_traits>

#include "link/Clock.h"
#include "production/LedgerStore.h"

namespace {

// Version 1 is SchemaStatements; each later one is a step of Migrations.
constexpr int kSchemaVersion = 3;
// Attempts of a transaction the database turned away as busy or in conflict.
constexpr int kAttempts = 8;

std::vector<std::string> SchemaStatements(const SqlDialect& d) {
  return {
      "CREATE TABLE IF NOT EXISTS jobs ("
      " name TEXT PRIMARY KEY,"
      " kind TEXT NOT NULL CHECK (kind IN ('serial', 'qtp')),"
      " random INTEGER NOT NULL, address INTEGER NOT NULL, bytes INTEGER NOT NULL,"
      " increment INTEGER NOT NULL, lsb_first INTEGER NOT NULL,"
      " first_serial TEXT NOT NULL, next_serial TEXT NOT NULL,"
      " qtp_file TEXT NOT NULL, next_record BIGINT NOT NULL,"
      " used_up INTEGER NOT NULL,"
      " policy TEXT NOT NULL CHECK (policy IN ('reuse-failed', 'strict')),"
      " created TEXT NOT NULL)",
      std::string("CREATE TABLE IF NOT EXISTS passes (id ") + d.idColumn +
          ", job TEXT NOT NULL, station TEXT NOT NULL, port TEXT NOT NULL,"
          " device TEXT NOT NULL, image TEXT NOT NULL, checksum TEXT NOT NULL,"
          " serial TEXT, qtp_record BIGINT, pass_count BIGINT NOT NULL,"
          " started TEXT NOT NULL, stream_started TEXT, ended TEXT,"
          " result TEXT NOT NULL CHECK (result IN ('open', 'ok', 'failed', 'simulated', 'interrupted')),"
          " stage TEXT NOT NULL, message TEXT NOT NULL)",
      "CREATE INDEX IF NOT EXISTS passes_by_job ON passes (job, started)",
      "CREATE INDEX IF NOT EXISTS passes_by_start ON passes (started)",
      "CREATE INDEX IF NOT EXISTS passes_by_result ON passes (result, station, port)",
      "CREATE TABLE IF NOT EXISTS serials ("
      " job TEXT NOT NULL REFERENCES jobs (name),"
      " serial TEXT NOT NULL,"
      " state TEXT NOT NULL CHECK (state IN ('held', 'used', 'free')),"
      " pass BIGINT NOT NULL,"  // the pass that holds, used up or released it
      " released TEXT,"
      " PRIMARY KEY (job, serial))",
      "CREATE INDEX IF NOT EXISTS serials_free ON serials (job, released, serial) WHERE state = 'free'",
  };
}

// What takes a ledger from version n + 1 to n + 2, in order. Steps only
// add, so an older program's rows stay as they were written.
std::vector<std::vector<std::string>> Migrations(const SqlDialect& d) {
  return {
      // 2: who holds a station's port (pid and host), for the message of a refused claim.
      {"CREATE TABLE IF NOT EXISTS station_claims (station TEXT NOT NULL, port TEXT NOT NULL,"
       " pid BIGINT NOT NULL, host TEXT NOT NULL, claimed TEXT NOT NULL, PRIMARY KEY (station, port))"},
      // 3: the image a job was made with (file name, data checksum, since
      // when), and the job's events, such as a move to a new image. Jobs
      // of older programs pin no image.
      {"ALTER TABLE jobs ADD COLUMN image_name TEXT NOT NULL DEFAULT ''",
       "ALTER TABLE jobs ADD COLUMN image_checksum TEXT NOT NULL DEFAULT ''",
       "ALTER TABLE jobs ADD COLUMN image_since TEXT NOT NULL DEFAULT ''",
       std::string("CREATE TABLE IF NOT EXISTS job_events (id ") + d.idColumn +
           ", job TEXT NOT NULL, happened TEXT NOT NULL, event TEXT NOT NULL, detail TEXT NOT NULL)"},
  };
}

const char* kJobColumns =
    "name, kind, random, address, bytes, increment, lsb_first, first_serial, next_serial, qtp_file, next_record,"
    " used_up, policy, created, image_name, image_checksum, image_since";
const char* kPassColumns =
    "id, started, stream_started, ended, job, station, port, device, image, checksum, serial, qtp_record, pass_count,"
    " result, stage, message";

std::string Text(const SqlValue& v) { return v.value_or(std::string()); }
long long Number(const SqlValue& v) { return v && !v->empty() ? std::stoll(*v) : 0; }
SqlValue Param(long long n) { return std::to_string(n); }
SqlValue Flag(bool b) { return std::string(b ? "1" : "0"); }
SqlValue NullIfEmpty(const std::string& s) { return s.empty() ? SqlValue() : SqlValue(s); }

Job JobFromRow(const SqlRow& r) {
  Job j;
  j.name = Text(r[0]);
  j.kind = Text(r[1]) == "qtp" ? JobKind::Qtp : JobKind::Serial;
  j.serial.random = Number(r[2]) != 0;
  j.serial.address = static_cast<int>(Number(r[3]));
  j.serial.bytes = static_cast<int>(Number(r[4]));
  j.serial.increment = static_cast<int>(Number(r[5]));
  j.serial.lsbFirst = Number(r[6]) != 0;
  j.serial.start = Text(r[7]);
  j.next = Text(r[8]);
  j.qtpFile = Text(r[9]);
  j.nextRecord = Number(r[10]);
  j.usedUp = Number(r[11]) != 0;
  j.policy = ParsePolicy(Text(r[12])).value_or(LedgerPolicy::ReuseFailed);
  j.created = Text(r[13]);
  j.imageName = Text(r[14]);
  j.imageChecksum = Text(r[15]);
  j.imageSince = Text(r[16]);
  return j;
}

LedgerRecord PassFromRow(const SqlRow& r) {
  LedgerRecord p;
  p.id = Number(r[0]);
  p.started = Text(r[1]);
  p.streamStarted = Text(r[2]);
  p.ended = Text(r[3]);
  p.job = Text(r[4]);
  p.station = Text(r[5]);
  p.port = Text(r[6]);
  p.device = Text(r[7]);
  p.image = Text(r[8]);
  p.checksum = Text(r[9]);
  p.serial = Text(r[10]);
  p.qtpRecord = Number(r[11]);
  p.passCount = Number(r[12]);
  p.result = Text(r[13]);
  p.stage = Text(r[14]);
  p.message = Text(r[15]);
  return p;
}

std::vector<LedgerRecord> Passes(const std::vector<SqlRow>& rows) {
  std::vector<LedgerRecord> passes;
  for (const auto& r : rows) passes.push_back(PassFromRow(r));
  return passes;
}

std::optional<Job> SelectJob(LedgerStore& db, const std::string& name, bool lock) {
  const auto rows = db.Query(std::string("SELECT ") + kJobColumns + " FROM jobs WHERE name = $1" +
                                 (lock ? db.Dialect().forUpdate : ""),
                             {name});
  if (rows.empty()) return std::nullopt;
  return JobFromRow(rows[0]);
}

std::string Hex4(int value) {
  static const char* digits = "0123456789ABCDEF";
  std::string s(4, '0');
  for (int i = 3; i >= 0; --i, value >>= 4) s[static_cast<std::size_t>(i)] = digits[value & 0xF];
  return s;
}

std::string Upper(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// "Job example uses increment 1, not 2", every difference; empty when none.
std::string Differences(const Job& job, const JobSpec& spec) {
  std::vector<std::string> found;
  const auto differ = [&](const std::string& what, const std::string& stored, const std::string& asked,
                          const std::string& unit = "") {
    if (stored != asked) found.push_back(what + stored + unit + ", not " + asked + unit);
  };
  const auto kind = [](JobKind k) { return k == JobKind::Qtp ? "a QTP file" : "serial numbers"; };
  const auto order = [](bool random) { return random ? "pseudo-random numbers" : "sequential numbers"; };
  const auto first = [](bool lsb) { return lsb ? "LSB first" : "MSB first"; };
  const SerialNumberSettings& a = job.serial;
  const SerialNumberSettings& b = spec.serial;
  if (job.kind != spec.kind) {
    differ("", kind(job.kind), kind(spec.kind));
  } else if (job.kind == JobKind::Qtp) {
    differ("QTP file ", job.qtpFile, spec.qtpFile);
  } else {
    differ("", order(a.random), order(b.random));
    differ("start address ", Hex4(a.address), Hex4(b.address), "h");
    differ("", std::to_string(a.bytes), std::to_string(b.bytes), " bytes");
    differ("increment ", std::to_string(a.increment), std::to_string(b.increment));
    differ("", first(a.lsbFirst), first(b.lsbFirst));
  }
  if (spec.policy) differ("policy ", PolicyName(job.policy), PolicyName(*spec.policy));
  std::string text;
  for (const auto& f : found) text += (text.empty() ? "Job " + job.name + " uses " : "; ") + f;
  // The image it was made with; no check where either side has no checksum
  // (jobs of older programs, passes without an image).
  if (!job.imageChecksum.empty() && !spec.imageChecksum.empty() &&
      Upper(job.imageChecksum) != Upper(spec.imageChecksum))
    text = "Job " + job.name + " was made with " + job.imageName + ", checksum " + job.imageChecksum + ", not " +
           spec.imageName + ", checksum " + spec.imageChecksum + (text.empty() ? "" : "; " + text);
  return text;
}

std::string NewJobText(const Job& job) {
  return "New job " + job.name + ": " +
         (job.kind == JobKind::Qtp ? "QTP file " + job.qtpFile : "serial numbers from " + job.serial.start);
}

ReserveResult Refusal(ReserveResult::Outcome outcome, std::string message) {
  ReserveResult r;
  r.outcome = outcome;
  r.message = std::move(message);
  return r;
}

ReserveResult UsedUp(LedgerStore& db, const Job& job) {
  // A sequence stays used up; a QTP file may yet grow by more records.
  if (job.kind == JobKind::Serial) db.Exec("UPDATE jobs SET used_up = 1 WHERE name = $1", {job.name});
  return Refusal(ReserveResult::Outcome::UsedUp,
                 "Job " + job.name + " is used up: " +
                     (job.kind == JobKind::Qtp ? "its QTP file has no record left" : "no serial number is left"));
}

Reservation InsertPass(LedgerStore& db, const PassStart& pass, const std::string& serial, long long record) {
  const auto rows = db.Query(
      "INSERT INTO passes (job, station, port, device, image, checksum, serial, qtp_record, pass_count, started,"
      " result, stage, message) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, " +
          std::string(db.Dialect().now) + ", 'open', '', '') RETURNING id, started",
      {pass.job, pass.station, pass.port, pass.device, pass.image, pass.checksum, NullIfEmpty(serial),
       record > 0 ? Param(record) : SqlValue(), Param(pass.passCount)});
  Reservation r;
  r.id = Number(rows.at(0)[0]);
  r.started = Text(rows.at(0)[1]);
  r.serial = serial;
  r.qtpRecord = record;
  return r;
}

// The state of a number in its job: "held", "used", "free", or "" when never handed out.
std::string SerialState(LedgerStore& db, const std::string& job, const std::string& serial) {
  const auto rows = db.Query("SELECT state FROM serials WHERE job = $1 AND serial = $2", {job, serial});
  return rows.empty() ? std::string() : Text(rows[0][0]);
}

void HoldSerial(LedgerStore& db, const std::string& job, const std::string& serial, long long pass, bool wasFree) {
  if (wasFree)
    db.Exec("UPDATE serials SET state = 'held', pass = $3, released = NULL WHERE job = $1 AND serial = $2",
            {job, serial, Param(pass)});
  else
    db.Exec("INSERT INTO serials (job, serial, state, pass) VALUES ($1, $2, 'held', $3)", {job, serial, Param(pass)});
}

// A QTP record's number: hex, whole bytes, 1 to 8 of them.
std::optional<std::string> QtpSerial(const std::string& text) {
  if (text.empty() || text.size() % 2 != 0) return std::nullopt;
  return NormalizeSerialText(text, static_cast<int>(text.size() / 2));
}

ReserveResult ReserveIn(LedgerStore& db, const PassStart& pass, const QtpRecordReader& qtp) {
  ReserveResult out;
  if (!pass.numbered) {
    out.pass = InsertPass(db, pass, {}, 0);
    return out;
  }
  const auto job = SelectJob(db, pass.job, true);
  if (!job) return Refusal(ReserveResult::Outcome::UnknownJob, "There is no job " + pass.job + " in the ledger");

  if (job->policy == LedgerPolicy::ReuseFailed) {
    const auto released = db.Query(
        "SELECT s.serial, p.qtp_record FROM serials s JOIN passes p ON p.id = s.pass"
        " WHERE s.job = $1 AND s.state = 'free' ORDER BY s.released, s.serial LIMIT 1",
        {job->name});
    if (!released.empty()) {
      out.pass = InsertPass(db, pass, Text(released[0][0]), Number(released[0][1]));
      out.pass.reused = true;
      HoldSerial(db, job->name, out.pass.serial, out.pass.id, true);
      return out;
    }
  }
  if (job->usedUp) return UsedUp(db, *job);

  if (job->kind == JobKind::Serial) {
    const std::string serial = job->next;
    if (!SerialState(db, job->name, serial).empty()) return UsedUp(db, *job);
    const std::string after = NextSerial(job->serial, serial);
    // Back at the first number: every number of the sequence has been handed out.
    db.Exec("UPDATE jobs SET next_serial = $2, used_up = $3 WHERE name = $1",
            {job->name, after, Flag(after == job->serial.start)});
    out.pass = InsertPass(db, pass, serial, 0);
    HoldSerial(db, job->name, serial, out.pass.id, false);
    return out;
  }

  if (!qtp) throw std::invalid_argument("Reserve: job " + job->name + " needs its QTP records");
  const long long record = job->nextRecord;
  const auto text = qtp(record);
  if (!text) return UsedUp(db, *job);
  db.Exec("UPDATE jobs SET next_record = $2 WHERE name = $1", {job->name, Param(record + 1)});
  const auto serial = QtpSerial(*text);
  if (!serial)
    return Refusal(ReserveResult::Outcome::RecordRefused, "QTP record " + std::to_string(record) + " of job " +
                                                              job->name + " holds no serial number: skipped");
  const std::string state = SerialState(db, job->name, *serial);
  if (state == "held" || state == "used")
    return Refusal(ReserveResult::Outcome::RecordRefused,
                   "QTP record " + std::to_string(record) + " of job " + job->name + " holds serial number " +
                       *serial + ", already " + (state == "used" ? "used" : "in use") + ": skipped");
  out.pass = InsertPass(db, pass, *serial, record);
  HoldSerial(db, job->name, *serial, out.pass.id, state == "free");
  return out;
}

// "2026-12-08", "2026-12-08 12:00", "2026-12-08T12:00:00.5Z" -> a prefix of
// the stored form; nullopt for anything else, a day that is no day of its
// month included.
std::optional<std::string> SincePrefix(const std::string& since) {
  static const std::string shape = "0000-00-00T00:00:00.000";
  std::string s = since;
  if (!s.empty() && s.back() == 'Z') s.pop_back();
  // A date, then whole minutes, seconds or fractions of them.
  if (s.size() != 10 && s.size() != 16 && (s.size() < 19 || s.size() > shape.size() || s.size() == 20))
    return std::nullopt;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i == 10 && s[i] == ' ') s[i] = 'T';
    const bool ok = shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(s[i])) != 0 : s[i] == shape[i];
    if (!ok) return std::nullopt;
  }
  const auto field = [&](std::size_t at) { return std::stoi(s.substr(at, at == 0 ? 4 : 2)); };
  const int year = field(0), month = field(5), day = field(8);
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > days[month - 1]) return std::nullopt;
  if (s.size() >= 16 && (field(11) > 23 || field(14) > 59)) return std::nullopt;
  if (s.size() >= 19 && field(17) > 59) return std::nullopt;
  return s;
}

// 32 random hex digits.
std::string NewLedgerId() {
  std::random_device random;
  std::string id;
  static const char* hex = "0123456789abcdef";
  for (int i = 0; i < 32; ++i) id += hex[random() & 15];
  return id;
}

// Numbers as the ledger stores them, never anything else.
std::optional<long long> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
      }))
    return std::nullopt;
  return std::stoll(text);
}

}  // namespace

template <class Body>
auto Ledger::Transaction(Access access, Body&& body) {
  thread_local std::minstd_rand jitter{std::random_device{}()};
  store_->CallStarts();
  for (int attempt = 1;; ++attempt) {
    try {
      store_->Begin(access);
      if constexpr (std::is_void_v<decltype(body())>) {
        body();
        store_->Commit();
        return;
      } else {
        auto result = body();
        store_->Commit();
        return result;
      }
    } catch (const LedgerError& e) {
      store_->Rollback();
      if (e.kind() != LedgerError::Kind::Busy || attempt == kAttempts) throw;
    } catch (...) {
      store_->Rollback();
      throw;
    }
    // Apart, so that writers turned away together do not collide again.
    SystemClock::Instance().Sleep(std::chrono::milliseconds(attempt * 2 + static_cast<int>(jitter() % 8)));
  }
}

Ledger::Ledger(std::unique_ptr<LedgerStore> store) : store_(std::move(store)) {
  CheckThread();
  const SqlDialect& d = store_->Dialect();
  try {
    Transaction(Access::Write, [&] {
      if (*d.schemaLock) store_->Query(d.schemaLock, {});
      store_->Exec("CREATE TABLE IF NOT EXISTS ledger_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)", {});
      const auto version = store_->Query("SELECT value FROM ledger_meta WHERE key = 'schema_version'", {});
      if (!version.empty()) {
        const auto number = WholeNumber(Text(version[0][0]));
        if (!number)
          throw LedgerError(LedgerError::Kind::CannotOpen,
                            "Ledger " + store_->Location() + " is not a ledger of this program");
        const long long found = *number;
        if (found > kSchemaVersion)
          throw LedgerError(LedgerError::Kind::SchemaTooNew,
                            "Ledger " + store_->Location() + " was written by a newer QEL Writer (ledger version " +
                                std::to_string(found) + ", this one knows " + std::to_string(kSchemaVersion) +
                                "): left untouched");
        if (found < 1)
          throw LedgerError(LedgerError::Kind::CannotOpen,
                            "Ledger " + store_->Location() + " is not a ledger of this program");
        Migrate(found);
        return;
      }
      for (const auto& statement : SchemaStatements(d)) store_->Exec(statement, {});
      store_->Exec("INSERT INTO ledger_meta (key, value) VALUES ('schema_version', '1')", {});
      Migrate(1);
    });
    // Which ledger this is, whatever its place: given once, at the first
    // open by a program that knows it.
    Transaction(Access::Write, [&] {
      store_->Exec("INSERT INTO ledger_meta (key, value) VALUES ('ledger_id', $1) ON CONFLICT (key) DO NOTHING",
                   {NewLedgerId()});
      store_->SetLedgerId(Text(store_->Query("SELECT value FROM ledger_meta WHERE key = 'ledger_id'", {}).at(0)[0]));
    });
  } catch (const LedgerError& e) {
    if (e.kind() == LedgerError::Kind::SchemaTooNew || e.kind() == LedgerError::Kind::CannotOpen) throw;
    throw LedgerError(LedgerError::Kind::CannotOpen, e.what());
  }
}

Ledger::~Ledger() = default;

void Ledger::Migrate(long long from) {
  if (from >= kSchemaVersion) return;
  const auto steps = Migrations(store_->Dialect());
  for (long long version = from; version < kSchemaVersion; ++version)
    for (const auto& statement : steps[static_cast<std::size_t>(version - 1)]) store_->Exec(statement, {});
  store_->Exec("UPDATE ledger_meta SET value = $1 WHERE key = 'schema_version'", {Param(kSchemaVersion)});
}

std::string Ledger::Location() const {
  CheckThread();
  return store_->Location();
}

JobOpening Ledger::OpenJob(const JobSpec& spec) {
  CheckThread();
  JobOpening out;
  out.message = LedgerNameError("job", spec.name);
  if (!out.message.empty()) return out;
  if (spec.kind == JobKind::Qtp && spec.qtpFile.empty()) {
    out.message = "Job " + spec.name + " needs a QTP file";
    return out;
  }
  // Settings are checked before anything is touched; the start only matters
  // for a new job, so an existing job is opened whatever start is asked.
  if (spec.kind == JobKind::Serial) {
    SerialNumberSettings anyStart = spec.serial;
    anyStart.start = "0";
    out.message = SerialSettingsError(anyStart);
    if (!out.message.empty()) return out;
  }
  std::lock_guard lock(mutex_);
  return Transaction(Access::Write, [&] {
    JobOpening r;
    auto job = SelectJob(*store_, spec.name, true);
    if (!job) {
      if (spec.kind == JobKind::Serial) {
        r.message = SerialSettingsError(spec.serial);
        if (!r.message.empty()) return r;
      }
      const SerialNumberSettings& s = spec.serial;
      const bool serial = spec.kind == JobKind::Serial;
      const std::string start = serial ? *NormalizeSerialText(s.start, s.bytes) : std::string();
      const auto inserted = store_->Exec(
          std::string("INSERT INTO jobs (") + kJobColumns +
              ") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $8, $9, 1, 0, $10, " + store_->Dialect().now +
              ", $11, $12, " + store_->Dialect().now + ") ON CONFLICT (name) DO NOTHING",
          {spec.name, std::string(serial ? "serial" : "qtp"), Flag(serial && s.random), Param(serial ? s.address : 0),
           Param(serial ? s.bytes : 0), Param(serial ? s.increment : 0), Flag(serial && s.lsbFirst), start,
           serial ? std::string() : spec.qtpFile, std::string(PolicyName(spec.policy.value_or(LedgerPolicy::ReuseFailed))),
           spec.imageName, spec.imageChecksum});
      job = SelectJob(*store_, spec.name, true);
      if (inserted == 1) {
        r.outcome = JobOpening::Outcome::Created;
        r.job = *job;
        r.message = NewJobText(*job);
        return r;
      }
      // Another station created it a moment ago: compare with what it made.
    }
    r.job = *job;
    r.message = Differences(*job, spec);
    r.outcome = r.message.empty() ? JobOpening::Outcome::Opened : JobOpening::Outcome::Refused;
    return r;
  });
}

bool Ledger::MoveJobImage(const std::string& job, const std::string& imageName, const std::string& imageChecksum) {
  CheckThread();
  std::lock_guard lock(mutex_);
  return Transaction(Access::Write, [&] {
    const auto found = SelectJob(*store_, job, true);
    if (!found) return false;
    const std::string now = store_->Dialect().now;
    store_->Exec("UPDATE jobs SET image_name = $2, image_checksum = $3, image_since = " + now + " WHERE name = $1",
                 {job, imageName, imageChecksum});
    const auto shown = [](const std::string& name, const std::string& sum) {
      return (name.empty() ? std::string("no image") : name) + (sum.empty() ? "" : ", checksum " + sum);
    };
    store_->Exec("INSERT INTO job_events (job, happened, event, detail) VALUES ($1, " + now + ", 'image', $2)",
                 {job, "from " + shown(found->imageName, found->imageChecksum) + " to " + shown(imageName, imageChecksum)});
    return true;
  });
}

std::optional<Job> Ledger::FindJob(const std::string& name) {
  CheckThread();
  std::lock_guard lock(mutex_);
  return Transaction(Access::Read, [&] { return SelectJob(*store_, name, false); });
}

bool Ledger::SetPolicy(const std::string& job, LedgerPolicy policy) {
  CheckThread();
  std::lock_guard lock(mutex_);
  return Transaction(Access::Write, [&] {
    return store_->Exec("UPDATE jobs SET policy = $2 WHERE name = $1", {job, std::string(PolicyName(policy))}) > 0;
  });
}

ReserveResult Ledger::Reserve(const PassStart& pass, const QtpRecordReader& qtp) {
  CheckThread();
  for (const auto& [what, name] : {std::pair<const char*, const std::string&>{"job", pass.job},
                                   {"station", pass.station}, {"port", pass.port}})
    if (const std::string why = LedgerNameError(what, name); !why.empty())
      throw LedgerError(LedgerError::Kind::Refused, why);
  std::lock_guard lock(mutex_);
  store_->CheckIdentity();
  return Transaction(Access::Write, [&] { return ReserveIn(*store_, pass, qtp); });
}

bool Ledger::MarkStreamStarted(long long id) {
  CheckThread();
  std::lock_guard lock(mutex_);
  // On the disk before the first program-memory byte: a mark lost with the
  // server would let a failed part's number go to the next part.
  return Transaction(Access::Write, [&] {
    return store_->Exec("UPDATE passes SET stream_started = COALESCE(stream_started, " +
                            std::string(store_->Dialect().now) + ") WHERE id = $1 AND result = 'open'",
                        {Param(id)}) > 0;
  });
}

bool Ledger::Finish(long long id, PassResult result, const std::string& stage, const std::string& message,
                    long long passCount, const std::string& checksum, bool streamMarked) {
  CheckThread();
  const char* name = result == PassResult::Ok          ? "ok"
                     : result == PassResult::Simulated ? "simulated"
                     : result == PassResult::Failed    ? "failed"
                                                       : "interrupted";
  std::lock_guard lock(mutex_);
  return Transaction(Access::Write, [&] {
    LedgerStore& db = *store_;
    const std::string now = db.Dialect().now;
    const auto rows = db.Query("UPDATE passes SET result = $2, stage = $3, message = $4, pass_count = $5,"
                               " checksum = COALESCE($6, checksum), ended = " +
                                   now + " WHERE id = $1 AND result = 'open' RETURNING job, serial, stream_started",
                               {Param(id), std::string(name), stage, message, Param(passCount), NullIfEmpty(checksum)});
    if (rows.empty()) return false;
    const std::string job = Text(rows[0][0]);
    const std::string serial = Text(rows[0][1]);
    if (serial.empty()) return true;
    // A pass that failed before its stream left the part unprogrammed: its
    // number may go to the next part, unless the job keeps every number.
    // A mark this caller set and the ledger no longer shows (lost with a
    // connection) still means the part may carry the number.
    bool release = result == PassResult::Failed && !rows[0][2] && !streamMarked;
    if (release) {
      const auto policy = db.Query("SELECT policy FROM jobs WHERE name = $1", {job});
      release = !policy.empty() && Text(policy[0][0]) == PolicyName(LedgerPolicy::ReuseFailed);
    }
    db.Exec(release ? "UPDATE serials SET state = 'free', released = " + now +
                          " WHERE job = $1 AND serial = $2 AND pass = $3"
                    : std::string("UPDATE serials SET state = 'used' WHERE job = $1 AND serial = $2 AND pass = $3"),
            {job, serial, Param(id)});
    return true;
  });
}

std::unique_ptr<StationClaim> Ledger::ClaimStation(const std::string& station, const std::string& port) {
  CheckThread();
  for (const auto& [what, name] : {std::pair<const char*, const std::string&>{"station", station}, {"port", port}})
    if (const std::string why = LedgerNameError(what, name); !why.empty())
      throw LedgerError(LedgerError::Kind::Refused, why);
  std::lock_guard lock(mutex_);
  store_->CallStarts();
  if (!store_->LockStation(station, port)) {
    const std::string holder = store_->StationHolder(station, port);
    throw LedgerError(LedgerError::Kind::Refused, "Station " + station + " " + port + " is in use by " +
                                                      (holder.empty() ? "another program" : holder) +
                                                      ": give this one another --station");
  }
  return std::unique_ptr<StationClaim>(new StationClaim(*this, station, port));
}

void Ledger::ReleaseStation(const std::string& station, const std::string& port) noexcept {
  std::lock_guard lock(mutex_);
  store_->CallStarts();
  store_->UnlockStation(station, port);
}

StationClaim::~StationClaim() { ledger_.ReleaseStation(station_, port_); }

std::vector<LedgerRecord> Ledger::RecoverInterrupted(const std::string& station, const std::string& port) {
  CheckThread();
  std::lock_guard lock(mutex_);
  auto passes = Transaction(Access::Write, [&] {
    LedgerStore& db = *store_;
    auto found = Passes(db.Query("UPDATE passes SET result = 'interrupted', ended = " + std::string(db.Dialect().now) +
                                     " WHERE result = 'open' AND station = $1 AND port = $2 RETURNING " + kPassColumns,
                                 {station, port}));
    for (const auto& p : found)
      if (!p.serial.empty())
        db.Exec("UPDATE serials SET state = 'used' WHERE job = $1 AND serial = $2 AND pass = $3",
                {p.job, p.serial, Param(p.id)});
    return found;
  });
  std::sort(passes.begin(), passes.end(),
            [](const LedgerRecord& a, const LedgerRecord& b) { return std::tie(a.started, a.id) < std::tie(b.started, b.id); });
  return passes;
}

LedgerStatus Ledger::Status(const std::optional<std::string>& job) {
  CheckThread();
  std::lock_guard lock(mutex_);
  return Transaction(Access::Read, [&] {
    LedgerStore& db = *store_;
    std::vector<SqlValue> params;
    if (job) params.push_back(*job);
    LedgerStatus status;
    status.now = Text(db.Query(std::string("SELECT ") + db.Dialect().now, {}).at(0)[0]);
    std::map<std::string, JobStatus> jobs;
    for (const auto& r : db.Query(std::string("SELECT ") + kJobColumns + " FROM jobs" + (job ? " WHERE name = $1" : ""),
                                  params)) {
      Job j = JobFromRow(r);
      jobs[j.name].settings = std::move(j);
    }
    for (const auto& r : db.Query(std::string("SELECT job, result, COUNT(*) FROM passes") +
                                      (job ? " WHERE job = $1" : "") + " GROUP BY job, result",
                                  params)) {
      JobStatus& s = jobs[Text(r[0])];
      const std::string result = Text(r[1]);
      const long long n = Number(r[2]);
      (result == "ok"            ? s.ok
       : result == "failed"      ? s.failed
       : result == "interrupted" ? s.interrupted
       : result == "simulated"   ? s.simulated
                                 : s.open) += n;
    }
    for (auto& p : Passes(db.Query(std::string("SELECT ") + kPassColumns +
                                       " FROM passes WHERE result IN ('open', 'interrupted')" +
                                       (job ? " AND job = $1" : "") + " ORDER BY started, id",
                                   params)))
      jobs[p.job].unsettled.push_back(std::move(p));
    for (auto& [name, s] : jobs) {
      s.job = name;
      status.jobs.push_back(std::move(s));
    }
    return status;
  });
}

std::vector<LedgerRecord> Ledger::List(const std::optional<std::string>& job, const std::optional<std::string>& since) {
  CheckThread();
  std::optional<std::string> from;
  if (since) {
    from = SincePrefix(*since);
    if (!from) throw std::invalid_argument(SinceError(*since));
  }
  std::lock_guard lock(mutex_);
  return Transaction(Access::Read, [&] {
    std::string sql = std::string("SELECT ") + kPassColumns + " FROM passes WHERE 1 = 1";
    std::vector<SqlValue> params;
    if (job) {
      params.push_back(*job);
      sql += " AND job = $" + std::to_string(params.size());
    }
    if (from) {
      params.push_back(*from);
      sql += " AND started >= $" + std::to_string(params.size());
    }
    return Passes(store_->Query(sql + " ORDER BY started, id", params));
  });
}

std::string SinceError(const std::string& since) {
  if (SincePrefix(since)) return {};
  return "\"" + since + "\" is no UTC date or date and time: give one as 2026-12-08, 2026-12-08 12:00 or " +
         "2026-12-08T12:00:00Z";
}

std::string LedgerNameError(const std::string& what, const std::string& name) {
  if (name.empty()) return "The " + what + " name is empty: give it a name";
  std::string shown;
  bool control = false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      static const char* hex = "0123456789ABCDEF";
      shown += std::string("\\x") + hex[u >> 4] + hex[u & 15];
      control = true;
    } else {
      shown += c;
    }
  }
  if (!control) return {};
  return "The " + what + " name \"" + shown + "\" holds a control character: give one of printable characters";
}

namespace {

std::mutex openerMutex;
std::function<std::unique_ptr<Ledger>(const std::string&)> testOpener;

// std::thread::id{} is no thread: nothing is forbidden.
std::atomic<std::thread::id> forbiddenThread{};

}  // namespace

void SetLedgerOpenerForTests(std::function<std::unique_ptr<Ledger>(const std::string& location)> opener) {
  std::lock_guard lock(openerMutex);
  testOpener = std::move(opener);
}

void ForbidLedgerCallsOnThread(std::thread::id thread) { forbiddenThread = thread; }

void Ledger::CheckThread() {
  if (std::this_thread::get_id() != forbiddenThread.load() || forbiddenThread.load() == std::thread::id{}) return;
  std::fputs("ledger called on the GUI thread\n", stderr);
  std::abort();
}

std::unique_ptr<Ledger> OpenLedger(const std::string& location) {
  {
    std::lock_guard lock(openerMutex);
    if (testOpener) return testOpener(location);
  }
  const std::string where = location.empty() ? DefaultLedgerLocation() : location;
  return std::make_unique<Ledger>(IsPgLocation(where) ? OpenPgStore(where) : OpenSqliteStore(where));
}
