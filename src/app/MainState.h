#pragma once
// Everything the program knows about the job at hand. One instance lives in
// the main window for the whole run; windows render it, workers and commands
// change it. No Qt here.
//
// Who touches it from an operation's worker thread (src/ops workers and the
// WriterLink under them), while the GUI thread owns it otherwise:
//  - directly, as the link's transfer area: CommandHeader (GetHeader builds
//    it), ReadBuffer (what every read brings; what WriteData sends) and
//    WriteFailIndex. Nothing else uses them while an operation runs; a worker
//    copies out what it keeps before its next primitive.
//  - directly, read only: the selected device's parameters (ProgramBytes,
//    MemoryKind, the tops, the masks, WriterType, DeviceName ...) and
//    DeviceIndex, which GetHeader copies in again from the device list's
//    choice, and the flags the command set before the window opened
//    (EraseFirst). The device list cannot change under a modal window.
//  - everything else only through the hand-over (Handover::Run, on the GUI
//    thread): the image (ProgramBuffer, IdBuffer, EepromBuffer, OptionLow and
//    OptionHigh, BodyOptionBytes), the modes, the serial-number and QTP
//    fields, IcReadDone, the checksums and the rest of Panel, and the
//    production routines that change them. The port fields (PortName ...
//    PortFailed) are the GUI thread's alone.

#include <array>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

constexpr int kOptionBytes = 2;
constexpr int kIdBytes = 32;
constexpr int kBodyOptionBytes = 8;
constexpr int kProgramBufferBytes = 32766;  // 16383 words
constexpr int kProgramBufferWords = kProgramBufferBytes / 2;
constexpr int kCommandHeaderBytes = 32;
constexpr int kReadBufferBytes = 32766;
constexpr int kEepromBufferBytes = 1024;

constexpr std::uint8_t kBlankHalf = 0x7F;     // one 7-bit half of an erased word
constexpr std::uint16_t kBlankWord = 0x3FFF;  // 7F 7F
constexpr std::uint8_t kBlankEeprom = 0x00;

// A word of up to 14 bits is stored as two 7-bit halves: bits 0-6, then 7-13.
constexpr std::uint16_t PackedWord(std::uint8_t low, std::uint8_t high) {
  return static_cast<std::uint16_t>((low & 0x7F) | ((high & 0x7F) << 7));
}
constexpr std::uint8_t WordLowHalf(std::uint16_t word) { return word & 0x7F; }
constexpr std::uint8_t WordHighHalf(std::uint16_t word) { return (word >> 7) & 0x7F; }
// The 8-bit bytes of a stored word (low byte, high byte), as checksums and files see it.
constexpr std::uint8_t WordByteLow(std::uint8_t low, std::uint8_t high) {
  return static_cast<std::uint8_t>(low + 128 * (high & 1));
}
constexpr std::uint8_t WordByteHigh(std::uint8_t high) { return high >> 1; }

// Texts of the main window's status panel that the program itself reads back or
// that code outside the window sets. The window shows them as they are.
struct OptionFieldView {
  std::string caption;   // panel caption, e.g. "OSC Type:"
  std::string value;     // decoded value, e.g. "RC", "Blank", "Error"
  bool enabled = true;   // false: the field does not exist for the device (greyed)
  bool operator==(const OptionFieldView&) const = default;
};

enum OptionField { kOsc = 0, kPrd, kOst, kWdt, kPed, kSecurity, kOptionFieldCount };

struct PanelTexts {
  std::array<OptionFieldView, kOptionFieldCount> option{{
      {"OSC Type:", "Blank", true},
      {"PRD:", "Blank", true},
      {"OST:", "Blank", true},
      {"WDT:", "Blank", true},
      {"PED:", "Blank", true},
      {"Security:", "Blank", true},
  }};
  int PrdCaptionLeft = 72;           // left position of the PRD caption: 72 for "PRD:", 40 for "MCLR HI:"
  std::string Label11 = "Blank";     // data checksum
  std::string OptChecksum = "Blank"; // checksum including OPTION
  std::string ProtectSum = "Blank";  // checksum of a protected IC
  std::string Label17;               // IC checksum (ID bytes 12-15)
  std::string Label18 = "7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F 7F";  // ID
  std::string Label13 = "0";         // pass count
  std::string Label15 = "00";        // serial number (HEX)
  std::string Label1 = "Disable";    // serial number mode
  std::string Label19 = "Disable";   // QTP file
  std::string SpeedButton1 = "Sim Enable";  // the simulation switch's caption
  bool operator==(const PanelTexts&) const = default;
};

