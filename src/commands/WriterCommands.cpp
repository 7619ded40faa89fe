#include "commands/WriterCommands.h"

#include "app/MainState.h"
#include "app/StateReset.h"
#include "link/WriterLink.h"

namespace {

bool HasDataEeprom(const MainState& state) { return state.MemoryKind == 2; }

}  // namespace

bool CommandOffered(WriterCommand command, const MainState& state) {
  switch (command) {
    case WriterCommand::Erase:
    case WriterCommand::ProgramEeprom: return HasDataEeprom(state);
    case WriterCommand::ProgramMemory:
    case WriterCommand::ProgramId:
    case WriterCommand::ProgramOption: return !state.SerialMode;
    default: return true;
  }
}

std::string RefusalText(WriterCommand command, const MainState& state, const std::string& deviceName) {
  if (CommandOffered(command, state)) return {};
  switch (command) {
    case WriterCommand::Erase: return deviceName + " is a one-time-programmable part: it cannot be erased";
    case WriterCommand::ProgramEeprom: return deviceName + " has no data EEPROM";
    default: return "serial-number mode is on: program parts with auto-program";
  }
}

CommandStart PrepareCommand(WriterCommand command, MainState& state, CommandFrontEnd& front) {
  if (command != WriterCommand::Download && !front.PortReady()) return CommandStart::PortFailed;
  switch (command) {
    case WriterCommand::ProgramMemory:
    case WriterCommand::AutoProgram:
    case WriterCommand::AutoProgramNoBlankCheck:
      if (!front.Link().CheckResetAddr(front.prompts())) return CommandStart::Aborted;
      break;
    default: break;
  }
  switch (command) {
    case WriterCommand::BlankCheck: state.EraseFirst = 0; break;
    case WriterCommand::Erase: state.EraseFirst = 1; break;
    case WriterCommand::Read: state.IcReadDone = 0; break;
    case WriterCommand::Verify: state.VerifyProtect = 0; break;
    case WriterCommand::VerifyProtect: state.VerifyProtect = 1; break;
    case WriterCommand::AutoProgram:
      state.NoBlankCheck = 0;
      // Flash parts with data EEPROM are erased before the blank check.
      state.EraseFirst = HasDataEeprom(state) ? 1 : 0;
      break;
    case WriterCommand::AutoProgramNoBlankCheck: state.NoBlankCheck = 1; break;
    case WriterCommand::ForceWrite:
      // Force-written parts never get serial numbers.
      state.SerialMode = 0;
      state.SimMode = 0;
      state.Panel.Label1 = SerialModeText(state);
      break;
    default: break;
  }
  return CommandStart::Go;
}
