#pragma once
// writer-cli's `ledger` command (status, list, export, policy).

#include <memory>

#include "production/PassLedger.h"

struct CliArgs;
class CliSession;

int LedgerCommand(CliSession& session, const CliArgs& args);