struct MainState {
  // Byte regions.
  std::uint8_t OptionLow = kBlankHalf;    // the OPTION (configuration) word, bits 0-6
  std::uint8_t OptionHigh = kBlankHalf;   // ... bits 7-13
  std::array<std::uint8_t, kIdBytes> IdBuffer{};                // ID area: 12 ID bytes, checksum, Writer's info
  std::array<std::uint8_t, kBodyOptionBytes> BodyOptionBytes{};  // the body-option words Read IC brings
  std::array<std::uint8_t, kProgramBufferBytes> ProgramBuffer{};  // program memory, two 7-bit halves per word
  std::array<std::uint8_t, kCommandHeaderBytes> CommandHeader{};  // the header sent before every command
  std::array<std::uint8_t, kReadBufferBytes> ReadBuffer{};        // transfer buffer: read, and sent by WriteData
  std::array<std::uint8_t, kEepromBufferBytes> EepromBuffer{};    // data EEPROM image, one byte per address

  // Flags.
  std::uint8_t IcReadDone = 0;             // Read IC brought the whole part: the views are rebuilt
  std::uint8_t IdWindowOpen = 0;           // the ID and checksum window is open
  std::uint8_t MemoryWindowOpen = 0;       // the program-memory view is open
  std::uint8_t RefreshPending = 0;         // the timer is to redraw the option panel and checksums
  std::uint8_t DisassemblyWindowOpen = 0;  // the disassembly window is open
  std::uint8_t QtpMode = 0;                // a QTP file supplies the serial numbers
  std::uint8_t HexValid = 1;               // the last HexToInt found only hex digits
  std::uint8_t StartupLoad = 0;            // Default.cfg is being read at start-up: image faults stay quiet

  // Scalars.
  std::int32_t QtpRecord = 0;                // QTP records used since the file was loaded
  std::shared_ptr<std::istream> QtpIn;       // the QTP file being read, or null
  std::uint8_t QtpEnd = 0;                   // the last QTP record read was the end record
  std::int32_t CodeSum = 0;                  // sum of the program words, behind the data checksum
  std::int32_t HexValue = 0;                 // the value of the last HexToInt
  std::int32_t ProgramFileSize = 0;          // bytes the last image file delivered
  std::int32_t DeviceIndex = 0;              // the selected device's catalogue row; -1: none
  bool Shown = false;                        // the main window has been shown once
  std::string ConfigText;        // working text of the configuration commands
  std::string CfgPath;           // the configuration file being loaded or saved
  std::string FileOpenText = ".";  // working fields of the description that no routine here needs
  std::uint8_t QtpChar = 0;
  std::int32_t OptionErrors = 0;   // the option panel's verdict: 1 a field blank, 2 a field not allowed
  std::uint8_t SimMode = 0;        // Auto Program simulates: bookkeeping only, the Writer untouched
  std::uint8_t SerialMode = 0;     // Auto Program stamps and advances a serial number
  std::int32_t SerialAddress = 0;  // word address of the first serial word
  std::int32_t SerialLength = 1;   // bytes of the serial number, 1 to 8
  std::array<std::int32_t, 8> SerialValue{};  // the serial number, byte 0 least significant
  std::int32_t SerialStep = 1;     // increment of a sequential number
  std::int32_t SerialRandom = 0;   // 1: pseudo-random numbers (shift register), 0: sequential
  std::int32_t SerialLsbFirst = 0;  // 1: stamped LSB first, 0: MSB first
  std::int32_t IdShowHex = 0;      // the ID window shows hex instead of characters
  std::int32_t IdMode = 0;  // ID entry mode of the ID editor
  std::uint8_t NoBlankCheck = 0;   // the pass is "Auto Program without Blank Check"
  std::uint8_t VerifyProtect = 0;  // the verify is "Verify with Protect"
  std::uint8_t PortFailed = 0;     // the last port open failed: the entry guard retries it
  std::uint8_t EepromWindowOpen = 0;  // the EEPROM data window is open

