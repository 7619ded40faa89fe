#include "cli/CliCommands.h"

#include <charconv>
#include <chrono>
#include <ostream>

#include "app/DeviceCatalogue.h"
#include "cli/CliArgs.h"
#include "cli/CliSession.h"
#include "cli/ConsolePanel.h"
#include "files/Disassembler.h"
#include "files/FillBuffer.h"
#include "files/OpenCommands.h"
#include "files/SafeFile.h"
#include "files/SaveProgramMemory.h"
#include "link/Comm.h"
#include "ops/AutoProgramWorker.h"
#include "ops/BlankCheckWorker.h"
#include "ops/DownloadWorker.h"
#include "ops/ForceWriteWorker.h"
#include "ops/ProgramEepromWorker.h"
#include "ops/ProgramIdWorker.h"
#include "ops/ProgramMemoryWorker.h"
#include "ops/ProgramOptionWorker.h"
#include "production/ProductionLog.h"
#include "ops/ReadIcWorker.h"
#include "production/SerialNumber.h"
#include "ops/VerifyWorker.h"

namespace {

// "Save Program Memory" to path; a name without extension gets ".bin" as the
// dialog gives it.
bool SaveBin(CliSession& session, const std::string& path) {
  const std::string target = WithDefaultExtension(path, "bin");
  if (SaveProgramImage(session.State(), target)) return true;
  session.Err() << "Sorry, file can't be saved! (" << target << ")" << std::endl;
  return false;
}

int Probe(CliSession& session, const CliArgs&) {
  if (!session.OpenPort()) return kExitError;
  const std::int32_t status = session.Link().CheckWriter();
  session.Out() << ConnectResultText(status, session.Comm().DeviceName()) << std::endl;
  return status == kLinkWriterModel1 || status == kLinkWriterModel2 || status == kLinkWriterUniversal
             ? kExitSuccess
             : kExitOutcome;
}

int BlankCheck(CliSession& session, const CliArgs&) {
  session.State().EraseFirst = 0;
  return session.RunOperation(BlankCheckLayout(), BlankCheckWorker);
}

int Erase(CliSession& session, const CliArgs&) {
  // The window offers "Erase Flash memory" only for parts that can be erased.
  if (session.State().MemoryKind != 2) {
    session.Err() << "writer-cli: " << session.DeviceChoice()
                  << " is a one-time-programmable part: it cannot be erased" << std::endl;
    return kExitError;
  }
  session.State().EraseFirst = 1;
  return session.RunOperation(BlankCheckLayout(), BlankCheckWorker);
}

int Read(CliSession& session, const CliArgs& args) {
  session.State().IcReadDone = 0;
  const int status = session.RunOperation(ReadIcLayout(), ReadIcWorker);
  if (status != kExitSuccess || !args.Has("--save-bin")) return status;
  if (!session.State().IcReadDone) return kExitOutcome;
  return SaveBin(session, args.Value("--save-bin")) ? kExitSuccess : kExitError;
}

int VerifyWith(CliSession& session, std::uint8_t protect) {
  session.State().VerifyProtect = protect;
  return session.RunOperation(VerifyLayout(), VerifyWorker);
}
int Verify(CliSession& session, const CliArgs&) { return VerifyWith(session, 0); }
int VerifyProtect(CliSession& session, const CliArgs&) { return VerifyWith(session, 1); }

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
  return session.RunOperation(DownloadLayout(),
                              [&ticks](OperationContext& ctx) { DownloadWorker(ctx, ticks); });
}

int Checksum(CliSession& session, const CliArgs&) {
  session.PrintChecksums();
  return kExitSuccess;
}

int Disassemble(CliSession& session, const CliArgs& args) {
  const std::string path = WithDefaultExtension(args.args[0], "dis");
  std::string error;
  if (WriteFileSafely(path, DisassemblyListing(session.State()), &error)) return kExitSuccess;
  session.Err() << "File can't be saved! (" << path << ": " << error << ")" << std::endl;
  return kExitError;
}

int SaveBinCommand(CliSession& session, const CliArgs& args) {
  return SaveBin(session, args.args[0]) ? kExitSuccess : kExitError;
}

int Fill(CliSession& session, const CliArgs& args) {
  const FillRequest request{args.args[0], args.args[1], args.args[2]};
  const std::string error = FillProgramBuffer(session.State(), request);
  if (!error.empty()) {
    session.Err() << error << std::endl;
    return kExitError;
  }
  // What the panel shows after the fill.
  session.PrintChecksums();
  return kExitSuccess;
}

// While serial-number mode is on, parts are made by auto-program only, as the
// window disables the single-area programming commands.
bool SingleAreaAllowed(CliSession& session) {
  if (!session.State().SerialMode) return true;
  session.Err() << "writer-cli: serial-number mode is on: program parts with auto-program" << std::endl;
  return false;
}

