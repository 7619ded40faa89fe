#include "cli/BatchRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <utility>
#include <vector>

#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/JsonReport.h"
#include "commands/RunPreparation.h"
#include "commands/WriterSession.h"

namespace {

int g_signalPipe[2] = {-1, -1};
int g_endedPipe[2] = {-1, -1};  // a Writer's batch has ended: the wait wakes

void OnSignal(int) {
  const int saved = errno;
  const char b = 1;
  [[maybe_unused]] auto r = write(g_signalPipe[1], &b, 1);
  errno = saved;
}

// SIGINT and SIGTERM counted through a pipe while the Writers run; the
// handlers before are back afterwards.
class SignalWatch {
 public:
  SignalWatch() {
    if (pipe2(g_endedPipe, O_CLOEXEC | O_NONBLOCK) != 0) g_endedPipe[0] = g_endedPipe[1] = -1;
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &oldInt_);
    sigaction(SIGTERM, &sa, &oldTerm_);
    installed_ = true;
  }
  ~SignalWatch() {
    for (int& fd : g_endedPipe)
      if (fd >= 0) close(std::exchange(fd, -1));
    if (!installed_) return;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  }
  // A Writer's batch has ended (any thread).
  static void Ended() {
    const char b = 1;
    if (g_endedPipe[1] >= 0) [[maybe_unused]] auto r = write(g_endedPipe[1], &b, 1);
  }
  // Waits up to ms for signals or a batch's end; how many signals came.
  int Wait(int ms) {
    pollfd p[2] = {{installed_ ? g_signalPipe[0] : -1, POLLIN, 0}, {g_endedPipe[0], POLLIN, 0}};
    if (poll(p, 2, ms) <= 0) return 0;
    char buf[16];
    if (p[1].revents & POLLIN) [[maybe_unused]] auto r = read(g_endedPipe[0], buf, sizeof buf);
    if (!(p[0].revents & POLLIN)) return 0;
    const auto n = read(g_signalPipe[0], buf, sizeof buf);
    return n > 0 ? static_cast<int>(n) : 0;
  }

 private:
  bool installed_ = false;
  struct sigaction oldInt_ {}, oldTerm_ {};
};

// Prints what the sessions report, one whole line at a time; they call in
// from their own threads. With one Writer the lines carry no name.
class BatchOutput final : public SessionListener {
 public:
  BatchOutput(CliSession& session, const CliArgs& args, WriterCommand command, bool several)
      : session_(session), args_(args), command_(command), several_(several) {}

  void Note(const WriterSession& writer, const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (session_.Json()) {
      notes_[writer.Name()].push_back(text);
      if (several_) session_.Err() << writer.Name() << ": " << text << std::endl;
    } else {
      session_.Out() << Prefix(writer) << text << std::endl;
    }
  }

  // With one Writer what the ledger says of earlier passes is no line of
  // this pass's window: it goes to standard error.
  void LedgerNote(const WriterSession& writer, const std::string& text) override {
    if (several_) return Note(writer, text);
    std::lock_guard lock(mutex_);
    session_.Err() << text << std::endl;
  }

  void PassEnded(const WriterSession& writer, const PassReport& pass) override {
    const Outcome& out = pass.outcome;
    std::lock_guard lock(mutex_);
    const std::string prefix = Prefix(writer);
    if (out.verdict == Verdict::LedgerRefused)
      session_.Err() << "writer-cli: " << prefix << out.text << std::endl;
    else if (!out.ledgerError.empty())
      session_.Err() << "writer-cli: " << prefix << out.ledgerError << "; the batch stops" << std::endl;
    if (!pass.logError.empty()) session_.Err() << "writer-cli: " << prefix << pass.logError << std::endl;
    const bool refused = out.verdict == Verdict::LedgerRefused;
    if (session_.Json()) {
      OperationReport r;
      if (several_) r.writer = writer.Name();
      r.command = args_.command->name;
      r.port = writer.Name();
      r.device = pass.device;
      r.image = pass.image;
      r.checksum = out.pass ? out.pass->checksum : writer.State().Panel.Label11;
      r.outcome = out;
      r.lines = pass.lines;
      r.messages = std::exchange(notes_[writer.Name()], {});
      if (!pass.serial.empty() && !refused) r.serial = pass.serial;
      if (out.pass && !refused) r.passCount = std::to_string(pass.passCount);
      r.started = pass.started;
      r.ended = pass.ended;
      session_.Out() << JsonLine(r) << std::endl;
      return;
    }
    std::ostream& o = session_.Out();
    for (const std::string& line : pass.lines) o << prefix << line << '\n';
    // A pass the ledger refused never began: it has no count of its own.
    const bool counted = several_ ? out.pass.has_value() : IsAutoProgram(command_);
    if (counted && !refused) {
      o << prefix << "Pass Count : " << pass.passCount << '\n';
      if (!pass.serial.empty()) o << prefix << "Serial No. (HEX) : " << pass.serial << '\n';
    }
    o.flush();
  }

 private:
  std::string Prefix(const WriterSession& writer) const { return several_ ? writer.Name() + ": " : std::string(); }

  CliSession& session_;
  const CliArgs& args_;
  WriterCommand command_;
  bool several_;
  std::mutex mutex_;
  std::map<std::string, std::vector<std::string>> notes_;
};

