#pragma once
// writer-cli and the part ledger: the run's job opened before any pass, and
// the `ledger` command (status, list, export, policy).

#include <memory>

#include "production/PassLedger.h"

struct CliArgs;
class CliSession;
struct Outcome;

// Opens the ledger and the run's job (numbered: the serial settings or QTP
// file the state holds; otherwise a label for unnumbered passes), announces a
// new job and reports the passes this station left open on this port. The
// exit status to end with, or 0 with `out` set.
int OpenRunLedger(CliSession& session, const CliArgs& args, std::unique_ptr<PassLedger>& out);

// After a pass the ledger refused or lost: the exit status to end the batch
// with (the reason on standard error); 0 when the ledger had no part in it.
int LedgerEndOfBatch(CliSession& session, const Outcome& pass);

int LedgerCommand(CliSession& session, const CliArgs& args);
