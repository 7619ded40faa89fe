#pragma once
// One Writer's session: its port and link, the pass ledger of its job (on a
// connection of its own), the production log and when the next pass may
// start, owned in one place. Every Writer operation runs on the session's
// own thread; a front end (the window, writer-cli, the gang) starts work on
// it and listens. What a pass did comes back as one PassReport, from which
// the log, the ledger, --json, the console, the panel and the tiles are drawn.
//
// A session works either on the front end's state (the window's, writer-cli's,
// whose routines it hands over) or on a copy of its own taken when it is made
// (one Writer of several: its transfer buffer, pass count and stamped image
// are its own, and the main state is never touched while the batch runs).
//
// With "wait for a part" the session asks the Writer every poll interval with
// the read header of the OPTION area (answered 0xFE while the socket is
// empty): a part already seated is programmed at once; after each pass it
// waits for the socket to empty and then to hold a new part. A failed pass
// then does not end the batch: the technician takes that part out.

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/MainState.h"
#include "app/Prompts.h"
#include "commands/RunPreparation.h"
#include "commands/WriterCommands.h"
#include "link/Clock.h"
#include "link/WriterLink.h"
#include "ops/Handover.h"
#include "ops/Operation.h"
#include "ops/Outcome.h"
#include "ops/RecordingPanel.h"
#include "production/ProductionLog.h"

class SerialDevice;
class TComm;
class PassLedger;
class WriterSession;

struct SessionSetup {
  std::string name;    // as the user gave it: "Com2" or a device path
  PortSelection port;  // what is opened; port.port is usually the name
  bool yes = false;    // questions get the go-ahead instead of the safe answer
  Clock* clock = &SystemClock::Instance();
  // The line to the Writer; null: the system's serial device.
  std::function<std::unique_ptr<SerialDevice>()> device;
  std::chrono::milliseconds pollInterval{250};
  std::chrono::milliseconds waitingRepeat{60000};
};

// A run of passes on the session's thread.
struct BatchSetup {
  // AutoProgram, AutoProgramNoBlankCheck, ForceWrite, BlankCheck or Verify.
  WriterCommand command = WriterCommand::AutoProgram;
  HeaderInputs inputs;
  int passes = 1;  // 0: until stopped (with waitForPart)
  bool waitForPart = false;
  // The entry guard and questions run first, on the session's thread; false:
  // the front end ran them already (writer-cli with one Writer).
  bool prepare = true;
  // Called on the session's thread as the batch ends, so whoever waits for
  // it wakes at once.
  std::function<void()> ended;
};

// What one pass came to.
struct PassReport {
  Outcome outcome;
  std::vector<std::string> lines;     // the window's lines, as writer-cli prints them
  bool numbered = false;              // serial-number mode was on
  long long passCount = 0;            // the pass count after it
  std::string serial;                 // the number stamped into this part; empty: none
  std::string device, image;          // as the pass began
  // The number the next part gets, as the ledger says; none when unknown,
  // "" when the job has no number left.
  std::optional<std::string> next;
  std::optional<ProductionLogEntry> log;  // the line appended to the production log
  std::string logError;                   // the log could not be written: the batch stops
  // This Writer's use of the run's ledger could not be opened: no byte went
  // to the Writer. Why.
  std::string setupFailure;
  bool setupRefused = false;  // by the ledger's rules (a station in use, a bad name): not lost
  std::chrono::system_clock::time_point started, ended;
  // The next pass may not start: the ledger refused or was lost, the log
  // failed, the QTP file ended.
  bool BatchOver() const;
};

// Called on the session's thread.
class SessionListener {
 public:
  virtual ~SessionListener() = default;
  // "Waiting for a part", "Programming 45%", "OK  serial 0012", "FAIL  Data verify Fail!!".
  virtual void StateChanged(const WriterSession&, const std::string& /*words*/) {}
  virtual void Progress(const WriterSession&, int /*percent*/) {}
  // A line for the user: a message box or question, a port that did not
  // open, a new job, an interrupted pass, "waiting for a part".
  virtual void Note(const WriterSession&, const std::string& /*text*/) {}
  // What the ledger says as the run starts: a new job, passes found interrupted.
  virtual void LedgerNote(const WriterSession& session, const std::string& text) { Note(session, text); }
  virtual void PassEnded(const WriterSession&, const PassReport&) {}
};

struct SessionTotals {
  int passes = 0, ok = 0, failed = 0, interrupted = 0;
  std::string firstSerial, lastSerial;  // the numbers parts got, first and last
  bool portFailed = false;              // the port never opened
  bool aborted = false;                 // a question was answered Abort
  bool refused = false;                 // the ledger refused a pass (no number, another job's settings)
  bool ledgerFailed = false;            // the ledger could not be used: why in ledgerError
  bool logFailed = false;               // the production log could not be written
  std::string ledgerError;
  // Every pass succeeded and the batch ran as asked.
  bool Clean() const {
    return !portFailed && !aborted && !refused && !ledgerFailed && !logFailed && failed == 0 && interrupted == 0;
  }
};

