#pragma once
// The commands of writer-cli. Each is a row of the table and a function; a
// command that talks to the Writer runs the operation's worker unchanged.

#include <span>
#include <string_view>
#include <vector>

struct CliArgs;
class CliSession;

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitOutcome = 1;  // the operation showed another outcome than success
inline constexpr int kExitError = 2;    // usage, file or port error

struct CommandOption {
  const char* name;       // "--save-bin"
  const char* valueName;  // "OUT"; nullptr for a flag
};

struct CliCommand {
  const char* name;
  const char* arguments;  // as the usage shows them after the name
  const char* summary;
  int minArgs;
  int maxArgs;  // -1: no limit
  std::vector<CommandOption> options;
  int (*run)(CliSession& session, const CliArgs& args);
};

std::span<const CliCommand> CliCommands();
const CliCommand* FindCliCommand(std::string_view name);
