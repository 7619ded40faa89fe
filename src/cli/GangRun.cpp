#include "cli/GangRun.h"

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
#include "cli/CliLedger.h"
#include "cli/JsonReport.h"
#include "commands/WriterStation.h"
#include "link/PosixSerialDevice.h"
#include "link/TracingSerialDevice.h"
#include "ops/AutoProgramWorker.h"
#include "production/PassLedger.h"
#include "production/ProductionLog.h"

namespace {

int g_signalPipe[2] = {-1, -1};

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
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &oldInt_);
    sigaction(SIGTERM, &sa, &oldTerm_);
    installed_ = true;
  }
  ~SignalWatch() {
    if (!installed_) return;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  }
  // Waits up to ms for signals; how many came.
  int Wait(int ms) {
    if (!installed_) {
      usleep(static_cast<useconds_t>(ms) * 1000);
      return 0;
    }
    pollfd p{g_signalPipe[0], POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return 0;
    char buf[16];
    const auto n = read(g_signalPipe[0], buf, sizeof buf);
    return n > 0 ? static_cast<int>(n) : 0;
  }

 private:
  bool installed_ = false;
  struct sigaction oldInt_ {}, oldTerm_ {};
};

// Prints what the stations report, one whole line at a time, and appends the
// production log; the stations call in from their own threads.
class GangOutput final : public StationListener {
 public:
  GangOutput(CliSession& session, const CliArgs& args, WriterCommand command)
      : session_(session), args_(args), command_(command) {}

  void Note(const WriterStation& station, const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (session_.Json()) {
      notes_[station.Name()].push_back(text);
      session_.Err() << station.Name() << ": " << text << std::endl;
    } else {
      session_.Out() << station.Name() << ": " << text << std::endl;
    }
  }

  void PassEnded(const WriterStation& station, const StationPass& pass) override {
    const bool autoProgram =
        command_ == WriterCommand::AutoProgram || command_ == WriterCommand::AutoProgramNoBlankCheck;
    const MainState& state = pass.state;
    std::lock_guard lock(mutex_);
    if (autoProgram && args_.log && !logFailed_) {
      std::string error;
      if (!AppendProductionLog(*args_.log, PassLogEntry(state, pass.outcome, std::chrono::system_clock::now()),
                               &error)) {
        // The log must stay true: no Writer starts another pass.
        logFailed_ = true;
        session_.Err() << "writer-cli: cannot write the production log " << *args_.log << ": " << error
                       << std::endl;
      }
    }
    const std::string& name = station.Name();
    if (session_.Json()) {
      OperationReport r;
      r.writer = name;
      r.command = args_.command->name;
      r.port = name;
      r.device = state.DeviceName;
      r.image = state.CurrentFileName;
      r.checksum = pass.outcome.pass ? pass.outcome.pass->checksum : state.Panel.Label11;
      r.outcome = pass.outcome;
      r.lines = pass.lines;
      r.messages = std::exchange(notes_[name], {});
      if (pass.outcome.pass && !pass.outcome.pass->serial.empty()) r.serial = pass.outcome.pass->serial;
      if (pass.outcome.pass) r.passCount = state.Panel.Label13;
      r.started = pass.started;
      r.ended = pass.ended;
      session_.Out() << JsonLine(r) << std::endl;
      return;
    }
    std::ostream& out = session_.Out();
    for (const std::string& line : pass.lines) out << name << ": " << line << '\n';
    if (pass.outcome.pass) {
      out << name << ": Pass Count : " << state.Panel.Label13 << '\n';
      if (!pass.outcome.pass->serial.empty()) out << name << ": Serial No. (HEX) : " << pass.outcome.pass->serial << '\n';
    }
    out.flush();
  }

  bool LogFailed() {
    std::lock_guard lock(mutex_);
    return logFailed_;
  }

 private:
  CliSession& session_;
  const CliArgs& args_;
  WriterCommand command_;
  std::mutex mutex_;
  std::map<std::string, std::vector<std::string>> notes_;
  bool logFailed_ = false;
};

std::string SummaryLine(const std::string& name, const StationTotals& t) {
  std::string line = "summary: " + name + " passes " + std::to_string(t.passes) + ", ok " + std::to_string(t.ok) +
                     ", failed " + std::to_string(t.failed) + ", interrupted " + std::to_string(t.interrupted) +
                     ", serials " + (t.firstSerial.empty() ? std::string("none") : t.firstSerial + "-" + t.lastSerial);
  if (t.portFailed) line += " (port not opened)";
  if (t.aborted) line += " (aborted)";
  return line;
}

