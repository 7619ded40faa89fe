#include "commands/WriterStation.h"

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

bool IsAutoProgram(WriterCommand command) {
  return command == WriterCommand::AutoProgram || command == WriterCommand::AutoProgramNoBlankCheck;
}

const OperationLayout& LayoutOf(WriterCommand command) {
  switch (command) {
    case WriterCommand::ForceWrite: return ForceWriteLayout();
    case WriterCommand::BlankCheck: return BlankCheckLayout();
    case WriterCommand::Verify: return VerifyLayout();
    default: return AutoProgramLayout();
  }
}

Worker WorkerOf(WriterCommand command) {
  switch (command) {
    case WriterCommand::ForceWrite: return ForceWriteWorker;
    case WriterCommand::BlankCheck: return BlankCheckWorker;
    case WriterCommand::Verify: return VerifyWorker;
    default: return AutoProgramWorker;
  }
}

const char* Doing(WriterCommand command) {
  switch (command) {
    case WriterCommand::BlankCheck: return "Blank checking";
    case WriterCommand::Verify: return "Verifying";
    default: return "Programming";
  }
}

}  // namespace

// The station's window: it keeps what the worker shows and tells the
// listener how far the pass has come. Auto Program has no gauge; its data
// stream shows the word it has reached.
class WriterStation::Panel final : public RecordingPanel {
 public:
  Panel(WriterStation& station, const OperationLayout& layout)
      : RecordingPanel(layout, false), station_(station) {}

  void SetGauge(int percent) override {
    RecordingPanel::SetGauge(percent);
    Report(percent);
  }
  void SetText(std::string_view control, std::string_view text) override {
    RecordingPanel::SetText(control, text);
    if (control != "Label3" || !IsAutoProgram(station_.setup_.command) || text.size() != 4) return;
    unsigned word = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), word, 16);
    const int bytes = station_.state_.ProgramBytes;
    if (ec == std::errc() && end == text.data() + text.size() && bytes > 0)
      Report(std::min(100, static_cast<int>(word * 2 * 100 / static_cast<unsigned>(bytes))));
  }

 protected:
  void OnMessage(const std::string& text) override { station_.listener_.Note(station_, text); }

 private:
  void Report(int percent) {
    station_.listener_.Progress(station_, percent);
    station_.SetState(std::string(Doing(station_.setup_.command)) + " " + std::to_string(percent) + "%");
  }
  WriterStation& station_;
};

// Nobody to click at a station: a question gets its unattended answer.
class WriterStation::StationPrompts final : public Prompts {
 public:
  explicit StationPrompts(WriterStation& station) : station_(station) {}
  void Message(const std::string& text, const std::string&, PromptIcon) override {
    station_.listener_.Note(station_, text);
  }
  PromptAnswer Ask(const std::string& text, const std::string&, PromptButtons buttons, PromptIcon) override {
    station_.listener_.Note(station_, text);
    return UnattendedAnswer(buttons, station_.setup_.yes);
  }
  std::optional<FileChoice> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileChoice> SaveFile(const FileDialogRequest&) override { return std::nullopt; }

 private:
  WriterStation& station_;
};

WriterStation::WriterStation(StationSetup setup, const MainState& main, StationListener& listener)
    : setup_(std::move(setup)), listener_(listener), state_(main) {
  // Only the station's own port is opened, by the station.
  state_.PortFailed = 1;
  std::unique_ptr<SerialDevice> device = setup_.device ? setup_.device() : std::make_unique<PosixSerialDevice>();
  comm_ = std::make_unique<TComm>(std::move(device));
  comm_->SetReadBufSize(8192);
  comm_->SetWriteBufSize(0);
  comm_->SetMonitorEvents(kAllCommEvents);
  link_ = std::make_unique<WriterLink>(state_, *comm_, *setup_.clock);
  panel_ = std::make_unique<Panel>(*this, LayoutOf(setup_.command));
  prompts_ = std::make_unique<StationPrompts>(*this);
}

WriterStation::~WriterStation() {
  StopNow();
  Join();
  comm_->Close();
}

void WriterStation::Start() {
  thread_ = std::thread([this, stop = stopSource_.get_token()] {
    link_->SetStopToken(stop);
    Run(stop);
    finished_ = true;
  });
}

void WriterStation::StopAfterPass() { stopAfterPass_ = true; }

void WriterStation::StopNow() {
  stopAfterPass_ = true;
  stopSource_.request_stop();
}

void WriterStation::Join() {
  if (thread_.joinable()) thread_.join();
}

StationTotals WriterStation::Totals() const {
  std::lock_guard lock(mutex_);
  return totals_;
}

Prompts& WriterStation::prompts() { return *prompts_; }

bool WriterStation::PortReady() {
  if (link_->PortReady(setup_.port, *prompts_)) return true;
  if (const auto why = PortOpenFailureReason(setup_.port.port, comm_->LastOpenError()); !why.empty())
    listener_.Note(*this, why);
  return false;
}

void WriterStation::SetState(const std::string& words) { listener_.StateChanged(*this, words); }

