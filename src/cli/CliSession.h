#pragma once
// One run of writer-cli: the state the main window would hold, the device
// choice, the files of the command line and, for commands that talk to the
// Writer, the serial port. Nothing here reads or writes Default.cfg.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "app/MainState.h"
#include "cli/CliArgs.h"
#include "cli/ConsolePanel.h"
#include "cli/ConsolePrompts.h"
#include "link/WriterLink.h"
#include "ops/Operation.h"
#include "ops/OperationPanel.h"

class TComm;

class CliSession {
 public:
  CliSession(const CliArgs& args, std::ostream& out, std::ostream& err);
  ~CliSession();

  MainState& State() { return state_; }
  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }
  ConsolePrompts& prompts() { return prompts_; }

  // The device list's choice (--ic, or the first catalogue row), then
  // --config, --load and --qtp in that order. False, with the reason on standard
  // error, when the device is unknown or a file could not be loaded.
  bool Prepare();

  // The device list's text, as a command header reads it.
  const std::string& DeviceChoice() const { return deviceChoice_; }
  HeaderInputs Inputs() const;

  // Opens the port as the window's entry guard does (CheckComPort). False,
  // with the reason on standard error, when it could not be opened.
  bool OpenPort();
  WriterLink& Link();
  TComm& Comm();

  // Runs a worker on this thread with a console panel, prints what its window
  // shows and returns the exit status. Opens the port first.
  int RunOperation(const OperationLayout& layout, const Worker& worker);
  // Runs a worker with the given panel, as a window's "Continue" runs its next
  // pass, and prints what it shows, also when the line fails under it (the
  // failure then goes on to the caller). The port must be open (OpenPort).
  void RunAndPrint(ConsolePanel& panel, const Worker& worker);

  // The panel's three checksum captions, after CalChecksum.
  void PrintChecksums();

 private:
  bool LoadConfig(const std::string& path);
  bool LoadImage(const std::string& path);
  void ResetData();
  bool CheckedFile(const std::string& path);
  bool LoadCfg(bool fullLoad);
  bool LoadQtp(const std::string& path);

  const CliArgs& args_;
  std::ostream& out_;
  std::ostream& err_;
  ConsolePrompts prompts_;
  MainState state_;
  std::string deviceChoice_;
  std::optional<std::string> cfgPort_;  // the port a configuration file chose
  std::unique_ptr<TComm> comm_;
  std::unique_ptr<WriterLink> link_;
};
