#include "production/PassLedger.h"

#include <fstream>

#include "app/MainState.h"
#include "production/QtpFile.h"

JobSpec JobSpecOf(const MainState& state, const std::string& name, const std::string& qtpFile,
                  std::optional<LedgerPolicy> policy) {
  JobSpec spec;
  spec.name = name;
  spec.policy = policy;
  if (state.QtpMode) {
    spec.kind = JobKind::Qtp;
    spec.qtpFile = qtpFile;
  } else {
    spec.serial = SerialSettingsOf(state);
  }
  return spec;
}

QtpRecordReader QtpFileRecords(const std::string& path, bool lsbFirst) {
  std::ifstream in(path, std::ios::binary);
  auto serials = std::make_shared<const std::vector<std::string>>(QtpFileSerials(in, lsbFirst));
  return [serials](long long record) -> std::optional<std::string> {
    if (record < 1 || record > static_cast<long long>(serials->size())) return std::nullopt;
    return (*serials)[static_cast<std::size_t>(record - 1)];
  };
}

PassLedger::PassLedger(std::shared_ptr<Ledger> ledger, std::string job, std::string station, std::string port,
                       QtpRecordReader qtp)
    : ledger_(std::move(ledger)),
      job_(std::move(job)),
      station_(std::move(station)),
      port_(std::move(port)),
      qtp_(std::move(qtp)) {
  for (const auto& [what, name] :
       {std::pair<const char*, const std::string&>{"job", job_}, {"station", station_}, {"port", port_}})
    if (const std::string why = LedgerNameError(what, name); !why.empty())
      throw LedgerError(LedgerError::Kind::Refused, why);
}

void PassLedger::Claim() {
  auto claim = ledger_->ClaimStation(station_, port_);
  std::lock_guard lock(mutex_);
  claim_ = std::move(claim);
}

bool PassLedger::Claimed() const {
  std::lock_guard lock(mutex_);
  return claim_ != nullptr;
}

std::vector<std::string> PassLedger::RecoverInterrupted() {
  std::vector<std::string> texts;
  for (const LedgerRecord& pass : ledger_->RecoverInterrupted(station_, port_)) texts.push_back(InterruptedText(pass));
  return texts;
}

ReserveResult PassLedger::Begin(PassStart pass) {
  pass.job = job_;
  pass.station = station_;
  pass.port = port_;
  ReserveResult r = ledger_->Reserve(pass, qtp_);
  if (r.outcome == ReserveResult::Outcome::Reserved) {
    std::lock_guard lock(mutex_);
    open_ = r.pass.id;
    passCount_ = pass.passCount;
    marked_ = false;
  }
  return r;
}

void PassLedger::StreamStarted() {
  long long id;
  {
    std::lock_guard lock(mutex_);
    id = open_;
  }
  if (!id || !ledger_->MarkStreamStarted(id)) return;
  std::lock_guard lock(mutex_);
  if (open_ == id) marked_ = true;
}

void PassLedger::End(PassResult result, const std::string& stage, const std::string& message, long long passCount,
                     const std::string& checksum) {
  long long id;
  bool marked;
  {
    std::lock_guard lock(mutex_);
    id = open_;
    marked = marked_;
    open_ = 0;
  }
  if (id) ledger_->Finish(id, result, stage, message, passCount, checksum, marked);
}

bool PassLedger::Interrupt() {
  long long id, count;
  {
    std::lock_guard lock(mutex_);
    id = open_;
    count = passCount_;
    open_ = 0;
  }
  if (!id) return true;
  try {
    ledger_->Finish(id, PassResult::Interrupted, "", "", count);
    return true;
  } catch (const LedgerError&) {
    return false;
  }
}

bool PassLedger::PassOpen() const {
  std::lock_guard lock(mutex_);
  return open_ != 0;
}

std::optional<std::string> PassLedger::NextNumber() {
  const auto job = ledger_->FindJob(job_);
  if (!job || job->usedUp) return std::nullopt;
  if (job->kind == JobKind::Serial) return job->next;
  return qtp_ ? qtp_(job->nextRecord) : std::nullopt;
}