  // Parameters of the selected device (copied from the catalogue).
  std::string DeviceName;           // e.g. "K7E1/E3"
  std::uint8_t ProgramTopHi = 0;    // the last program word address, high byte
  std::uint8_t ProgramTopLo = 0;    // ... low byte
  std::int32_t OptionFamily = 0;    // which OPTION layout the editor and panel use
  std::int32_t CoreKind = 0;        // PIC core its images are written for: 1 12-bit, else 14-bit
  std::uint8_t DeviceAttr = 0;      // header byte 6; bit 0x20: the reset vector is word 0
  std::uint8_t DeviceAttr2 = 0;     // header byte 8, with the mode bits 7, 5 and 4
  std::int32_t WriterType = 0;      // the Writer model the device needs (1 or 2)
  std::int32_t ProgramBytes = 0;    // program memory in bytes: (last word + 1) * 2
  std::int32_t TickCount = 0;       // ticks of the main window's timer
  std::int32_t WriteFailIndex = 0;  // the byte WriteData had sent when the Writer reported a failed write
  std::uint8_t OscScheme = 0;       // the OPTION fields' value schemes ...
  std::uint8_t PrdScheme = 0;
  std::uint8_t OstScheme = 0;
  std::uint8_t WdtScheme = 0;
  std::uint8_t PedScheme = 0;
  std::uint8_t SecurityScheme = 0;  // ... down to the code protection
  std::uint8_t MemoryKind = 0;      // 1 one-time programmable, 2 flash with data EEPROM
  std::uint8_t OptionHighMask = 0x7F;  // the OPTION bits the device has, high half
  std::uint8_t OptionLowMask = 0x7F;   // ... low half
  std::uint8_t EepromTopLo = 0;     // the last EEPROM address, low byte
  std::uint8_t EepromTopHi = 0;     // ... high byte
  std::uint8_t RcCalKind = 0;       // how a read header marks an RC-calibrated part
  std::uint8_t NeedsAdaptor = 0;    // the part sits in an adaptor ("Please add the adaptor")
  std::uint8_t DeviceAttr3 = 0;     // the download record's third attribute byte
  std::uint8_t EraseFirst = 0;      // the blank check (and Auto Program's) erases first

  // Port settings saved when the port was opened, restored on close.
  std::string PortName;
  std::int32_t PortBaud = 0;
  std::int32_t PortDataBits = 0;
  std::int32_t PortParity = 0;
  std::int32_t PortStopBits = 0;

  // Process-wide texts kept beside the window.
  std::string StartDir;         // the start-up directory, home of Default.cfg
  std::string CurrentFileName;  // the image file the buffers came from

  PanelTexts Panel;

  MainState();
  // Field by field; the QTP stream by identity.
  bool operator==(const MainState&) const = default;

  // Derived values, bounded by the buffers whatever a device row says.
  int ProgramWords() const;   // words of the selected device, at most kProgramBufferWords
  int EepromBytes() const;    // bytes of the selected device, at most kEepromBufferBytes
  std::uint16_t OptionWord() const { return PackedWord(OptionLow, OptionHigh); }
  // Program word n, or kBlankWord when n lies outside ProgramBuffer.
  std::uint16_t ProgramWord(int n) const;
  // Stores a word; false (and nothing written) when n lies outside ProgramBuffer.
  bool SetProgramWord(int n, std::uint16_t word);

  // Plain fills of whole regions.
  void BlankProgram();
  void BlankId();
  void BlankOption();
  void BlankEeprom();
  // Start values of the serial-number settings and ID modes.
  void ResetSerialSettings();
};
