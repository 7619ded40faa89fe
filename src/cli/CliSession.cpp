#include "cli/CliSession.h"

#include <exception>
#include <filesystem>
#include <ostream>

#include "app/DeviceCatalogue.h"
#include "app/StateReset.h"
#include "cli/CliCommands.h"
#include "cli/ConsolePanel.h"
#include "cli/JsonReport.h"
#include "commands/LoadCommands.h"
#include "files/Checksum.h"
#include "files/ProgramFile.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/OpenFailure.h"
#include "link/PosixSerialDevice.h"
#include "link/TracingSerialDevice.h"
#include "ops/Handover.h"
#include "views/OptionScheme.h"

namespace {

std::string CurrentDir() {
  std::error_code ec;
  auto dir = std::filesystem::current_path(ec);
  return ec ? std::string(".") : dir.string();
}

std::string KnownDevices() {
  std::string names;
  for (int i = 0; !GetIcName(i).empty(); ++i) names += (i ? ", " : "") + GetIcName(i);
  return names;
}

}  // namespace

int ExitStatusOf(const Outcome& outcome) { return outcome.Succeeded() ? kExitSuccess : kExitOutcome; }

CliSession::CliSession(const CliArgs& args, std::ostream& out, std::ostream& err)
    : args_(args), out_(out), err_(err), prompts_(out, err, args.yes, args.json) {}

CliSession::~CliSession() {
  if (comm_) comm_->Close();
}

bool CliSession::Prepare() {
  state_.CurrentFileName.clear();
  state_.StartDir = CurrentDir();
  BlankStartState(state_);

  deviceChoice_ = args_.ic ? *args_.ic : GetIcName(0);
  if (args_.ic && GetICInfo(state_, *args_.ic) < 0) {
    err_ << "writer-cli: unknown device \"" << *args_.ic << "\" (known: " << KnownDevices() << ")" << std::endl;
    return false;
  }
  // As a choice in the device list: the device's parameters, blank buffers.
  ResetData();
  if (args_.ic && state_.NeedsAdaptor == 1) (Json() ? err_ : out_) << "Please add the adaptor" << std::endl;

  // Every message box of a load reports a fault of the file: the run stops.
  prompts_.ReportFailuresOnStderr(true);
  prompts_.ClearMessageCount();
  const bool loaded = (!args_.config || LoadConfig(*args_.config)) && (!args_.load || LoadImage(*args_.load)) &&
                      (!args_.qtp || LoadQtp(*args_.qtp));
  if (loaded) {
    if (const std::string warning = ImagePastDeviceWarning(state_); !warning.empty())
      err_ << "writer-cli: " << warning << std::endl;
    return prompts_.MessagesShown() == 0;
  }
  // The image a configuration names can fail to open without a message box.
  if (prompts_.MessagesShown() == 0) err_ << "File can't open! (" << state_.CurrentFileName << ")" << std::endl;
  return false;
}

// The texts of "Open", with the file named, since a script may load several.
bool CliSession::CheckedFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    prompts_.Message("File don't exist! (" + path + ")", {}, PromptIcon::Error);
    return false;
  }
  if (!IsReadableFile(path)) {
    prompts_.Message("File can't open! (" + path + ")", {}, PromptIcon::Error);
    return false;
  }
  return true;
}

LoadView CliSession::Loads() {
  LoadView view;
  view.selectPort = [this](int index) {
    if (index >= 0 && index < 8) cfgPort_ = "Com" + std::to_string(index + 1);
  };
  view.showDevice = [this](const std::string& name) { deviceChoice_ = name; };
  view.resetData = [this] { ResetData(); };
  return view;
}

void CliSession::ResetData() {
  ResetDeviceData(state_, deviceChoice_);
  ::RefreshData(state_);
}

bool CliSession::LoadConfig(const std::string& path) {
  return CheckedFile(path) && LoadConfigPath(state_, prompts_, path, Loads());
}

bool CliSession::LoadImage(const std::string& path) {
  if (!CheckedFile(path)) return false;
  // "Open" turns off the serial-number mode of --config or of a configuration
  // it reads itself: a job meant for --config would make parts without numbers.
  const bool serialMode = state_.SerialMode;
  std::string serialConfig;
  LoadView view = Loads();
  view.configLoaded = [this, &serialConfig] {
    if (state_.SerialMode) serialConfig = state_.CfgPath;
  };
  const OpenOutcome outcome = OpenChosenPath(state_, prompts_, path, view);
  if (serialMode || !serialConfig.empty()) {
    const bool own = !serialConfig.empty();
    err_ << "writer-cli: serial-number mode is off: --load opens " << (own ? serialConfig : path)
         << " as \"Open\" does, which turns it off; " << (own ? "--config " + serialConfig : "--config without --load")
         << " keeps it" << std::endl;
  }
  return outcome == OpenOutcome::Loaded;
}

bool CliSession::LoadQtp(const std::string& path) {
  if (!CheckedFile(path)) return false;
  if (LoadQtpPath(state_, prompts_, path)) return true;
  if (prompts_.MessagesShown() == 0) prompts_.Message("File can't open! (" + path + ")", {}, PromptIcon::Error);
  return false;
}

