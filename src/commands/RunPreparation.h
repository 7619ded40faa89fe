#pragma once
// What every front end does before the first pass of a run of Auto Program
// or force write, in one place: the job chosen and opened (a new one
// announced), the production log checked, and for each Writer its own
// connection to the ledger with the passes it left open reported. The window,
// writer-cli and the gang call the same functions, so a job started in one is
// the same job in the others.
//
// Everything here may wait on the database: never call it on the GUI thread.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "production/Ledger.h"

struct MainState;
class PassLedger;

struct RunSettings {
  bool ledgerOn = true;
  std::string location;  // empty: the default file
  std::string job;       // empty: RunJobName's default
  std::string station;   // empty: DefaultStationName()
  std::optional<LedgerPolicy> policy;
  std::string qtpPath;  // the QTP file loaded, as the user named it
  std::string logPath;  // the production log; empty: none
  // Unnumbered passes (serial-number mode off) are recorded under a label
  // job. The window leaves them out when the ledger cannot be opened.
  bool recordUnnumbered = true;
};

// The job's name: the one chosen, else the image's file name without folder
// and extension, else "untitled".
std::string RunJobName(const MainState& state, const std::string& chosen);
// A QTP job's key: the file's name and a digest of its contents, so one file
// reached by any path is one job and two lots' different parts.txt are two.
std::string QtpJobKey(const std::string& path);

struct RunStart {
  enum class Status {
    Ready,
    Refused,       // settings or job refused (exit 2): nothing was written, no byte sent
    NoLedger,      // the ledger cannot be opened
    LedgerFailed,  // the ledger failed while the job was opened
    LogFailed,     // the production log cannot be written
  };
  Status status = Status::Ready;
  std::string message;             // why, unless Ready, as writer-cli says it
  std::string reason;              // the same without the location: what the store said
  bool jobRefused = false;         // the job exists with other settings
  std::vector<std::string> notes;  // "New job example: serial numbers from 1234"
  RunSettings settings;            // as given, with job and station filled in
  bool numbered = false;           // serial-number mode on
  std::shared_ptr<Ledger> ledger;  // the run's connection; null: passes are not recorded
  std::string qtpKey;              // QTP job: its key
  bool Ready() const { return status == Status::Ready; }
};

// Checks the serial settings, opens the ledger and the job, checks the log.
RunStart PrepareRun(const MainState& state, RunSettings settings);

// A Writer's own use of the run's job, on a connection of its own (the
// first Writer may take the run's), with the passes this station left open on
// `port` marked interrupted and their texts in `notes`. Throws LedgerError.
std::unique_ptr<PassLedger> OpenWriterLedger(const RunStart& run, const MainState& state, const std::string& port,
                                             bool ownConnection, std::vector<std::string>& notes);
