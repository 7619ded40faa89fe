#include "commands/WriterSession.h"

#include <charconv>
#include <exception>

#include "link/Comm.h"
#include "link/OpenFailure.h"
#include "link/PosixSerialDevice.h"
#include "ops/AutoProgramWorker.h"
#include "ops/BlankCheckWorker.h"
#include "ops/ForceWriteWorker.h"
#include "ops/VerifyWorker.h"
#include "production/PassLedger.h"

namespace {

const OperationLayout& LayoutOf(WriterCommand command) {
  switch (command) {
    case WriterCommand::ForceWrite: return ForceWriteLayout();
    case WriterCommand::BlankCheck: return BlankCheckLayout();
    case WriterCommand::Verify: return VerifyLayout();
    default: return AutoProgramLayout();
  }
}

const char* Doing(WriterCommand command) {
  switch (command) {
    case WriterCommand::BlankCheck: return "Blank checking";
    case WriterCommand::Verify: return "Verifying";
    default: return "Programming";
  }
}

bool Recorded(WriterCommand command) { return IsAutoProgram(command) || command == WriterCommand::ForceWrite; }

}  // namespace

bool IsAutoProgram(WriterCommand command) {
  return command == WriterCommand::AutoProgram || command == WriterCommand::AutoProgramNoBlankCheck;
}

Worker WorkerOf(WriterCommand command) {
  switch (command) {
    case WriterCommand::ForceWrite: return ForceWriteWorker;
    case WriterCommand::BlankCheck: return BlankCheckWorker;
    case WriterCommand::Verify: return VerifyWorker;
    default: return AutoProgramWorker;
  }
}

bool PassReport::BatchOver() const {
  return (outcome.pass && outcome.pass->batchOver) || outcome.verdict == Verdict::LedgerRefused ||
         !outcome.ledgerError.empty() || !logError.empty();
}

// The batch's window: it keeps what the worker shows and tells the listener
// how far the pass has come. Auto Program has no gauge; its data stream
// shows the word it has reached.
class WriterSession::Panel final : public RecordingPanel {
 public:
  Panel(WriterSession& session, WriterCommand command)
      : RecordingPanel(LayoutOf(command), false), session_(session), command_(command) {}

  void SetGauge(int percent) override {
    RecordingPanel::SetGauge(percent);
    Report(percent);
  }
  void SetText(std::string_view control, std::string_view text) override {
    RecordingPanel::SetText(control, text);
    if (control != "Label3" || !IsAutoProgram(command_) || text.size() != 4) return;
    unsigned word = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), word, 16);
    const int bytes = session_.state_.ProgramBytes;
    if (ec == std::errc() && end == text.data() + text.size() && bytes > 0)
      Report(std::min(100, static_cast<int>(word * 2 * 100 / static_cast<unsigned>(bytes))));
  }

 protected:
  void OnMessage(const std::string& text) override { session_.listener_->Note(session_, text); }

 private:
  void Report(int percent) {
    session_.listener_->Progress(session_, percent);
    session_.SetState(std::string(Doing(command_)) + " " + std::to_string(percent) + "%");
  }
  WriterSession& session_;
  WriterCommand command_;
};

// Nobody to click at a Writer of several: a question gets its unattended answer.
class WriterSession::SessionPrompts final : public Prompts {
 public:
  explicit SessionPrompts(WriterSession& session) : session_(session) {}
  void Message(const std::string& text, const std::string&, PromptIcon) override {
    session_.listener_->Note(session_, text);
  }
  PromptAnswer Ask(const std::string& text, const std::string&, PromptButtons buttons, PromptIcon) override {
    session_.listener_->Note(session_, text);
    return UnattendedAnswer(buttons, session_.setup_.yes);
  }
  std::optional<FileChoice> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileChoice> SaveFile(const FileDialogRequest&) override { return std::nullopt; }

 private:
  WriterSession& session_;
};

// The session as the command layer sees it, with a front end's prompts.
class WriterSession::FrontEnd final : public CommandFrontEnd {
 public:
  FrontEnd(WriterSession& session, Prompts& prompts) : session_(session), prompts_(&prompts) {}
  void Use(Prompts& prompts) { prompts_ = &prompts; }
  bool PortReady() override {
    if (session_.link_->PortReady(session_.setup_.port, *prompts_)) return true;
    if (const auto why = PortOpenFailureReason(session_.setup_.port.port, session_.comm_->LastOpenError());
        !why.empty())
      session_.listener_->Note(session_, why);
    return false;
  }
  WriterLink& Link() override { return *session_.link_; }
  Prompts& prompts() override { return *prompts_; }