HeaderInputs CliSession::Inputs() const {
  // The window keeps the pulse-width edits hidden: the headers use the fixed pulses.
  HeaderInputs inputs;
  inputs.deviceChoice = deviceChoice_;
  inputs.pulseEditsVisible = false;
  return inputs;
}

bool CliSession::OpenPort() {
  if (comm_ && comm_->Enabled() && !state_.PortFailed) return true;  // open since an earlier pass
  if (!comm_) {
    std::unique_ptr<SerialDevice> device = std::make_unique<PosixSerialDevice>();
    if (args_.trace) {
      auto trace = OpenTraceFile(*args_.trace);
      if (!trace) {
        err_ << "writer-cli: cannot write the trace " << *args_.trace << std::endl;
        return false;
      }
      device = std::make_unique<TracingSerialDevice>(std::move(device), std::move(trace), SystemClock::Instance());
    }
    comm_ = std::make_unique<TComm>(std::move(device));
    // Comm1 as the window stores it; CheckComPort sets the line itself.
    comm_->SetReadBufSize(8192);
    comm_->SetWriteBufSize(0);
    comm_->SetMonitorEvents(kAllCommEvents);
    link_ = std::make_unique<WriterLink>(state_, *comm_, SystemClock::Instance());
  }
  PortSelection choice;
  choice.port = PortName();
  choice.handshake = args_.handshake;
  portUsed_ = choice.port;
  prompts_.ReportFailuresOnStderr(true);
  link_->CheckComPort(choice, prompts_);
  prompts_.ReportFailuresOnStderr(false);
  if (!state_.PortFailed) return true;
  if (const auto why = PortOpenFailureReason(choice.port, comm_->LastOpenError()); !why.empty())
    err_ << "writer-cli: " << why << std::endl;
  return false;
}

std::string CliSession::PortName() const {
  return args_.portPath ? *args_.portPath : args_.port ? *args_.port : cfgPort_ ? *cfgPort_ : "Com1";
}

WriterLink& CliSession::Link() { return *link_; }
TComm& CliSession::Comm() { return *comm_; }

int CliSession::Start(WriterCommand command) {
  if (!CommandOffered(command, state_)) {
    err_ << "writer-cli: " << RefusalText(command, state_, deviceChoice_) << std::endl;
    return kExitError;
  }
  switch (PrepareCommand(command, state_, *this)) {
    case CommandStart::Go: return kExitSuccess;
    case CommandStart::PortFailed: return kExitError;
    case CommandStart::Aborted: return kExitOutcome;
  }
  return kExitError;
}

int CliSession::RunOperation(const OperationLayout& layout, const Worker& worker) {
  if (!OpenPort()) return kExitError;
  ConsolePanel panel(layout, out_, Json());
  return ExitStatusOf(RunAndReport(panel, worker));
}

Outcome CliSession::RunAndReport(ConsolePanel& panel, const Worker& worker) {
  InlineHandover handover;
  OperationContext ctx{state_, *link_, SystemClock::Instance(), Inputs(), {}, panel, handover, &prompts_};
  ctx.ledger = ledger_;
  const auto started = std::chrono::system_clock::now();
  const std::size_t panelMessages = panel.Messages().size();
  prompts_.TakeShown();
  const auto report = [&] {
    std::vector<std::string> messages = panel.Messages();
    messages.erase(messages.begin(), messages.begin() + static_cast<std::ptrdiff_t>(panelMessages));
    for (std::string& text : prompts_.TakeShown()) messages.push_back(std::move(text));
    Emit(ctx.outcome, panel.Lines(), std::move(messages), true, started);
  };
  try {
    ctx.outcome = worker(ctx);
  } catch (const std::exception& e) {
    // The line failed under the operation: show how far it got, then the failure.
    ctx.outcome.EndByLineFault(e.what());
    report();
    throw;
  }
  report();
  return ctx.outcome;
}

void CliSession::Report(const Outcome& outcome, const std::vector<std::string>& lines, bool staged,
                        std::chrono::system_clock::time_point started) {
  Emit(outcome, lines, prompts_.TakeShown(), staged, started);
}

void CliSession::Emit(const Outcome& outcome, std::vector<std::string> lines, std::vector<std::string> messages,
                      bool staged, std::chrono::system_clock::time_point started) {
  if (!Json()) {
    for (const std::string& line : lines) out_ << line << '\n';
    out_.flush();
    return;
  }
  OperationReport r;
  r.command = args_.command->name;
  r.port = portUsed_;
  r.device = state_.DeviceName;
  r.image = state_.CurrentFileName;
  r.checksum = outcome.pass ? outcome.pass->checksum : state_.Panel.Label11;
  r.outcome = outcome;
  r.staged = staged;
  r.lines = std::move(lines);
  r.messages = std::move(messages);
  if (outcome.pass && !outcome.pass->serial.empty()) r.serial = outcome.pass->serial;
  if (outcome.pass) r.passCount = state_.Panel.Label13;
  r.started = started;
  r.ended = std::chrono::system_clock::now();
  out_ << JsonLine(r) << std::endl;
}

std::vector<std::string> CliSession::ChecksumLines() {
  ::CalChecksum(state_);
  return {"Checksum: " + state_.Panel.Label11, "OPTION Sum: " + state_.Panel.OptChecksum,
          "Protect Sum: " + state_.Panel.ProtectSum};
}
