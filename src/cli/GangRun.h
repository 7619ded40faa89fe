#pragma once
// writer-cli with several Writers (--port / --port-path more than once), or
// with --wait-for-part: every Writer is a WriterStation on a thread of its
// own. Each line starts with the Writer's name as given and ": "
// ("Com2: Data program & verify OK!!"); lines of one Writer stay in order and
// lines never mix. At the end one line per Writer:
//
//   summary: Com2 passes 10, ok 9, failed 1, interrupted 0, serials 0001-0013
//
// ("serials none" when no part got a number). With --json each pass is one
// object, as for one Writer, with a "writer" key first; notes and the
// summary go to standard error. The first SIGINT or SIGTERM lets the running
// passes end and stops, the second stops them at once.

#include "commands/WriterCommands.h"

struct CliArgs;
class CliSession;

// Several Writers, or a wait for parts.
bool IsGang(const CliArgs& args);

// Runs command on every Writer: passes each (0: until stopped). The exit
// status: 0 when every pass of every Writer succeeded, 1 when any did not (a
// port that did not open included), 2 for a usage or file error.
int RunGang(CliSession& session, const CliArgs& args, WriterCommand command, int passes);
