#pragma once
// Everything the program knows about the job at hand. One instance lives in
// the main window for the whole run; windows render it, workers and commands
// change it. No Qt here.

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
  std::uint8_t OptionLow = kBlankHalf;
  std::uint8_t OptionHigh = kBlankHalf;
  std::array<std::uint8_t, kIdBytes> IdBuffer{};
  std::array<std::uint8_t, kBodyOptionBytes> BodyOptionBytes{};
  std::array<std::uint8_t, kProgramBufferBytes> ProgramBuffer{};
  std::array<std::uint8_t, kCommandHeaderBytes> CommandHeader{};
  std::array<std::uint8_t, kReadBufferBytes> ReadBuffer{};
  std::array<std::uint8_t, kEepromBufferBytes> EepromBuffer{};

  // Flags.
  std::uint8_t IcReadDone = 0;
  std::uint8_t IdWindowOpen = 0;
  std::uint8_t MemoryWindowOpen = 0;
  std::uint8_t RefreshPending = 0;
  std::uint8_t DisassemblyWindowOpen = 0;
  std::uint8_t QtpMode = 0;
  std::uint8_t HexValid = 1;
  std::uint8_t StartupLoad = 0;

  // Scalars.
  std::int32_t QtpRecord = 0;                // QTP records used since the file was loaded
  std::shared_ptr<std::istream> QtpIn;       // the QTP file being read, or null
  std::uint8_t QtpEnd = 0;
  std::int32_t CodeSum = 0;
  std::int32_t HexValue = 0;
  std::int32_t ProgramFileSize = 0;
  std::int32_t DeviceIndex = 0;
  bool Shown = false;
  std::string ConfigText;        // working text of the configuration commands
  std::string CfgPath;
  std::string FileOpenText = ".";
  std::uint8_t QtpChar = 0;
  std::int32_t OptionErrors = 0;
  std::uint8_t SimMode = 0;
  std::uint8_t SerialMode = 0;
  std::int32_t SerialAddress = 0;
  std::int32_t SerialLength = 1;
  std::array<std::int32_t, 8> SerialValue{};
  std::int32_t SerialStep = 1;
  std::int32_t SerialRandom = 0;
  std::int32_t SerialLsbFirst = 0;
  std::int32_t IdShowHex = 0;
  std::int32_t IdMode = 0;  // ID entry mode of the ID editor
  std::uint8_t NoBlankCheck = 0;
  std::uint8_t VerifyProtect = 0;
  std::uint8_t PortFailed = 0;
  std::uint8_t EepromWindowOpen = 0;

  // Parameters of the selected device (copied from the catalogue).
  std::string DeviceName;
  std::uint8_t ProgramTopHi = 0;
  std::uint8_t ProgramTopLo = 0;
  std::int32_t OptionFamily = 0;
  std::int32_t CoreKind = 0;
  std::uint8_t DeviceAttr = 0;
  std::uint8_t DeviceAttr2 = 0;
  std::int32_t WriterType = 0;
  std::int32_t ProgramBytes = 0;
  std::int32_t TickCount = 0;
  std::int32_t WriteFailIndex = 0;
  std::uint8_t OscScheme = 0;
  std::uint8_t PrdScheme = 0;
  std::uint8_t OstScheme = 0;
  std::uint8_t WdtScheme = 0;
  std::uint8_t PedScheme = 0;
  std::uint8_t SecurityScheme = 0;
  std::uint8_t MemoryKind = 0;
  std::uint8_t OptionHighMask = 0x7F;
  std::uint8_t OptionLowMask = 0x7F;
  std::uint8_t EepromTopLo = 0;
  std::uint8_t EepromTopHi = 0;
  std::uint8_t RcCalKind = 0;
  std::uint8_t NeedsAdaptor = 0;
  std::uint8_t DeviceAttr3 = 0;
  std::uint8_t EraseFirst = 0;

  // Port settings saved when the port was opened, restored on close.
  std::string PortName;
  std::int32_t PortBaud = 0;
  std::int32_t PortDataBits = 0;
  std::int32_t PortParity = 0;
  std::int32_t PortStopBits = 0;

  // Process-wide texts kept beside the window.
  std::string StartDir;
  std::string CurrentFileName;

  PanelTexts Panel;

  MainState();

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
