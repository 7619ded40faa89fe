#include "cli/CliSession.h"

#include <filesystem>
#include <ostream>

#include "app/DeviceCatalogue.h"
#include "app/StateReset.h"
#include "cli/ConsolePanel.h"
#include "files/Checksum.h"
#include "files/OpenCommands.h"
#include "files/ProgramFile.h"
#include "production/QtpFile.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/PosixSerialDevice.h"
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

CliSession::CliSession(const CliArgs& args, std::ostream& out, std::ostream& err)
    : args_(args), out_(out), err_(err), prompts_(out, err, args.yes) {}

CliSession::~CliSession() {
  if (comm_) comm_->Close();
}

bool CliSession::Prepare() {
  state_.CurrentFileName.clear();
  state_.StartDir = CurrentDir();
  BlankStartState(state_);
  // As in the window once it is shown: a PIC image of the wrong core is then
  // reported when it is translated.
  state_.MemoryWindowOpen = 1;

  deviceChoice_ = args_.ic ? *args_.ic : GetIcName(0);
  if (args_.ic && GetICInfo(state_, *args_.ic) < 0) {
    err_ << "writer-cli: unknown device \"" << *args_.ic << "\" (known: " << KnownDevices() << ")" << std::endl;
    return false;
  }
  // As a choice in the device list: the device's parameters, blank buffers.
  ResetData();
  if (args_.ic && state_.NeedsAdaptor == 1) out_ << "Please add the adaptor" << std::endl;

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

bool CliSession::LoadCfg(bool fullLoad) {
  CfgLoadHooks hooks;
  hooks.selectPort = [this](int index) {
    if (index >= 0 && index < 8) cfgPort_ = "Com" + std::to_string(index + 1);
  };
  hooks.showDevice = [this](const std::string& name) { deviceChoice_ = name; };
  hooks.calChecksum = [this] { ::CalChecksum(state_); };
  hooks.refreshData = [this] { ::RefreshData(state_); };
  hooks.loadImage = [this](const std::string& path) { return LoadProgramImage(state_, prompts_, path); };
  return LoadCfgFile(state_, prompts_, fullLoad, hooks);
}

void CliSession::ResetData() {
  ResetDeviceData(state_, deviceChoice_);
  ::RefreshData(state_);
}

bool CliSession::LoadConfig(const std::string& path) {
  if (!CheckedFile(path)) return false;
  OpenHooks hooks;
  hooks.loadCfg = [this](bool fullLoad) { return LoadCfg(fullLoad); };
  hooks.resetData = [this] { ResetData(); };
  return LoadConfigFile(state_, path, hooks);
}

bool CliSession::LoadImage(const std::string& path) {
  if (!CheckedFile(path)) return false;
  OpenHooks hooks;
  hooks.refreshData = [this] { ::RefreshData(state_); };
  // "Open" turns off the serial-number mode of --config or of a configuration
  // it reads itself: a job meant for --config would make parts without numbers.
  const bool serialMode = state_.SerialMode;
  std::string serialConfig;
  hooks.loadCfg = [this, &serialConfig](bool fullLoad) {
    const bool loaded = LoadCfg(fullLoad);
    if (state_.SerialMode) serialConfig = state_.CfgPath;
    return loaded;
  };
  hooks.resetData = [this] { ResetData(); };
  const OpenOutcome outcome = OpenImageOrConfig(state_, prompts_, path, hooks);
  FinishOpen(state_);
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
  if (LoadQtpFile(state_, path, prompts_)) return true;
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
    comm_ = std::make_unique<TComm>(std::make_unique<PosixSerialDevice>());
    // Comm1 as the window stores it; CheckComPort sets the line itself.
    comm_->SetReadBufSize(8192);
    comm_->SetWriteBufSize(0);
    comm_->SetMonitorEvents(kAllCommEvents);
    link_ = std::make_unique<WriterLink>(state_, *comm_, SystemClock::Instance());
  }
  PortSelection choice;
  choice.port = args_.portPath ? *args_.portPath : args_.port ? *args_.port : cfgPort_ ? *cfgPort_ : "Com1";
  choice.handshake = args_.handshake;
  prompts_.ReportFailuresOnStderr(true);
  link_->CheckComPort(choice, prompts_);
  prompts_.ReportFailuresOnStderr(false);
  return !state_.PortFailed;
}

WriterLink& CliSession::Link() { return *link_; }
TComm& CliSession::Comm() { return *comm_; }

int CliSession::RunOperation(const OperationLayout& layout, const Worker& worker) {
  if (!OpenPort()) return 2;
  ConsolePanel panel(layout, out_);
  prompts_.ClearMessageCount();
  RunAndPrint(panel, worker);
  // A message box of the main window on the way is no success either.
  return panel.Succeeded() && prompts_.MessagesShown() == 0 ? 0 : 1;
}

void CliSession::RunAndPrint(ConsolePanel& panel, const Worker& worker) {
  InlineHandover handover;
  OperationContext ctx{state_, *link_, SystemClock::Instance(), Inputs(), {}, panel, handover, &prompts_};
  try {
    worker(ctx);
  } catch (...) {
    // The line failed under the operation: show how far it got, then the failure.
    panel.PrintLines();
    throw;
  }
  panel.PrintLines();
}

void CliSession::PrintChecksums() {
  ::CalChecksum(state_);
  out_ << "Checksum: " << state_.Panel.Label11 << '\n'
       << "OPTION Sum: " << state_.Panel.OptChecksum << '\n'
       << "Protect Sum: " << state_.Panel.ProtectSum << std::endl;
}