// The reset-vector question of the programming commands; the port is opened
// first, as the window's entry guard comes before it.
int AskResetVector(CliSession& session) {
  if (!session.OpenPort()) return kExitError;
  return session.Link().CheckResetAddr(session.prompts()) ? kExitSuccess : kExitOutcome;
}

int ProgramMemory(CliSession& session, const CliArgs&) {
  if (!SingleAreaAllowed(session)) return kExitError;
  if (const int asked = AskResetVector(session)) return asked;
  return session.RunOperation(ProgramMemoryLayout(), ProgramMemoryWorker);
}

int ProgramId(CliSession& session, const CliArgs&) {
  if (!SingleAreaAllowed(session)) return kExitError;
  return session.RunOperation(ProgramIdLayout(), ProgramIdWorker);
}

int ProgramOption(CliSession& session, const CliArgs&) {
  if (!SingleAreaAllowed(session)) return kExitError;
  return session.RunOperation(ProgramOptionLayout(), ProgramOptionWorker);
}

int ProgramEeprom(CliSession& session, const CliArgs&) {
  // The window offers "Write EEPROM" only for parts with data EEPROM.
  if (session.State().MemoryKind != 2) {
    session.Err() << "writer-cli: " << session.DeviceChoice() << " has no data EEPROM" << std::endl;
    return kExitError;
  }
  return session.RunOperation(ProgramEepromLayout(), ProgramEepromWorker);
}

// --passes N: a whole number from 1 on; 1 without the option.
int Passes(const CliArgs& args, CliSession& session) {
  if (!args.Has("--passes")) return 1;
  const std::string text = args.Value("--passes");
  int n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size() || n < 1) {
    session.Err() << "writer-cli: --passes takes a whole number from 1 on, not \"" << text << "\"" << std::endl;
    return 0;
  }
  return n;
}

// Passes answered "Continue" as long as the window offers it, each pass's
// lines printed when it ends. Stops at the first pass that did not succeed.
int ForceWrite(CliSession& session, const CliArgs& args) {
  const int passes = Passes(args, session);
  if (passes == 0) return kExitError;
  session.State().SerialMode = 0;  // force-written parts never get serial numbers
  if (!session.OpenPort()) return kExitError;
  ConsolePanel panel(ForceWriteLayout(), session.Out());
  for (int pass = 0; pass < passes; ++pass) {
    if (pass > 0) panel.Reset();
    session.prompts().ClearMessageCount();
    session.RunAndPrint(panel, ForceWriteWorker);
    if (!panel.Succeeded() || session.prompts().MessagesShown() != 0) return kExitOutcome;
    if (pass + 1 < passes && !panel.IsEnabled("Button2")) return kExitOutcome;
  }
  return kExitSuccess;
}

int AutoProgram(CliSession& session, const CliArgs& args) {
  const int passes = Passes(args, session);
  if (passes == 0) return kExitError;
  MainState& state = session.State();
  if (const int asked = AskResetVector(session)) return asked;
  const bool noBlankCheck = args.Has("--no-blank-check");
  state.NoBlankCheck = noBlankCheck ? 1 : 0;
  if (!noBlankCheck) state.EraseFirst = state.MemoryKind == 2 ? 1 : 0;
  std::string logError;
  const auto logFailed = [&] {
    session.Err() << "writer-cli: cannot write the production log " << *args.log << ": " << logError << std::endl;
    return kExitError;
  };
  if (args.log && !ProductionLogWritable(*args.log, &logError)) return logFailed();
  ConsolePanel panel(AutoProgramLayout(), session.Out());
  for (int n = 0; n < passes; ++n) {
    if (n > 0) AutoProgramContinueReset(panel);
    const bool serial = state.SerialMode != 0;
    const std::string stamped = SerialNumberText(state);
    AutoProgramPass pass;
    session.prompts().ClearMessageCount();
    session.RunAndPrint(panel, [&pass](OperationContext& ctx) { AutoProgramWorker(ctx, pass); });
    if (args.log && !AppendProductionLog(*args.log, PassLogEntry(state, pass, std::chrono::system_clock::now()),
                                         &logError))
      return logFailed();
    session.Out() << "Pass Count : " << state.Panel.Label13 << '\n';
    if (serial) session.Out() << "Serial No. (HEX) : " << stamped << '\n';
    session.Out().flush();
    // The end of a QTP file is the batch's normal end; its message box is no failure.
    const int messages = session.prompts().MessagesShown() - (pass.qtpFinished ? 1 : 0);
    if (!pass.counted || !panel.Succeeded() || messages != 0) return kExitOutcome;
    if (pass.batchOver) return kExitSuccess;
  }
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
      {"force-write", "[--passes N]", "program memory without checks, N parts (service)", 0, 0,
       {{"--passes", "N"}}, ForceWrite},
      {"auto-program", "[--no-blank-check] [--passes N]",
       "the production pass on N parts: blank check, OPTION, ID, data, verify", 0, 0,
       {{"--no-blank-check", nullptr}, {"--passes", "N"}}, AutoProgram},
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
