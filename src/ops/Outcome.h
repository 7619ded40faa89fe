#pragma once
// What a writer operation came to, as a value: the stage it ended in, whether
// it succeeded, and for a failure which verdict, the link status and the
// address and values the verdict names. The window's lines show the same
// thing in words; exit statuses, --json and the production log are taken from
// this, never from the texts shown.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The stages of the operations, in the order a pass runs them.
enum class OpStage : std::uint8_t {
  Check,          // before the Writer is contacted: device, image, OPTION fields, serial words
  Probe,          // the Writer's model (CheckWriter)
  Erase,          // erasing a flash part
  BlankCheck,     // reading OPTION, ID and program memory of a part that must be blank
  Option,         // the OPTION word: programmed, or read by Read IC
  OptionVerify,   // the OPTION word read back and compared
  BodyOption,     // Read IC: the second option area
  Protection,     // Verify with Protect: the part's protection bit
  Id,             // ID and checksum characters: programmed, or read by Read IC
  IdVerify,       // ID and checksum characters read back and compared
  Program,        // program memory: streamed, or read by Read IC
  ProgramVerify,  // program memory read back and compared
  Eeprom,         // data EEPROM: programmed, or read by Read IC
  EepromVerify,   // data EEPROM read back and compared
  Download,       // the device records of the Writer's list
  Count,          // the pass counted, the next serial number or QTP record taken
};

// "blank_check", "program_verify" ...: the names --json uses.
const char* StageName(OpStage stage);

enum class OpResult : std::uint8_t {
  Ok,         // ran to its end, every stage as it should be
  Failed,     // a verdict other than success (see Verdict)
  Stopped,    // cut off before its end: the window closed, the pass never finished
  Simulated,  // a simulation pass: the bookkeeping ran, the Writer was not contacted
};

const char* ResultName(OpResult result);  // "ok", "failed", "stopped", "simulated"

// Which failure: what went wrong, in the product's terms.
enum class Verdict : std::uint8_t {
  None,
  UnknownDevice,  // no device selected
  BlankImage,     // the program image is empty ("Data memory are blank or error!")
  OptionFields,   // OPTION fields blank or not allowed for the device
  NotRtiw,        // the serial-number words are not RTIW words
  Link,           // the Writer answered another LinkStatus than the stage needed (see link)
  Reply,          // the program stream got a reply byte it does not know (see ic)
  WriteFailed,    // the Writer could not write a byte (address: word, or EEPROM address)
  NotFinished,    // the program stream ran out without the Writer saying it was done
  NotBlank,       // blank check: data where the part must be blank (address, ic)
  Differs,        // read-back or verify: the part differs from the buffer (address, ic, buffer)
  Unprotected,    // Verify with Protect: the part is not protected
  ReadError,      // Read IC: the Writer ended program memory early, or sent far more than it holds
  QtpFile,        // the next QTP record could not be read
  LineFault,      // the serial line failed under the operation (a cable pulled)
  LedgerRefused,  // the part ledger gave the pass no number (job used up, unknown, QTP record used): not started
  LedgerLost,     // the part ledger could not be reached or written: the batch stops
};

const char* VerdictName(Verdict verdict);  // "none", "not_blank", "line_fault" ...

// What the next pass of Auto Program and force write needs to know, and what
// the production log records of a part.
struct PassRecord {
  bool counted = false;      // the pass reached the pass count
  bool batchOver = false;    // "Continue" stays off: the QTP file ended or failed, or the read-back failed
  bool qtpFinished = false;  // the QTP file's end record was reached: the batch's normal end
  std::string serial;        // the number stamped into this part; empty without serial-number mode
  std::string checksum;      // the data checksum of the image this part got
  int qtpRecord = 0;         // the QTP record the number came from (1 = the first); 0 without a QTP file
  long long passCount = 0;   // the pass count after the pass (as shown)
  // With a ledger: the number the next part gets ("" when the job has none
  // left); none when it was not asked.
  std::optional<std::string> next;
};

// The address and values a verdict names.
struct VerdictValues {
  std::optional<std::uint32_t> address, ic, buffer;
};

struct Outcome {
  OpStage stage = OpStage::Check;     // the failing stage, or the last one run
  OpResult result = OpResult::Stopped;  // until the operation reaches its end or a verdict
  Verdict verdict = Verdict::None;
  std::int32_t link = 0;              // the LinkStatus that decided the verdict; 0 when none did
  std::optional<std::uint32_t> address;  // the word (EEPROM: byte) address a verdict names
  std::optional<std::uint32_t> ic;       // the part's value there, or the reply byte
  std::optional<std::uint32_t> buffer;   // the buffer's value there
  std::string text;                   // the failing line as the window shows it
  std::optional<PassRecord> pass;     // Auto Program and force write
  std::string ledgerError;            // the part ledger was lost during the pass: why (the batch stops)

  // Ok or simulated: what writer-cli exits 0 for.
  bool Succeeded() const { return result == OpResult::Ok || result == OpResult::Simulated; }

  // The operation moves on to `next`; after a failure the stage stays the failing one.
  void Enter(OpStage next) {
    if (result != OpResult::Failed) stage = next;
  }
  // Notes a failure in the current stage. Only the first one is kept: later
  // ones are shown in the window but were caused by it, or come after a
  // difference the operation reports and goes on from. Returns false, so a
  // step can end with `return out.Fail(...)`.
  bool Fail(Verdict why, std::string_view shown, std::int32_t status = 0, const VerdictValues& values = {});
  // The operation reached its end: Ok unless a failure was noted.
  void Done();
  void Simulate() { result = OpResult::Simulated; }
  // The serial line failed under the operation: that ended it, whatever it
  // had noted before; the stage stays the one it had reached.
  void EndByLineFault(std::string_view why);
  bool Failed() const { return result == OpResult::Failed; }
};
