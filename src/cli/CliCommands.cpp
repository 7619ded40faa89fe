#include "cli/CliCommands.h"

#include <charconv>
#include <chrono>
#include <ostream>

#include "app/DeviceCatalogue.h"
#include "cli/CliArgs.h"
#include "cli/CliLedger.h"
#include "cli/CliSession.h"
#include "cli/ConsolePanel.h"
#include "cli/BatchRun.h"
#include "commands/WriterCommands.h"
#include "files/Disassembler.h"
#include "files/FillBuffer.h"
#include "files/OpenCommands.h"
#include "files/SafeFile.h"
#include "files/SaveProgramMemory.h"
#include "link/Comm.h"
#include "link/PortList.h"
#include "ops/AutoProgramWorker.h"
#include "ops/BlankCheckWorker.h"
#include "ops/DownloadWorker.h"
#include "ops/ForceWriteWorker.h"
#include "ops/ProgramEepromWorker.h"
#include "ops/ProgramIdWorker.h"
#include "ops/ProgramMemoryWorker.h"
#include "ops/ProgramOptionWorker.h"
#include "ops/ReadIcWorker.h"
#include "ops/VerifyWorker.h"
#include "production/ProductionLog.h"
#include "production/SerialNumber.h"

namespace {

using Clock = std::chrono::system_clock;

// "Save Program Memory" to path; a name without extension gets ".bin" as the
// dialog gives it.
bool SaveBin(CliSession& session, const std::string& path) {
  const std::string target = WithDefaultExtension(path, "bin");
  if (SaveProgramImage(session.State(), target)) return true;
  session.Err() << "Sorry, file can't be saved! (" << target << ")" << std::endl;
  return false;
}

// A file tool that ran: its lines, or with --json its object.
int FileToolDone(CliSession& session, const std::vector<std::string>& lines, Clock::time_point started) {
  Outcome done;
  done.Done();
  session.Report(done, lines, false, started);
  return kExitSuccess;
}

int Probe(CliSession& session, const CliArgs&) {
  const auto started = Clock::now();
  if (!session.OpenPort()) return kExitError;
  Outcome out;
  out.Enter(OpStage::Probe);
  const std::int32_t status = session.Link().CheckWriter();
  const std::string text = ConnectResultText(status, session.Comm().DeviceName());
  if (status == kLinkWriterModel1 || status == kLinkWriterModel2 || status == kLinkWriterUniversal)
    out.Done();
  else
    out.Fail(Verdict::Link, text, status);
  session.Report(out, {text}, true, started);
  return ExitStatusOf(out);
}

// A command of the table of Writer commands: prepared as the window prepares
// it, then its worker with its window's lines.
int RunCommand(CliSession& session, WriterCommand command, const OperationLayout& layout, const Worker& worker) {
  if (const int stop = session.Start(command)) return stop;
  return session.RunOperation(command, layout, worker);
}

int BlankCheck(CliSession& session, const CliArgs& args) {
  if (IsGang(args)) return RunBatch(session, args, WriterCommand::BlankCheck, 1);
  return RunCommand(session, WriterCommand::BlankCheck, BlankCheckLayout(), BlankCheckWorker);
}

int Erase(CliSession& session, const CliArgs&) {
  return RunCommand(session, WriterCommand::Erase, BlankCheckLayout(), BlankCheckWorker);
}

int Read(CliSession& session, const CliArgs& args) {
  const int status = RunCommand(session, WriterCommand::Read, ReadIcLayout(), ReadIcWorker);
  if (status != kExitSuccess || !args.Has("--save-bin")) return status;
  if (!session.State().IcReadDone) return kExitOutcome;
  return SaveBin(session, args.Value("--save-bin")) ? kExitSuccess : kExitError;
}

int Verify(CliSession& session, const CliArgs& args) {
  if (IsGang(args)) return RunBatch(session, args, WriterCommand::Verify, 1);
  return RunCommand(session, WriterCommand::Verify, VerifyLayout(), VerifyWorker);
}

int VerifyProtect(CliSession& session, const CliArgs&) {
  return RunCommand(session, WriterCommand::VerifyProtect, VerifyLayout(), VerifyWorker);
}

// Ticks exactly the named rows of the device-select list, under its rules.
int Download(CliSession& session, const CliArgs& args) {
  DownloadSelection selection;
  for (int row = 0; row < selection.Rows(); ++row) selection.SetTicked(row, false);
  for (const std::string& name : args.args) {
    int row = 0;
    while (row < selection.Rows() && GetIcName(row) != name) ++row;
    if (row == selection.Rows()) {
      session.Err() << "writer-cli: unknown device \"" << name << "\"" << std::endl;
      return kExitError;
    }
    if (!selection.SetTicked(row, true)) {
      session.Err() << kDownloadLimitText << std::endl;
      return kExitError;
    }
  }
  const std::vector<bool> ticks = selection.Ticks();
  return RunCommand(session, WriterCommand::Download, DownloadLayout(),
                    [&ticks](OperationContext& ctx) { return DownloadWorker(ctx, ticks); });
}

int Checksum(CliSession& session, const CliArgs&) {
  const auto started = Clock::now();
  return FileToolDone(session, session.ChecksumLines(), started);
}

int Disassemble(CliSession& session, const CliArgs& args) {
  const auto started = Clock::now();
  const std::string path = WithDefaultExtension(args.args[0], "dis");
  std::string error;
  if (WriteFileSafely(path, DisassemblyListing(session.State()), &error)) return FileToolDone(session, {}, started);
  session.Err() << "File can't be saved! (" << path << ": " << error << ")" << std::endl;
  return kExitError;
}

int SaveBinCommand(CliSession& session, const CliArgs& args) {
  const auto started = Clock::now();
  return SaveBin(session, args.args[0]) ? FileToolDone(session, {}, started) : kExitError;
}

int Fill(CliSession& session, const CliArgs& args) {
  const auto started = Clock::now();
  const FillRequest request{args.args[0], args.args[1], args.args[2]};
  const std::string error = FillProgramBuffer(session.State(), request);
  if (!error.empty()) {
    session.Err() << error << std::endl;
    return kExitError;
  }
  // What the panel shows after the fill.
  return FileToolDone(session, session.ChecksumLines(), started);
}

int ProgramMemory(CliSession& session, const CliArgs&) {
  return RunCommand(session, WriterCommand::ProgramMemory, ProgramMemoryLayout(), ProgramMemoryWorker);
}

int ProgramId(CliSession& session, const CliArgs&) {
  return RunCommand(session, WriterCommand::ProgramId, ProgramIdLayout(), ProgramIdWorker);
}

int ProgramOption(CliSession& session, const CliArgs&) {
  return RunCommand(session, WriterCommand::ProgramOption, ProgramOptionLayout(), ProgramOptionWorker);
}

int ProgramEeprom(CliSession& session, const CliArgs&) {
  return RunCommand(session, WriterCommand::ProgramEeprom, ProgramEepromLayout(), ProgramEepromWorker);
}

// --passes N: a whole number from 1 on, 1 without the option; 0 (until
// stopped) with --wait-for-part. -1: refused.
int Passes(const CliArgs& args, CliSession& session) {
  if (!args.Has("--passes")) return 1;
  const std::string text = args.Value("--passes");
  const bool waiting = args.Has("--wait-for-part");
  int n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || n < (waiting ? 0 : 1)) {
    session.Err() << "writer-cli: --passes takes a whole number from 1 on"
                  << (waiting ? " (0: until stopped)" : text == "0" ? " (0 needs --wait-for-part)" : "")
                  << ", not \"" << text << "\"" << std::endl;
    return -1;
  }
  return n;
}