class WriterSession final {
 public:
  // Works on `state`, which the caller keeps alive; routines are handed over.
  WriterSession(SessionSetup setup, MainState& state, SessionListener& listener);
  // Works on a copy of `main` of its own, taken here on the caller's thread.
  static std::unique_ptr<WriterSession> OnCopy(SessionSetup setup, const MainState& main, SessionListener& listener);
  ~WriterSession();  // stops at once and joins
  WriterSession(const WriterSession&) = delete;
  WriterSession& operator=(const WriterSession&) = delete;

  const std::string& Name() const { return setup_.name; }
  // Only while no work runs.
  void SetListener(SessionListener& listener) { listener_ = &listener; }
  // The port the window has chosen now, as the ledger records it; only while no work runs.
  void SetPort(const PortSelection& port) {
    setup_.name = port.port;
    setup_.port = port;
  }
  const SessionSetup& Setup() const { return setup_; }
  TComm& Comm() { return *comm_; }
  WriterLink& Link() { return *link_; }
  MainState& State() { return state_; }
  const MainState& State() const { return state_; }
  // The command layer's view of this Writer, for a front end that runs the
  // guards on its own thread (its own prompts answer the questions).
  CommandFrontEnd& Front(Prompts& prompts);

  // The passes of Auto Program and force write are recorded under this run
  // (the front end prepared it) from the next pass on; null: not recorded.
  // The session opens its own ledger connection on its thread before the
  // first, unless the run is this Writer's alone (`own`): then it takes the run's.
  void UseRun(std::shared_ptr<const RunStart> run, bool own = false);

  // A batch of passes on the session's thread; a batch before it is joined first.
  void Start(BatchSetup batch);
  // One operation on the session's thread with the front end's panel,
  // hand-over and prompts (the window's operation windows). `done` is called
  // on the session's thread with the report; an exception of the line is
  // in `fault` (empty: none).
  using Done = std::function<void(PassReport report, std::string fault)>;
  // `command` says whether the pass is recorded in the ledger (Auto Program,
  // force write) and logged (Auto Program).
  void StartOperation(WriterCommand command, Worker worker, OperationPanel& panel, Handover& handover,
                      Prompts* prompts, HeaderInputs inputs, Done done);
  // One operation on the session's thread, waited for; a fault of the line
  // is thrown again here.
  PassReport Run(WriterCommand command, const Worker& worker, OperationPanel& panel, Prompts* prompts,
                 HeaderInputs inputs);

  // No pass starts after the running one; a wait for a part ends at once.
  void StopAfterPass();
  // The running pass is cut off through the stop token.
  void StopNow();
  void Join();
  bool Finished() const { return finished_.load(); }
  bool Running() const { return thread_.joinable() && !finished_.load(); }
  SessionTotals Totals() const;

 private:
  enum class Socket { Seated, Empty, NoWriter, Wrong };
  class Panel;
  class SessionPrompts;
  class FrontEnd;

  WriterSession(SessionSetup setup, std::unique_ptr<MainState> own, MainState* shared, SessionListener& listener);
  void Launch(std::function<void(std::stop_token)> body);
  void RunBatch(std::stop_token stop, const BatchSetup& batch);
  bool WaitForPart(std::stop_token stop, const BatchSetup& batch, bool afterPass);
  Socket Look(const HeaderInputs& inputs);
  bool Nap(std::stop_token stop);
  // The run's ledger ready on this thread: false, with the reason in `why`, when passes must not start.
  bool ReadyRun(PassReport& report);
  PassReport RunPass(WriterCommand command, const Worker& worker, OperationPanel& panel, Handover& handover,
                     Prompts* prompts, const HeaderInputs& inputs, std::stop_token stop, std::string& fault,
                     std::exception_ptr* error = nullptr);
  void Count(const PassReport& report);
  void SetState(const std::string& words);
  bool Halted(std::stop_token stop) const { return stop.stop_requested() || stopAfterPass_.load(); }

  SessionSetup setup_;
  SessionListener* listener_;
  std::unique_ptr<MainState> own_;
  MainState& state_;
  std::unique_ptr<TComm> comm_;
  std::unique_ptr<WriterLink> link_;
  std::unique_ptr<SessionPrompts> prompts_;
  std::unique_ptr<FrontEnd> front_;
  InlineHandover inline_;
  mutable std::mutex mutex_;
  SessionTotals totals_;
  // The run: on the session's thread only, but for what the front end hands in under mutex_.
  std::shared_ptr<const RunStart> run_;
  bool runOwn_ = false;
  bool runChanged_ = false;
  std::unique_ptr<PassLedger> ledger_;
  std::atomic<bool> stopAfterPass_{false};
  std::atomic<bool> finished_{true};
  std::stop_source stopSource_{std::nostopstate};
  std::thread thread_;
};

// The worker of a command a batch runs.
Worker WorkerOf(WriterCommand command);
bool IsAutoProgram(WriterCommand command);
