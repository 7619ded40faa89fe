#pragma once
// The command line of writer-cli:
//
//   writer-cli [--port ComN | --port-path PATH]... [--handshake Default|CTS|None]
//              [--ic NAME] [--config FILE.cfg] [--load IMAGE] [--qtp FILE] [--log FILE]
//              [--trace FILE] [--yes] [--json]
//              [--ledger LOCATION] [--job NAME] [--station NAME]
//              [--serial-policy reuse-failed|strict]
//              COMMAND [ARGS]
//
// Options before or after the command apply to the whole run; an option of
// the command itself (read --save-bin OUT) follows the command.

#include <map>
#include <optional>
#include <string>
#include <vector>

struct CliCommand;

struct CliArgs {
  std::optional<std::string> port;      // "Com1" ... "Com8"
  std::optional<std::string> portPath;  // a device path, used as it is
  // Every --port and --port-path in order, as named ("Com2" or the path);
  // more than one: several Writers at once (see BatchRun.h).
  std::vector<std::string> writers;
  int handshake = 1;                    // 0 Default, 1 CTS, 2 None
  std::optional<std::string> ic;
  std::optional<std::string> config;
  std::optional<std::string> load;
  std::optional<std::string> qtp;
  std::optional<std::string> log;  // the production log of auto-program
  std::optional<std::string> trace;  // where every byte on the line is written
  std::optional<std::string> ledger;   // the part ledger: a file or a postgresql:// URI
  std::optional<std::string> job;      // the ledger's job; default: the image's name
  std::optional<std::string> station;  // this station in the ledger; default: the host name
  std::optional<std::string> serialPolicy;  // "reuse-failed" or "strict", for a new job
  bool yes = false;
  bool json = false;  // JSON Lines on standard output instead of the window's lines
  bool help = false;
  bool version = false;

  const CliCommand* command = nullptr;
  std::vector<std::string> args;                      // the command's own arguments
  std::map<std::string, std::string> commandOptions;  // "--save-bin" -> "OUT"; a flag -> ""

  bool Has(const std::string& option) const { return commandOptions.count(option) != 0; }
  std::string Value(const std::string& option) const {
    auto it = commandOptions.find(option);
    return it == commandOptions.end() ? std::string() : it->second;
  }
};

// A command line that cannot be run; the text says why in one line.
struct CliUsageError {
  std::string message;
};

// Throws CliUsageError. --help and --version need no command.
CliArgs ParseCliArgs(const std::vector<std::string>& argv);

// The usage text, with one line per command of the command table.
std::string CliUsage();

// "writer-cli 2.63"
std::string CliVersion();
