#pragma once
// One run of writer-cli: the state the main window would hold, the device
// choice, the files of the command line and, for commands that talk to the
// Writer, the serial port. Nothing here reads or writes Default.cfg.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MainState.h"
#include "cli/CliArgs.h"
#include "cli/ConsolePanel.h"
#include "cli/ConsolePrompts.h"
#include "commands/WriterCommands.h"
#include "link/WriterLink.h"
#include "ops/Operation.h"
#include "ops/OperationPanel.h"

class TComm;
class SerialDevice;
class WriterSession;
class SessionListener;

class CliSession final : public CommandFrontEnd {
 public:
  CliSession(const CliArgs& args, std::ostream& out, std::ostream& err);
  ~CliSession() override;

  MainState& State() { return state_; }
  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }
  ConsolePrompts& prompts() override { return prompts_; }
  // --json: standard output carries only the operations' objects.
  bool Json() const { return args_.json; }

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
  bool PortReady() override { return OpenPort(); }
  WriterLink& Link() override;
  TComm& Comm();
  // The Writer session of the port, made by OpenPort: every operation runs on it.
  WriterSession& Writer() { return *writer_; }
  // The session's events go nowhere again (after a batch that printed them).
  void ListenQuietly();
  // The port the Writer is (or will be) on, as named on the command line or
  // by the configuration: the ledger records it.
  std::string PortName() const;
  // The trace file's device wrapping, for a Writer's session; empty without
  // --trace. False, with the reason on standard error, when it cannot be written.
  bool TracedDevice(const std::string& path,
                    std::function<std::unique_ptr<SerialDevice>()>& device);

  // The command layer's guards and preparations, and the refusal of a command
  // the window would not offer now. The exit status to end with, or 0 to go on.
  int Start(WriterCommand command);

  // Runs a worker on the Writer's session with a console panel, reports what
  // its window shows and returns the exit status its outcome gives, also when
  // the line fails under it (the failure then goes on to the caller). Opens
  // the port first.
  int RunOperation(WriterCommand command, const OperationLayout& layout, const Worker& worker);
  // Reports a command that is no worker (the probe, the file tools): its lines
  // on standard output, or with --json its object.
  void Report(const Outcome& outcome, const std::vector<std::string>& lines, bool staged,
              std::chrono::system_clock::time_point started);

  // The panel's three checksum captions, after CalChecksum.
  std::vector<std::string> ChecksumLines();

 private:
  bool LoadConfig(const std::string& path);
  bool LoadImage(const std::string& path);
  void ResetData();
  bool CheckedFile(const std::string& path);
  bool LoadQtp(const std::string& path);
  struct LoadView Loads();
  void Emit(const Outcome& outcome, std::vector<std::string> lines, std::vector<std::string> messages,
            bool staged, std::chrono::system_clock::time_point started);

  const CliArgs& args_;
  std::ostream& out_;
  std::ostream& err_;
  ConsolePrompts prompts_;
  MainState state_;
  std::string deviceChoice_;
  std::optional<std::string> cfgPort_;   // the port a configuration file chose
  std::optional<std::string> portUsed_;  // the port opened, as named on the command line
  std::unique_ptr<SessionListener> quiet_;
  std::unique_ptr<WriterSession> writer_;
};

// The exit status an outcome gives: 0 when it succeeded, else 1.
int ExitStatusOf(const Outcome& outcome);