 private:
  WriterSession& session_;
  Prompts* prompts_;
};

WriterSession::WriterSession(SessionSetup setup, MainState& state, SessionListener& listener)
    : WriterSession(std::move(setup), nullptr, &state, listener) {}

std::unique_ptr<WriterSession> WriterSession::OnCopy(SessionSetup setup, const MainState& main,
                                                     SessionListener& listener) {
  auto own = std::make_unique<MainState>(main);
  // Only the Writer's own port is opened, by the session.
  own->PortFailed = 1;
  return std::unique_ptr<WriterSession>(new WriterSession(std::move(setup), std::move(own), nullptr, listener));
}

WriterSession::WriterSession(SessionSetup setup, std::unique_ptr<MainState> own, MainState* shared,
                             SessionListener& listener)
    : setup_(std::move(setup)), listener_(&listener), own_(std::move(own)), state_(own_ ? *own_ : *shared) {
  std::unique_ptr<SerialDevice> device = setup_.device ? setup_.device() : std::make_unique<PosixSerialDevice>();
  comm_ = std::make_unique<TComm>(std::move(device));
  comm_->SetReadBufSize(8192);
  comm_->SetWriteBufSize(0);
  comm_->SetMonitorEvents(kAllCommEvents);
  link_ = std::make_unique<WriterLink>(state_, *comm_, *setup_.clock);
  prompts_ = std::make_unique<SessionPrompts>(*this);
  front_ = std::make_unique<FrontEnd>(*this, *prompts_);
}

WriterSession::~WriterSession() {
  // A pass the stop cuts off was recorded interrupted on the session's thread.
  StopNow();
  Join();
  comm_->Close();
}

CommandFrontEnd& WriterSession::Front(Prompts& prompts) {
  front_->Use(prompts);
  return *front_;
}

void WriterSession::UseRun(std::shared_ptr<const RunStart> run, bool own) {
  std::lock_guard lock(mutex_);
  run_ = std::move(run);
  runOwn_ = own;
  runChanged_ = true;
}

void WriterSession::Launch(std::function<void(std::stop_token)> body) {
  Join();
  std::stop_token token;
  {
    std::lock_guard lock(mutex_);
    stopSource_ = std::stop_source();
    token = stopSource_.get_token();
  }
  stopAfterPass_ = false;
  finished_ = false;
  link_->SetStopToken(token);
  thread_ = std::thread([this, body = std::move(body), token] {
    body(token);
    finished_ = true;
  });
}

void WriterSession::StopAfterPass() { stopAfterPass_ = true; }

void WriterSession::StopNow() {
  stopAfterPass_ = true;
  std::lock_guard lock(mutex_);
  if (stopSource_.stop_possible()) stopSource_.request_stop();
}

void WriterSession::Join() {
  if (!thread_.joinable()) return;
  thread_.join();
  // The front end's own probes wait normally again.
  link_->SetStopToken({});
}

SessionTotals WriterSession::Totals() const {
  std::lock_guard lock(mutex_);
  return totals_;
}

void WriterSession::SetState(const std::string& words) { listener_->StateChanged(*this, words); }

bool WriterSession::ReadyRun(PassReport& report) {
  std::shared_ptr<const RunStart> run;
  bool own = false;
  {
    std::lock_guard lock(mutex_);
    run = run_;
    own = runOwn_;
    if (std::exchange(runChanged_, false)) ledger_.reset();
  }
  if (!run || !run->ledger || ledger_) return true;
  std::vector<std::string> notes;
  try {
    ledger_ = OpenWriterLedger(*run, state_, setup_.name, !own, notes);
  } catch (const LedgerError& e) {
    report.setupRefused = e.kind() == LedgerError::Kind::Refused;
    report.setupFailure = report.setupRefused ? std::string(e.what()) : "Ledger error: " + std::string(e.what());
    return false;
  }
  for (const std::string& text : notes) listener_->LedgerNote(*this, text);
  return true;
}