// Every Writer records its passes in the run's ledger job, through a use of
// its own on its own port (the Ledger serialises its calls). `base` is the
// run's, opened as for one Writer; it must outlive the others.
int OpenGangLedgers(CliSession& session, const CliArgs& args, const std::vector<std::string>& writers,
                    std::unique_ptr<PassLedger>& base, std::vector<std::unique_ptr<PassLedger>>& out) {
  if (const int stop = OpenRunLedger(session, args, base)) return stop;
  const std::shared_ptr<Ledger> shared(std::shared_ptr<Ledger>(), &base->Store());
  const MainState& state = session.State();
  for (const std::string& name : writers)
    out.push_back(std::make_unique<PassLedger>(
        shared, base->Job(), base->Station(), name,
        state.QtpMode && args.qtp ? QtpFileRecords(*args.qtp, state.SerialLsbFirst != 0) : QtpRecordReader()));
  return kExitSuccess;
}

}  // namespace

bool IsGang(const CliArgs& args) { return args.writers.size() > 1 || args.Has("--wait-for-part"); }

int RunGang(CliSession& session, const CliArgs& args, WriterCommand command, int passes) {
  MainState& state = session.State();
  if (!CommandOffered(command, state)) {
    session.Err() << "writer-cli: " << RefusalText(command, state, session.DeviceChoice()) << std::endl;
    return kExitError;
  }
  std::vector<std::string> writers = args.writers;
  if (writers.empty()) writers.push_back(session.PortName());
  const bool autoProgram = command == WriterCommand::AutoProgram || command == WriterCommand::AutoProgramNoBlankCheck;
  std::unique_ptr<PassLedger> runLedger;
  std::vector<std::unique_ptr<PassLedger>> ledgers;
  const bool recorded = autoProgram || command == WriterCommand::ForceWrite;
  if (recorded)
    if (const int stop = OpenGangLedgers(session, args, writers, runLedger, ledgers)) return stop;
  if (autoProgram && args.log) {
    std::string error;
    if (!ProductionLogWritable(*args.log, &error)) {
      session.Err() << "writer-cli: cannot write the production log " << *args.log << ": " << error << std::endl;
      return kExitError;
    }
  }

  GangOutput output(session, args, command);
  std::vector<std::unique_ptr<WriterStation>> stations;
  for (const std::string& name : writers) {
    StationSetup setup;
    if (args.trace) {
      // One trace per Writer: FILE, or FILE.1, FILE.2 ... in the order given.
      const std::string path = writers.size() == 1 ? *args.trace : *args.trace + "." + std::to_string(stations.size() + 1);
      std::shared_ptr<std::ostream> trace = OpenTraceFile(path);
      if (!trace) {
        session.Err() << "writer-cli: cannot write the trace " << path << std::endl;
        return kExitError;
      }
      setup.device = [trace] {
        return std::make_unique<TracingSerialDevice>(std::make_unique<PosixSerialDevice>(), trace,
                                                     SystemClock::Instance());
      };
    }
    setup.name = name;
    setup.port = {name, args.handshake};
    setup.command = command;
    setup.inputs = session.Inputs();
    setup.passes = passes;
    setup.waitForPart = args.Has("--wait-for-part");
    setup.yes = args.yes;
    if (recorded) setup.ledger = ledgers[stations.size()].get();
    stations.push_back(std::make_unique<WriterStation>(std::move(setup), state, output));
  }
  SignalWatch signals;
  for (auto& station : stations) station->Start();
  int signalsSeen = 0;
  bool stopping = false;
  for (;;) {
    bool running = false;
    for (auto& station : stations) running = running || !station->Finished();
    if (!running) break;
    signalsSeen += signals.Wait(50);
    if ((signalsSeen >= 1 || output.LogFailed()) && !stopping) {
      stopping = true;
      for (auto& station : stations) station->StopAfterPass();
    }
    if (signalsSeen >= 2)
      for (auto& station : stations) station->StopNow();
  }
  bool clean = !output.LogFailed();
  std::ostream& summary = session.Json() ? session.Err() : session.Out();
  for (auto& station : stations) {
    station->Join();
    const StationTotals totals = station->Totals();
    clean = clean && totals.Clean();
    summary << SummaryLine(station->Name(), totals) << '\n';
  }
  summary.flush();
  if (output.LogFailed()) return kExitError;
  return clean ? kExitSuccess : kExitOutcome;
}