// Passes answered "Continue" as long as the window offers it, each pass's
// lines printed when it ends. Stops at the first pass that did not succeed.
int ForceWrite(CliSession& session, const CliArgs& args) {
  const int passes = Passes(args, session);
  if (passes < 0) return kExitError;
  return RunBatch(session, args, WriterCommand::ForceWrite, passes);
}

// The end of a QTP file is the batch's normal end.
int AutoProgram(CliSession& session, const CliArgs& args) {
  const int passes = Passes(args, session);
  if (passes < 0) return kExitError;
  const bool noBlankCheck = args.Has("--no-blank-check");
  return RunBatch(session, args, noBlankCheck ? WriterCommand::AutoProgramNoBlankCheck : WriterCommand::AutoProgram,
                  passes);
}

int Ports(CliSession& session, const CliArgs&) {
  for (const std::string& line : PortListing()) session.Out() << line << '\n';
  session.Out().flush();
  return kExitSuccess;
}

const std::vector<CliCommand>& Table() {
  static const std::vector<CliCommand> table = {
      {"probe", "", "open the port and probe the Writer (\"Connect OK!\")", 0, 0, {}, Probe},
      {"blank-check", "", "check that the IC is blank", 0, 0, {}, BlankCheck},
      {"erase", "", "erase a flash IC, then check that it is blank", 0, 0, {}, Erase},
      {"read", "[--save-bin OUT]", "read the IC into the buffers; save its program memory", 0, 0,
       {{"--save-bin", "OUT"}}, Read},
      {"verify", "", "compare the IC with the buffers", 0, 0, {}, Verify},
      {"verify-protect", "", "compare a code-protected IC with the buffers", 0, 0, {}, VerifyProtect},
      {"download", "NAME...", "send the records of the named devices to the Writer", 1, -1, {}, Download},
      {"checksum", "", "print the data, OPTION and protect checksums", 0, 0, {}, Checksum},
      {"disassemble", "OUT", "write the disassembly listing (.dis)", 1, 1, {}, Disassemble},
      {"save-bin", "OUT", "write the program memory as a QEL binary (.bin)", 1, 1, {}, SaveBinCommand},
      {"fill", "START END DATA", "fill words START..END with DATA (hex); show the checksums", 3, 3, {},
       Fill},
      {"program-memory", "", "program the program memory and read it back", 0, 0, {}, ProgramMemory},
      {"program-id", "", "program the ID and the data checksum, and read them back", 0, 0, {}, ProgramId},
      {"program-option", "", "program the OPTION word and read it back", 0, 0, {}, ProgramOption},
      {"program-eeprom", "", "program the data EEPROM and read it back", 0, 0, {}, ProgramEeprom},
      {"force-write", "[--passes N] [--wait-for-part]", "program memory without checks, N parts (service)", 0, 0,
       {{"--passes", "N"}, {"--wait-for-part", nullptr}}, ForceWrite},
      {"auto-program", "[--no-blank-check] [--passes N] [--wait-for-part]",
       "the production pass on N parts: blank check, OPTION, ID, data, verify", 0, 0,
       {{"--no-blank-check", nullptr}, {"--passes", "N"}, {"--wait-for-part", nullptr}}, AutoProgram},
      {"ports", "", "where Com1 ... Com8 point, whether each is free, busy or missing", 0, 0, {}, Ports},
      {"ledger", "status|list|export FILE.csv|policy JOB POLICY",
       "the part ledger: jobs, passes as CSV, a job's policy", 1, 3, {{"--since", "ISO-TIME"}}, LedgerCommand},
  };
  return table;
}

}  // namespace

std::span<const CliCommand> CliCommands() { return Table(); }

const CliCommand* FindCliCommand(std::string_view name) {
  for (const CliCommand& c : Table())
    if (name == c.name) return &c;
  return nullptr;
}