PassReport WriterSession::RunPass(WriterCommand command, const Worker& worker, OperationPanel& panel,
                                  Handover& handover, Prompts* prompts, const HeaderInputs& inputs,
                                  std::stop_token stop, std::string& fault, std::exception_ptr* error) {
  PassReport report;
  report.numbered = state_.SerialMode != 0;
  report.device = state_.DeviceName;
  report.image = state_.CurrentFileName;
  report.started = std::chrono::system_clock::now();
  OperationContext ctx{state_, *link_, *setup_.clock, inputs, stop, panel, handover, prompts};
  if (Recorded(command) && !ReadyRun(report)) {
    const std::string& why = report.setupFailure;
    // Not one byte went to the Writer: the pass could not be recorded.
    ctx.outcome.pass.emplace().batchOver = true;
    panel.Red("Label1", why);
    ctx.outcome.Fail(report.setupRefused ? Verdict::LedgerRefused : Verdict::LedgerLost, why);
    if (!report.setupRefused) ctx.outcome.ledgerError = why;
    panel.SetEnabled("Button1", true);
  } else {
    ctx.ledger = Recorded(command) ? ledger_.get() : nullptr;
    try {
      ctx.outcome = worker(ctx);
    } catch (const std::exception& e) {
      fault = e.what();
      if (fault.empty()) fault = "Writer Error!!";
      if (error) *error = std::current_exception();
      ctx.outcome.EndByLineFault(fault);
    }
    // A pass the ledger could not close stays open: it is marked now, or
    // found interrupted when this Writer starts again.
    if (ctx.ledger && ctx.ledger->PassOpen()) ctx.ledger->Interrupt();
  }
  report.outcome = ctx.outcome;
  report.ended = std::chrono::system_clock::now();
  if (const auto* recording = dynamic_cast<const RecordingPanel*>(&panel)) report.lines = recording->Lines();
  if (const auto& pass = report.outcome.pass) {
    report.serial = pass->serial;
    report.passCount = pass->passCount;
    report.next = pass->next;
  }
  std::shared_ptr<const RunStart> run;
  {
    std::lock_guard lock(mutex_);
    run = run_;
  }
  // Every Auto Program pass that ran is logged; one the ledger refused never began.
  if (IsAutoProgram(command) && run && !run->settings.logPath.empty() &&
      report.outcome.verdict != Verdict::LedgerRefused) {
    ProductionLogEntry entry = PassLogEntry(report.device, report.image, report.outcome, report.ended);
    if (AppendProductionLog(run->settings.logPath, entry, &report.logError))
      report.log = std::move(entry);
    else
      report.logError = "cannot write the production log " + run->settings.logPath + ": " + report.logError;
  }
  Count(report);
  return report;
}

void WriterSession::Count(const PassReport& report) {
  const Outcome& out = report.outcome;
  std::lock_guard lock(mutex_);
  ++totals_.passes;
  if (out.Succeeded())
    ++totals_.ok;
  else if (out.result == OpResult::Stopped)
    ++totals_.interrupted;
  else
    ++totals_.failed;
  if (!report.serial.empty() && out.verdict != Verdict::LedgerRefused) {
    if (totals_.firstSerial.empty()) totals_.firstSerial = report.serial;
    totals_.lastSerial = report.serial;
  }
  if (out.verdict == Verdict::LedgerRefused) totals_.refused = true;
  if (!out.ledgerError.empty()) {
    totals_.ledgerFailed = true;
    totals_.ledgerError = out.ledgerError;
  }
  if (!report.logError.empty()) totals_.logFailed = true;
}

void WriterSession::StartOperation(WriterCommand command, Worker worker, OperationPanel& panel, Handover& handover,
                                   Prompts* prompts, HeaderInputs inputs, Done done) {
  Launch([this, command, worker = std::move(worker), &panel, &handover, prompts, inputs = std::move(inputs),
          done = std::move(done)](std::stop_token stop) {
    std::string fault;
    PassReport report = RunPass(command, worker, panel, handover, prompts, inputs, stop, fault);
    if (done) done(std::move(report), std::move(fault));
  });
}

PassReport WriterSession::Run(WriterCommand command, const Worker& worker, OperationPanel& panel, Prompts* prompts,
                              HeaderInputs inputs) {
  PassReport report;
  std::string fault;
  std::exception_ptr error;
  Launch([&](std::stop_token stop) {
    report = RunPass(command, worker, panel, inline_, prompts, inputs, stop, fault, &error);
  });
  Join();
  if (error) std::rethrow_exception(error);
  return report;
}

void WriterSession::Start(BatchSetup batch) {
  Launch([this, batch = std::move(batch)](std::stop_token stop) {
    RunBatch(stop, batch);
    finished_ = true;  // before the wake-up, so whoever wakes finds it over
    if (batch.ended) batch.ended();
  });
}

