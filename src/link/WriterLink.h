#pragma once
// The byte exchange with the Writer: opening the port, the probe, command
// headers, 7-bit and 8-bit reads and the acknowledged write. Every primitive
// returns a LinkStatus and never throws on its own account; exceptions of the
// serial component pass through.
//
// A primitive runs either on the GUI thread (port choice, start-up probe) or
// on the one worker of the open operation window; there is no lock here.

#include <cstdint>
#include <stop_token>
#include <string>

struct MainState;
class Clock;
class Prompts;
class TCustomComm;

enum LinkStatus : std::int32_t {
  kLinkSocketError = 1,       // 0xFE: socket empty or wrong IC type
  kLinkAdapterError = 2,      // 0xFD: adapter board error
  kLinkWriterModel1 = 3,      // probe: model 1, as the device needs
  kLinkWriterModel2 = 4,      // probe: model 2, as the device needs
  kLinkWriterUniversal = 5,   // probe: the model that serves every device
  kLinkWriterMismatch = 6,    // probe: model 1 or 2, but the device needs the other
  kLinkUnexpected = 7,        // unexpected reply, or end of data too early
  kLinkTimeout = 8,           // CTS or a reply did not come
  kLinkWriteFailed = 9,       // WriteData: the Writer could not write a byte
  kLinkFinished = 10,         // command finished / all data read
  kLinkHeaderAccepted = 11,   // header accepted, data phase follows
  kLinkWritten = 12,          // WriteData ended without error
};

// Reply bytes of the Writer.
namespace writer_reply {
constexpr std::uint8_t kModel1 = 0xB2;
constexpr std::uint8_t kModel2 = 0xB3;
constexpr std::uint8_t kUniversal = 0xB4;
constexpr std::uint8_t kAccepted = 0xB5;
constexpr std::uint8_t kEnd = 0xB8;
constexpr std::uint8_t kAllWritten = 0xB0;
constexpr std::uint8_t kWriteFailed = 0xB1;
constexpr std::uint8_t kAdapterError = 0xFD;
constexpr std::uint8_t kSocketError = 0xFE;
}  // namespace writer_reply

constexpr std::uint8_t kProbeByte = 0xA0;
constexpr std::uint8_t kHeaderCommand = 0xA1;

// Header areas and modes.
enum HeaderArea : std::uint32_t { kAreaProgram = 0, kAreaOption = 1, kAreaId = 2, kAreaEeprom = 3, kAreaOption2 = 5 };
enum HeaderMode : std::int32_t { kModeProgram = 0, kModeRead = 1, kModeErase = 2, kModeProgramPulse = 3 };

// The port choice of the main window's tool bar.
struct PortSelection {
  std::string port = "Com1";  // "Com1" ... "Com8"
  int handshake = 0;          // 0 Default, 1 CTS, 2 None; -1 (no selection) counts as Default
};

// What GetHeader reads from the main window: the device list's choice and the
// pulse-width edits. Taken on the GUI thread and handed to the worker.
struct HeaderInputs {
  std::string deviceChoice;
  bool pulseEditsVisible = false;
  std::string pulseWidthText = "5";
  std::string eraseWidthText = "120";
};

// The standard message an operation shows for a LinkStatus ("" where none).
const char* LinkStatusMessage(std::int32_t status);

// "Open  COM3 Port Error!!" and the texts of the port choice.
std::string PortOpenErrorText(const std::string& deviceName);
std::string ConnectResultText(std::int32_t status, const std::string& deviceName);

// Clamps a pulse-width edit's text: empty → default, 0 → "1", too large → max.
// Returns the text the edit must show.
std::string ClampPulseText(const std::string& text, int defaultValue, int maxValue);
constexpr int kPulseWidthDefault = 5, kPulseWidthMax = 127;
constexpr int kEraseWidthDefault = 120, kEraseWidthMax = 255;

class WriterLink {
 public:
  WriterLink(MainState& state, TCustomComm& comm, Clock& clock);

  // Cooperative stop for the operation worker: once requested, no primitive
  // sends another byte and every one ends at once as a time-out.
  void SetStopToken(std::stop_token token) { stop_ = std::move(token); }
  // Longest single wait in the device between two looks at the clock.
  void SetPollIntervalMs(int ms) { pollMs_ = ms; }
  // The serial component, for workers that stream bytes themselves.
  TCustomComm& Comm() { return comm_; }

  // (Re)opens the port with the Writer's line settings; sets or clears
  // PortFailed and shows the open error through prompts.
  void CheckComPort(const PortSelection& choice, Prompts& prompts);
  // The operation entry guard: retries a failed port once. True when the port is usable.
  bool PortReady(const PortSelection& choice, Prompts& prompts);

  std::int32_t CheckWriter();
  void GetHeader(std::uint32_t area, std::int32_t mode, const HeaderInputs& inputs);
  std::int32_t SendHeader(std::int32_t count);
  std::int32_t Read7BitData(std::int32_t count, bool waitEnd);
  std::int32_t Read8BitData(std::int32_t count);
  std::int32_t ReadWriterID(std::int32_t count);
  std::int32_t WriteData(std::int32_t count, bool waitEnd);
  // False when the reset-vector word is blank and the user chose Abort.
  bool CheckResetAddr(Prompts& prompts);

 private:
  // The 2-to-3-second time-out, from the seconds field of the clock.
  class Timer;
  bool SendByte(std::uint8_t byte);                  // false: CTS time-out
  bool SendHeaderBytes(std::int32_t count);
  // One reply byte, or -1 on time-out.
  int ReadReply();
  // Data bytes 00-7F into ReadBuffer until the end mark, an error reply or the time-out.
  std::int32_t ReadSevenBitStream(std::int32_t count, bool waitEnd);
  void Purge();
  bool Stopped() const { return stop_.stop_requested(); }
  void WaitInput();

  MainState& state_;
  TCustomComm& comm_;
  Clock& clock_;
  std::stop_token stop_;
  int pollMs_ = 10;
};
