#pragma once
// The commands that talk to the Writer, prepared once for both front ends:
// which of them the window offers with the state as it is, the port's entry
// guard, the reset-vector question, and the state a command sets before its
// worker starts. The window runs its progress window after PrepareCommand
// says go; writer-cli runs the same worker on its console.

#include <cstdint>
#include <string>

struct MainState;
class Prompts;
class WriterLink;

enum class WriterCommand : std::uint8_t {
  BlankCheck,               // F5 "Blank Check": BlankCheckActionExecute
  Erase,                    // "Erase Flash memory": EraseClick (erase, then the blank check)
  Read,                     // F6 "Read": ToolButton7Click
  Verify,                   // F7 "Verify": Veryfy1Click
  VerifyProtect,            // "Verify with Protect": VerifywithProtect1Click
  ProgramMemory,            // "Program Memory": ProgramMemory2Click
  ProgramId,                // "ID and Checksum": ID3Click
  ProgramOption,            // "OPTION": OPTION3Click
  ProgramEeprom,            // "Write EEPROM": WriteEEClick
  AutoProgram,              // F8 "Auto Program": AutoProgram1Click
  AutoProgramNoBlankCheck,  // F9 "Auto Program without Blank Check": AutoProgramwithoutBlankCheck1Click
  ForceWrite,               // "Program Memory Without Check": ToolButton23Click
  Download,                 // "DownLoad" of the device list: DownLoad1Click
};

// Whether the window offers the command now (its control enabled): erasing
// and writing EEPROM only for flash parts with data EEPROM, programming one
// area alone only while serial-number mode is off, so that parts with
// serial numbers are made by Auto Program. writer-cli refuses the others.
bool CommandOffered(WriterCommand command, const MainState& state);
// Why a command is not offered, for writer-cli: "K7E1/E3 has no data EEPROM".
std::string RefusalText(WriterCommand command, const MainState& state, const std::string& deviceName);

// What a front end lends the command layer.
class CommandFrontEnd {
 public:
  virtual ~CommandFrontEnd() = default;
  // The operation entry guard: a port whose last open failed is opened once
  // more (writer-cli opens it here the first time). False: it cannot be used,
  // and the front end has said why.
  virtual bool PortReady() = 0;
  // The link over that port; asked for only after PortReady.
  virtual WriterLink& Link() = 0;
  virtual Prompts& prompts() = 0;
};

enum class CommandStart : std::uint8_t {
  Go,          // the worker may start
  PortFailed,  // the entry guard found no usable port
  Aborted,     // the user answered Abort to the reset-vector question
};

// The guards and preparations of a command, in the order every front end
// runs them: the entry guard (not for the download, whose first record shows
// a closed port as a time-out), the reset-vector question (Program Memory and
// Auto Program), then what the worker reads: EraseFirst, VerifyProtect,
// NoBlankCheck, IcReadDone, and serial-number mode off for force write.
CommandStart PrepareCommand(WriterCommand command, MainState& state, CommandFrontEnd& front);
