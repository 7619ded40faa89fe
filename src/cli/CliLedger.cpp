#include "cli/CliLedger.h"

#include <filesystem>
#include <ostream>

#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "files/Checksum.h"
#include "files/ProgramFile.h"

namespace {

std::ostream& Error(CliSession& session) { return session.Err() << "writer-cli: "; }

std::shared_ptr<Ledger> Open(CliSession& session, const CliArgs& args) {
  const std::string location = args.ledger ? *args.ledger : DefaultLedgerLocation();
  try {
    return OpenLedger(location);
  } catch (const LedgerError& e) {
    Error(session) << "cannot open the ledger " << RedactLocation(location) << ": " << e.what() << std::endl;
    return nullptr;
  }
}

}  // namespace

int LedgerCommand(CliSession& session, const CliArgs& args) {
  const std::string& what = args.args[0];
  const std::size_t n = args.args.size();
  const bool shapeOk = ((what == "status" || what == "list") && n == 1) || (what == "export" && n == 2) ||
                       ((what == "policy" || what == "image") && n == 3);
  if (!shapeOk) {
    Error(session) << "ledger takes status, list, export FILE.csv, policy JOB reuse-failed|strict or image JOB FILE"
                   << std::endl;
    return kExitError;
  }
  // The image a job moves to, as the panel's data checksum shows it loaded.
  std::string imageName, imageChecksum;
  if (what == "image") {
    const std::string& file = args.args[2];
    auto loaded = std::make_unique<MainState>(session.State());
    if (!IsReadableFile(file) || OpenProgramImage(*loaded, session.prompts(), file) != ImageLoadResult::Loaded) {
      Error(session) << "cannot load the image " << file << std::endl;
      return kExitError;
    }
    CalChecksum(*loaded);
    imageName = std::filesystem::path(file).filename().string();
    imageChecksum = loaded->Panel.Label11;
  }
  std::optional<LedgerPolicy> policy;
  if (what == "policy" && !(policy = ParsePolicy(args.args[2]))) {
    Error(session) << "a policy is reuse-failed or strict, not \"" << args.args[2] << "\"" << std::endl;
    return kExitError;
  }
  if (what != "list" && args.Has("--since")) {
    Error(session) << "--since belongs to ledger list" << std::endl;
    return kExitError;
  }
  if (args.Has("--since")) {
    if (const std::string why = SinceError(args.Value("--since")); !why.empty()) {
      Error(session) << "--since: " << why << std::endl;
      return kExitError;
    }
  }
  const auto ledger = Open(session, args);
  if (!ledger) return kExitError;
  try {
    if (what == "status") {
      session.Out() << StatusText(ledger->Status(args.job));
    } else if (what == "list") {
      const auto since = args.Has("--since") ? std::optional<std::string>(args.Value("--since")) : std::nullopt;
      session.Out() << LedgerCsv(ledger->List(args.job, since));
    } else if (what == "export") {
      std::string error;
      if (!ExportLedgerCsv(ledger->List(args.job), args.args[1], &error)) {
        Error(session) << "cannot write " << args.args[1] << ": " << error << std::endl;
        return kExitError;
      }
    } else if (what == "image") {
      if (!ledger->MoveJobImage(args.args[1], imageName, imageChecksum)) {
        Error(session) << "there is no job " << args.args[1] << " in the ledger" << std::endl;
        return kExitError;
      }
      session.Out() << "Job " << args.args[1] << " now programs " << imageName << ", checksum " << imageChecksum
                    << std::endl;
    } else if (!ledger->SetPolicy(args.args[1], *policy)) {
      Error(session) << "there is no job " << args.args[1] << " in the ledger" << std::endl;
      return kExitError;
    }
  } catch (const std::invalid_argument& e) {
    Error(session) << e.what() << std::endl;
    return kExitError;
  } catch (const LedgerError& e) {
    Error(session) << "ledger " << ledger->Location() << ": " << e.what() << std::endl;
    return kExitError;
  }
  session.Out().flush();
  return kExitSuccess;
}
