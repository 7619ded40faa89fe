#include "cli/CliMain.h"

#include <exception>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "link/Comm.h"

int RunWriterCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
  CliArgs args;
  try {
    args = ParseCliArgs(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  } catch (const CliUsageError& e) {
    err << "writer-cli: " << e.message << "\n\n" << CliUsage();
    return kExitError;
  }
  if (args.help) {
    out << CliUsage();
    return kExitSuccess;
  }
  if (args.version) {
    out << CliVersion() << '\n';
    return kExitSuccess;
  }

  try {
    CliSession session(args, out, err);
    if (!session.Prepare()) return kExitError;
    return args.command->run(session, args);
  } catch (const ECommError& e) {
    // The line failed under an exchange: a cable pulled, an adapter gone.
    out.flush();
    err << "writer-cli: " << e.what() << std::endl;
  } catch (const std::exception& e) {
    out.flush();
    err << "writer-cli: " << e.what() << std::endl;
  }
  return kExitError;
}