void WriterStation::Run(std::stop_token stop) {
  if (setup_.ledger) {
    // Passes this station left open on this port when it last stopped.
    try {
      for (const std::string& text : setup_.ledger->RecoverInterrupted()) listener_.Note(*this, text);
    } catch (const std::exception& e) {
      listener_.Note(*this, std::string("ledger: ") + e.what());
      std::lock_guard lock(mutex_);
      totals_.aborted = true;
      SetState("Ledger error");
      return;
    }
  }
  SetState("Opening the port");
  switch (PrepareCommand(setup_.command, state_, *this)) {
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
  for (int n = 0; setup_.passes == 0 || n < setup_.passes; ++n) {
    if (Halted(stop)) break;
    if (setup_.waitForPart && !WaitForPart(stop, n > 0)) break;
    if (n > 0) {
      if (IsAutoProgram(setup_.command))
        AutoProgramContinueReset(*panel_);
      else
        panel_->Reset();
    }
    RunPass(stop);
    // A Writer that failed or went away stops, unless parts are being seated
    // by hand: then the next part gets its pass.
    if (batchOver_ || (!lastPassOk_ && !setup_.waitForPart)) break;
  }
  if (!lastPassOk_ || stop.stop_requested()) return;
  SetState("Finished");
}

void WriterStation::RunPass(std::stop_token stop) {
  OperationContext ctx{state_, *link_, *setup_.clock, setup_.inputs, stop, *panel_, handover_, prompts_.get()};
  ctx.ledger = setup_.ledger;
  const auto started = std::chrono::system_clock::now();
  SetState(std::string(Doing(setup_.command)) + " 0%");
  try {
    ctx.outcome = WorkerOf(setup_.command)(ctx);
  } catch (const std::exception& e) {
    // The line failed under the pass: the Writer has gone.
    ctx.outcome.EndByLineFault(e.what());
  }
  const Outcome& out = ctx.outcome;
  const std::string serial = out.pass ? out.pass->serial : std::string();
  lastPassOk_ = out.Succeeded();
  // A ledger that gives no number, or is lost, leaves nothing for the next part.
  batchOver_ = (out.pass && out.pass->batchOver) || out.verdict == Verdict::LedgerRefused || !out.ledgerError.empty();
  {
    std::lock_guard lock(mutex_);
    ++totals_.passes;
    if (out.Succeeded())
      ++totals_.ok;
    else if (out.result == OpResult::Stopped)
      ++totals_.interrupted;
    else
      ++totals_.failed;
    if (!serial.empty()) {
      if (totals_.firstSerial.empty()) totals_.firstSerial = serial;
      totals_.lastSerial = serial;
    }
  }
  listener_.PassEnded(*this, StationPass{out, panel_->Lines(), state_, started, std::chrono::system_clock::now()});
  if (out.Succeeded())
    SetState(serial.empty() ? std::string("OK") : "OK  serial " + serial);
  else if (out.result == OpResult::Stopped)
    SetState("Stopped");
  else
    SetState("FAIL  " + out.text);
}

bool WriterStation::WaitForPart(std::stop_token stop, bool afterPass) {
  bool emptied = !afterPass;
  bool noted = false, writerLost = false;
  Clock::Duration lastNote{};
  Clock& clock = *setup_.clock;
  for (;;) {
    if (Halted(stop)) return false;
    const Socket socket = Look();
    if (socket == Socket::Empty) emptied = true;
    if (socket == Socket::Seated && emptied) return true;
    if (socket == Socket::NoWriter && !writerLost) listener_.Note(*this, "the Writer does not answer");
    writerLost = socket == Socket::NoWriter;
    // Repeated, so a part of the wrong type (answered as an empty socket)
    // does not leave the station waiting in silence.
    const auto now = clock.Now();
    if (!noted || now - lastNote >= setup_.waitingRepeat) {
      listener_.Note(*this, "waiting for a part");
      SetState("Waiting for a part");
      noted = true;
      lastNote = now;
    }
    if (!Nap(stop)) return false;
  }
}

WriterStation::Socket WriterStation::Look() {
  try {
    if ((state_.PortFailed || link_->PortGone()) && !link_->Reopen(setup_.port)) return Socket::NoWriter;
    link_->GetHeader(kAreaOption, kModeRead, setup_.inputs);
    switch (link_->Read7BitData(2, true)) {
      case kLinkFinished: return Socket::Seated;
      case kLinkTimeout: return Socket::NoWriter;
      default: return Socket::Empty;
    }
  } catch (const std::exception&) {
    return Socket::NoWriter;
  }
}

bool WriterStation::Nap(std::stop_token stop) {
  // Short slices: a stop is seen within a few milliseconds.
  constexpr Clock::Duration kSlice{10};
  for (Clock::Duration slept{0}; slept < setup_.pollInterval; slept += kSlice) {
    if (Halted(stop)) return false;
    setup_.clock->Sleep(std::min(kSlice, setup_.pollInterval - slept));
  }
  return !Halted(stop);
}
