#include "commands/RunPreparation.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/MainState.h"
#include "production/PassLedger.h"
#include "production/ProductionLog.h"

std::string RunJobName(const MainState& state, const std::string& chosen) {
  if (!chosen.empty()) return chosen;
  const std::string name = DefaultJobName(state.CurrentFileName);
  return name.empty() ? "untitled" : name;
}

std::string QtpJobKey(const std::string& path) {
  // FNV-1a over the contents: enough to tell two lots' files apart.
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::ifstream in(path, std::ios::binary);
  char buf[4096];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      hash ^= static_cast<unsigned char>(buf[i]);
      hash *= 0x100000001b3ull;
    }
  }
  char digest[17];
  std::snprintf(digest, sizeof digest, "%016llX", static_cast<unsigned long long>(hash));
  return std::filesystem::path(path).filename().string() + ", digest " + digest;
}

RunStart PrepareRun(const MainState& state, RunSettings settings) {
  RunStart run;
  run.numbered = state.SerialMode != 0;
  settings.job = RunJobName(state, settings.job);
  if (settings.station.empty()) settings.station = DefaultStationName();
  run.settings = settings;
  const auto refuse = [&run](RunStart::Status status, std::string why, std::string reason = {}) {
    run.status = status;
    run.message = std::move(why);
    run.reason = reason.empty() ? run.message : std::move(reason);
    run.ledger.reset();
    return run;
  };
  if (run.numbered && !state.QtpMode)
    if (std::string why = SerialSettingsError(SerialSettingsOf(state)); !why.empty())
      return refuse(RunStart::Status::Refused, why);
  if (std::string error; !settings.logPath.empty() && !ProductionLogWritable(settings.logPath, &error))
    return refuse(RunStart::Status::LogFailed, "cannot write the production log " + settings.logPath + ": " + error,
                  error);
  // Switched off (the window only): numbers come from the serial settings alone.
  if (!settings.ledgerOn) return run;
  try {
    run.ledger = OpenLedger(settings.location);
  } catch (const LedgerError& e) {
    // Without numbers nothing can be stamped twice: such passes may go on unrecorded.
    if (!run.numbered && !settings.recordUnnumbered) return run;
    return refuse(RunStart::Status::NoLedger,
                  "cannot open the ledger " +
                      RedactLocation(settings.location.empty() ? DefaultLedgerLocation() : settings.location) + ": " +
                      e.what(),
                  e.what());
  }
  if (!run.numbered) return run;
  try {
    if (state.QtpMode) run.qtpKey = QtpJobKey(settings.qtpPath);
    const JobOpening opening = run.ledger->OpenJob(JobSpecOf(state, settings.job, run.qtpKey, settings.policy));
    if (opening.outcome == JobOpening::Outcome::Refused) {
      run.jobRefused = true;
      return refuse(RunStart::Status::Refused, opening.message);
    }
    if (opening.outcome == JobOpening::Outcome::Created) run.notes.push_back(opening.message);
  } catch (const LedgerError& e) {
    return refuse(RunStart::Status::LedgerFailed, "ledger " + run.ledger->Location() + ": " + e.what(), e.what());
  }
  return run;
}

std::unique_ptr<PassLedger> OpenWriterLedger(const RunStart& run, const MainState& state, const std::string& port,
                                             bool ownConnection, std::vector<std::string>& notes) {
  if (!run.ledger) return nullptr;
  std::shared_ptr<Ledger> ledger = run.ledger;
  if (ownConnection) ledger = OpenLedger(run.settings.location);
  QtpRecordReader qtp;
  if (run.numbered && state.QtpMode) qtp = QtpFileRecords(run.settings.qtpPath, state.SerialLsbFirst != 0);
  auto pass = std::make_unique<PassLedger>(std::move(ledger), run.settings.job, run.settings.station, port,
                                           std::move(qtp));
  // One live program per station and port: the passes left open here are
  // then those of a program that is gone.
  pass->Claim();
  for (std::string& text : pass->RecoverInterrupted()) notes.push_back(std::move(text));
  return pass;
}
