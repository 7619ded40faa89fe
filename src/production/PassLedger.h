#pragma once
// One Writer's use of the part ledger: its job, station and port. A front end
// makes one per Writer and hands it to the Auto Program and force-write
// workers (OperationContext::ledger); they reserve the pass's number before
// any byte goes to the Writer, mark the program-memory stream and end the
// pass from its outcome.
//
// The ledger's calls run on the worker's thread; Interrupt may come from any
// thread. Errors of the store are thrown as LedgerError.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "production/Ledger.h"

struct MainState;

// The job a run of passes draws from, as the state holds it: the serial
// settings (the number Label15 shows is the start of a new job) or, in QTP
// mode, the QTP file `qtpFile`.
JobSpec JobSpecOf(const MainState& state, const std::string& name, const std::string& qtpFile,
                  std::optional<LedgerPolicy> policy);

// The records of a QTP file as the ledger reads them; an unreadable file has none.
QtpRecordReader QtpFileRecords(const std::string& path, bool lsbFirst);

class PassLedger {
 public:
  // qtp: the job's QTP records, for a QTP job; none for serial numbers.
  // Throws LedgerError Refused for an empty name or one with control
  // characters (LedgerNameError).
  PassLedger(std::shared_ptr<Ledger> ledger, std::string job, std::string station, std::string port,
             QtpRecordReader qtp = {});

  Ledger& Store() const { return *ledger_; }
  const std::string& Job() const { return job_; }
  const std::string& Station() const { return station_; }
  const std::string& Port() const { return port_; }

  // Makes this the one live program on this station and port for as long as
  // the PassLedger lives (Ledger::ClaimStation); throws LedgerError Refused
  // when another holds it. Claim before RecoverInterrupted.
  void Claim();
  bool Claimed() const;

  // Marks interrupted the passes this station left open on this port and
  // returns what to show for each ("Part interrupted on station ...").
  std::vector<std::string> RecoverInterrupted();

  // Reserves the pass (job, station and port filled in here). Reserved: the
  // pass is open until End; otherwise nothing was recorded.
  ReserveResult Begin(PassStart pass);
  // The program-memory stream of the open pass starts now; the mark is on
  // the disk when it returns, before any program-memory byte goes out.
  void StreamStarted();
  // Ends the open pass; nothing when none is open.
  void End(PassResult result, const std::string& stage, const std::string& message, long long passCount,
           const std::string& checksum);
  // Ends an open pass as interrupted (window closed, station stopped). False
  // when the ledger could not be reached: the pass stays open and is found
  // interrupted when this station starts on this port again.
  bool Interrupt();
  bool PassOpen() const;

  // The number the next pass is likely to get, to show; none when the job is
  // used up (for a QTP job: its file has no record left).
  std::optional<std::string> NextNumber();

 private:
  std::shared_ptr<Ledger> ledger_;
  std::unique_ptr<StationClaim> claim_;
  std::string job_, station_, port_;
  QtpRecordReader qtp_;
  mutable std::mutex mutex_;
  long long open_ = 0;  // the open pass, 0 when none
  long long passCount_ = 0;
  bool marked_ = false;  // the open pass's stream mark is set: a failure uses its number up
};
