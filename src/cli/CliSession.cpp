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
#include "commands/WriterSession.h"
#include "files/Checksum.h"
#include "files/ProgramFile.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/OpenFailure.h"
#include "link/PosixSerialDevice.h"
#include "link/TracingSerialDevice.h"
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

CliSession::~CliSession() = default;

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

bool CliSession::TracedDevice(const std::string& path, std::function<std::unique_ptr<SerialDevice>()>& device) {
  std::shared_ptr<std::ostream> trace = OpenTraceFile(path);
  if (!trace) {
    err_ << "writer-cli: cannot write the trace " << path << std::endl;
    return false;
  }
  device = [trace] {
    return std::make_unique<TracingSerialDevice>(std::make_unique<PosixSerialDevice>(), trace,
                                                 SystemClock::Instance());
  };
  return true;
}

bool CliSession::OpenPort() {
  if (writer_ && writer_->Comm().Enabled() && !state_.PortFailed) return true;  // open since an earlier pass
  PortSelection choice;
  choice.port = PortName();
  choice.handshake = args_.handshake;
  if (!writer_) {
    SessionSetup setup;
    setup.name = choice.port;
    setup.port = choice;
    setup.yes = args_.yes;
    if (args_.trace && !TracedDevice(*args_.trace, setup.device)) return false;
    quiet_ = std::make_unique<SessionListener>();
    writer_ = std::make_unique<WriterSession>(std::move(setup), state_, *quiet_);
  }
  portUsed_ = choice.port;
  prompts_.ReportFailuresOnStderr(true);
  writer_->Link().CheckComPort(choice, prompts_);
  prompts_.ReportFailuresOnStderr(false);
  if (!state_.PortFailed) return true;
  if (const auto why = PortOpenFailureReason(choice.port, writer_->Comm().LastOpenError()); !why.empty())
    err_ << "writer-cli: " << why << std::endl;
  return false;
}

std::string CliSession::PortName() const {
  return args_.portPath ? *args_.portPath : args_.port ? *args_.port : cfgPort_ ? *cfgPort_ : "Com1";
}

void CliSession::ListenQuietly() { writer_->SetListener(*quiet_); }

WriterLink& CliSession::Link() { return writer_->Link(); }
TComm& CliSession::Comm() { return writer_->Comm(); }

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

int CliSession::RunOperation(WriterCommand command, const OperationLayout& layout, const Worker& worker) {
  if (!OpenPort()) return kExitError;
  ConsolePanel panel(layout, out_, Json());
  const auto started = std::chrono::system_clock::now();
  prompts_.TakeShown();
  const auto report = [&](const Outcome& outcome) {
    std::vector<std::string> messages = panel.Messages();
    for (std::string& text : prompts_.TakeShown()) messages.push_back(std::move(text));
    Emit(outcome, panel.Lines(), std::move(messages), true, started);
  };
  Outcome outcome;
  // How far it got when the line failed under it: the worker's own outcome.
  const Worker tracked = [&](OperationContext& ctx) {
    try {
      return outcome = worker(ctx);
    } catch (...) {
      outcome = ctx.outcome;
      throw;
    }
  };
  try {
    outcome = writer_->Run(command, tracked, panel, &prompts_, Inputs()).outcome;
  } catch (const std::exception& e) {
    // Show how far it got, then the failure.
    outcome.EndByLineFault(e.what());
    report(outcome);
    throw;
  }
  report(outcome);
  return ExitStatusOf(outcome);
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
  if (outcome.pass) r.passCount = std::to_string(outcome.pass->passCount);
  r.started = started;
  r.ended = std::chrono::system_clock::now();
  out_ << JsonLine(r) << std::endl;
}

std::vector<std::string> CliSession::ChecksumLines() {
  ::CalChecksum(state_);
  return {"Checksum: " + state_.Panel.Label11, "OPTION Sum: " + state_.Panel.OptChecksum,
          "Protect Sum: " + state_.Panel.ProtectSum};
}
