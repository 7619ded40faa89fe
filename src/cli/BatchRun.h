#pragma once
// writer-cli's runs of passes: Auto Program and force write on one Writer,
// and every batch command on several Writers (--port / --port-path more than
// once) or with --wait-for-part. Each Writer is a WriterSession on a thread of
// its own; the run is prepared once (job, ledger, log) as every front end
// prepares it.
//
// With several Writers each line starts with the Writer's name as given and
// ": " ("Com2: Data program & verify OK!!"); lines of one Writer stay in
// order and lines never mix. At the end one line per Writer:
//
//   summary: Com2 passes 10, ok 9, failed 1, interrupted 0, serials 0001-0013
//
// ("serials none" when no part got a number), on standard output; for one
// Writer, and with --json, on standard error, so standard output keeps the
// window's lines (or the JSON objects) alone. With --json each pass is one
// object, with a "writer" key first when there are several. The first SIGINT
// or SIGTERM lets the running passes end and stops, the second stops them at
// once and records them interrupted.

#include "commands/WriterCommands.h"

struct CliArgs;
class CliSession;

// Several Writers, or a wait for parts.
bool IsGang(const CliArgs& args);

// Runs command on every Writer: passes each (0: until stopped). The exit
// status: 0 when every pass of every Writer succeeded, 1 when any did not (a
// port of several that did not open included), 2 for a usage, file or port
// error of one Writer, a pass the ledger refused or a log that cannot be written.
int RunBatch(CliSession& session, const CliArgs& args, WriterCommand command, int passes);