void WriterSession::RunBatch(std::stop_token stop, const BatchSetup& batch) {
  Panel panel(*this, batch.command);
  if (batch.prepare) {
    SetState("Opening the port");
    switch (PrepareCommand(batch.command, state_, Front(*prompts_))) {
      case CommandStart::Go: break;
      case CommandStart::PortFailed: {
        std::lock_guard lock(mutex_);
        totals_.portFailed = true;
        SetState("Port error");
        return;
      }
      case CommandStart::Aborted: {
        std::lock_guard lock(mutex_);
        totals_.aborted = true;
        SetState("Stopped");
        return;
      }
    }
  }
  const Worker worker = WorkerOf(batch.command);
  bool lastOk = true;
  for (int n = 0; batch.passes == 0 || n < batch.passes; ++n) {
    if (Halted(stop)) break;
    if (batch.waitForPart && !WaitForPart(stop, batch, n > 0)) break;
    if (n > 0) {
      if (IsAutoProgram(batch.command))
        AutoProgramContinueReset(panel);
      else
        panel.Reset();
    }
    SetState(std::string(Doing(batch.command)) + " 0%");
    std::string fault;
    const PassReport report = RunPass(batch.command, worker, panel, inline_, prompts_.get(), batch.inputs, stop, fault);
    const Outcome& out = report.outcome;
    lastOk = out.Succeeded();
    listener_->PassEnded(*this, report);
    if (out.verdict == Verdict::LedgerRefused || !out.ledgerError.empty())
      SetState("Ledger error");
    else if (!report.logError.empty())
      SetState("Log error");
    else if (out.Succeeded())
      SetState(report.serial.empty() ? std::string("OK") : "OK  serial " + report.serial);
    else if (out.result == OpResult::Stopped)
      SetState("Stopped");
    else
      SetState("FAIL  " + out.text);
    // A Writer that failed or went away stops, unless parts are being seated
    // by hand: then the next part gets its pass.
    if (report.BatchOver() || (!lastOk && !batch.waitForPart)) break;
  }
  if (lastOk && !stop.stop_requested()) SetState("Finished");
}

bool WriterSession::WaitForPart(std::stop_token stop, const BatchSetup& batch, bool afterPass) {
  bool emptied = !afterPass;
  bool noted = false;
  Socket trouble = Socket::Seated;  // the Writer's trouble said last; Seated: none
  Clock::Duration lastNote{};
  Clock& clock = *setup_.clock;
  for (;;) {
    if (Halted(stop)) return false;
    const Socket socket = Look(batch.inputs);
    if (socket == Socket::Empty) emptied = true;
    if (socket == Socket::Seated && emptied) return true;
    // A Writer that stops answering, or answers what cannot be read, is said
    // once in red words, and once more when it is back.
    const bool troubled = socket == Socket::NoWriter || socket == Socket::Wrong;
    if (troubled && socket != trouble) {
      const bool silent = socket == Socket::NoWriter;
      listener_->Note(*this, silent ? "the Writer does not answer" : "the Writer answers wrongly");
      SetState(silent ? "Writer does not answer" : "Writer answers wrongly");
      trouble = socket;
      noted = false;
    } else if (!troubled && trouble != Socket::Seated) {
      listener_->Note(*this, "the Writer is back");
      trouble = Socket::Seated;
      noted = false;
    }
    // Repeated, so a part of the wrong type (answered as an empty socket)
    // does not leave the Writer waiting in silence.
    const auto now = clock.Now();
    if (!troubled && (!noted || now - lastNote >= setup_.waitingRepeat)) {
      listener_->Note(*this, "waiting for a part");
      SetState("Waiting for a part");
      noted = true;
      lastNote = now;
    }
    if (!Nap(stop)) return false;
  }
}

WriterSession::Socket WriterSession::Look(const HeaderInputs& inputs) {
  try {
    if ((state_.PortFailed || link_->PortGone()) && !link_->Reopen(setup_.port)) return Socket::NoWriter;
    link_->GetHeader(kAreaOption, kModeRead, inputs);
    switch (link_->Read7BitData(2, true)) {
      case kLinkFinished: return Socket::Seated;
      case kLinkTimeout: return Socket::NoWriter;
      case kLinkSocketError:  // 0xFE: nothing seated, or another type
      case kLinkAdapterError: return Socket::Empty;  // the pass itself says what is wrong
      default: return Socket::Wrong;
    }
  } catch (const std::exception&) {
    return Socket::NoWriter;
  }
}

bool WriterSession::Nap(std::stop_token stop) {
  // Short slices: a stop is seen within a few milliseconds.
  constexpr Clock::Duration kSlice{10};
  for (Clock::Duration slept{0}; slept < setup_.pollInterval; slept += kSlice) {
    if (Halted(stop)) return false;
    setup_.clock->Sleep(std::min(kSlice, setup_.pollInterval - slept));
  }
  return !Halted(stop);
}