std::string SummaryLine(const std::string& name, const SessionTotals& t) {
  std::string line = "summary: " + name + " passes " + std::to_string(t.passes) + ", ok " + std::to_string(t.ok) +
                     ", failed " + std::to_string(t.failed) + ", interrupted " + std::to_string(t.interrupted) +
                     ", serials " + (t.firstSerial.empty() ? std::string("none") : t.firstSerial + "-" + t.lastSerial);
  if (t.portFailed) line += " (port not opened)";
  if (t.aborted) line += " (aborted)";
  if (t.ledgerFailed) line += " (ledger lost)";
  if (t.logFailed) line += " (log not written)";
  return line;
}

// The run's job, ledger and log, prepared as every front end prepares them.
// The exit status to end with, or 0 with `out` set.
int PrepareBatch(CliSession& session, const CliArgs& args, WriterCommand command,
                 std::shared_ptr<const RunStart>& out) {
  RunSettings settings;
  if (args.ledger) settings.location = *args.ledger;
  if (args.job) settings.job = *args.job;
  if (args.station) settings.station = *args.station;
  if (args.qtp) settings.qtpPath = *args.qtp;
  if (args.serialPolicy) settings.policy = ParsePolicy(*args.serialPolicy);
  if (IsAutoProgram(command) && args.log) settings.logPath = *args.log;
  auto run = std::make_shared<RunStart>(PrepareRun(session.State(), settings));
  if (!run->Ready()) {
    session.Err() << "writer-cli: " << run->message;
    if (run->jobRefused) session.Err() << " (to start another sequence, name another job with --job)";
    session.Err() << std::endl;
    return kExitError;
  }
  for (const std::string& note : run->notes) session.Err() << note << std::endl;
  out = std::move(run);
  return kExitSuccess;
}

}  // namespace

bool IsGang(const CliArgs& args) { return args.writers.size() > 1 || args.Has("--wait-for-part"); }

int RunBatch(CliSession& session, const CliArgs& args, WriterCommand command, int passes) {
  MainState& state = session.State();
  if (!CommandOffered(command, state)) {
    session.Err() << "writer-cli: " << RefusalText(command, state, session.DeviceChoice()) << std::endl;
    return kExitError;
  }
  const bool several = IsGang(args);
  std::vector<std::string> names = args.writers;
  if (names.empty()) names.push_back(session.PortName());
  const bool recorded = IsAutoProgram(command) || command == WriterCommand::ForceWrite;
  // The job is settled before any port is touched.
  std::shared_ptr<const RunStart> run;
  if (recorded)
    if (const int stop = PrepareBatch(session, args, command, run)) return stop;

  BatchOutput output(session, args, command, several);
  BatchSetup batch;
  batch.command = command;
  batch.inputs = session.Inputs();
  batch.passes = passes;
  batch.waitForPart = args.Has("--wait-for-part");
  batch.ended = SignalWatch::Ended;
  std::vector<std::unique_ptr<WriterSession>> owned;
  std::vector<WriterSession*> writers;
  if (several) {
    for (const std::string& name : names) {
      SessionSetup setup;
      // One trace per Writer: FILE.1, FILE.2 ... in the order given.
      if (args.trace && !session.TracedDevice(*args.trace + "." + std::to_string(owned.size() + 1), setup.device))
        return kExitError;
      setup.name = name;
      setup.port = {name, args.handshake};
      setup.yes = args.yes;
      owned.push_back(WriterSession::OnCopy(std::move(setup), state, output));
      writers.push_back(owned.back().get());
    }
  } else {
    // One Writer: the guards, questions and port as for every other command,
    // on this thread with the console's prompts; then its passes on its session.
    if (const int stop = session.Start(command)) return stop;
    session.Writer().SetListener(output);
    writers.push_back(&session.Writer());
    batch.prepare = false;
  }
  SignalWatch signals;  // before the first batch starts, so its end wakes the wait
  for (WriterSession* writer : writers) {
    writer->UseRun(run, !several);  // one Writer takes the run's connection
    writer->Start(batch);
  }
  int signalsSeen = 0;
  bool stopping = false;
  for (;;) {
    bool running = false;
    for (WriterSession* writer : writers) running = running || !writer->Finished();
    if (!running) break;
    signalsSeen += signals.Wait(50);
    bool logFailed = false;
    for (WriterSession* writer : writers) logFailed = logFailed || writer->Totals().logFailed;
    // A log that cannot be written: no Writer starts another part.
    if ((signalsSeen >= 1 || logFailed) && !stopping) {
      stopping = true;
      for (WriterSession* writer : writers) writer->StopAfterPass();
    }
    if (signalsSeen >= 2)
      for (WriterSession* writer : writers) writer->StopNow();
  }
  bool clean = true, refusedOrLog = false, portFailed = false;
  std::ostream& summary = session.Json() || !several ? session.Err() : session.Out();
  for (WriterSession* writer : writers) {
    writer->Join();
    writer->UseRun(nullptr);
    const SessionTotals totals = writer->Totals();
    clean = clean && totals.Clean();
    refusedOrLog = refusedOrLog || totals.logFailed || totals.refused;
    portFailed = portFailed || totals.portFailed;
    summary << SummaryLine(writer->Name(), totals) << '\n';
  }
  summary.flush();
  if (!several) session.ListenQuietly();
  if (refusedOrLog || (!several && portFailed)) return kExitError;
  return clean ? kExitSuccess : kExitOutcome;
}
