#pragma once
// The byte exchange with the Writer: opening the port, the probe, command
// headers, 7-bit and 8-bit reads, the acknowledged write and the two streams
// of program memory (the write of Program Memory, Auto Program and force
// write; the read of Read). Every primitive returns a LinkStatus and never
// throws on its own account; exceptions of the serial component pass through,
// except those that say the device has gone (see below).
//
// A device that goes away under an exchange (a USB adapter pulled, the
// emulator killed: EIO, ENXIO, ENODEV or a hang-up) ends that exchange as a
// time-out, the Writer not answering, and the port is closed at once. Every
// later primitive times out at once, without waiting, until the port is
// opened again: PortReady and Reopen do that, through the port map, so a
// re-plugged adapter or a restarted emulator is found.
//
// A primitive runs either on the GUI thread (port choice, start-up probe) or
// on the one worker of the open operation window; there is no lock here.

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "link/Clock.h"

struct MainState;
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

// "Open  COM3 Port Error!!" and the texts of the port choice. A ComN name is
// shown in upper case; a device path keeps its own spelling ("/dev/pts/2").
std::string PortOpenErrorText(const std::string& deviceName);
std::string ConnectResultText(std::int32_t status, const std::string& deviceName);

// A progress window's stream gives up after three ticks of its one-second timer.
inline constexpr int kStreamTicks = 3;

// How the program-memory write stream ended.
struct StreamEnd {
  enum Kind {
    AllWritten,   // 0xB0 after byte index
    Reply,        // another reply than 0xB5 / 0xB0 after byte index (in reply)
    CtsTimeout,   // CTS did not come for byte index
    ReplyTimeout, // no reply to byte index
    Exhausted,    // every byte up to ProgramBytes + 5 taken, never 0xB0
  };
  Kind kind = Exhausted;
  int index = 0;
  std::uint8_t reply = 0;
};

// How the program-memory read stream of Read ended.
enum class ImageReadEnd {
  Complete,       // the end mark after at least the image's bytes
  HeaderTimeout,  // CTS did not come for a header byte
  DataTimeout,    // the data stopped before the end mark
  ShortImage,     // the end mark came early, or the data never stopped
  SocketError,    // 0xFE
  AdapterError,   // 0xFD
  Stopped,        // the stop came
};

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

  // (Re)opens the port with the Writer's line settings; sets or clears
  // PortFailed and shows the open error through prompts.
  void CheckComPort(const PortSelection& choice, Prompts& prompts);
  // The window's box also says when the port is missing from the port map
  // (writer-cli and the gang say why a port failed on their own).
  void SetExplainMissingPort(bool on) { explainMissingPort_ = on; }
  // CheckComPort without the message: true when the port opened.
  bool Reopen(const PortSelection& choice);
  // The port is closed, or its device has gone: it wants opening afresh.
  bool PortGone();
  // The operation entry guard: reopens a port whose last open failed or whose
  // device has gone, once. True when the port is usable.
  bool PortReady(const PortSelection& choice, Prompts& prompts);

  // The probe. One that gets no answer, or a wrong one, is sent once more
  // after the line has been quiet for kProbeRetryQuiet: long enough for a
  // Writer to give up a command a crashed program left it inside.
  std::int32_t CheckWriter();
  static constexpr Clock::Duration kProbeRetryQuiet{600};
  // Drops whatever the port has received and not yet read.
  void ClearInput();
  void GetHeader(std::uint32_t area, std::int32_t mode, const HeaderInputs& inputs);
  std::int32_t SendHeader(std::int32_t count);
  std::int32_t Read7BitData(std::int32_t count, bool waitEnd);
  std::int32_t Read8BitData(std::int32_t count);
  std::int32_t ReadWriterID(std::int32_t count);
  // Ends, as a time-out, once two replies in a row have not come: a Writer
  // gone silent is reported in seconds, not after a wait for every byte left.
  std::int32_t WriteData(std::int32_t count, bool waitEnd);
  // False when the reset-vector word is blank and the user chose Abort.
  bool CheckResetAddr(Prompts& prompts);

  // The program-memory write stream, after the Writer accepted the header:
  // bytes 0 .. count - 1 of image (blank halves past its end), each sent when
  // CTS is on and answered by the Writer, each wait bounded by `ticks` ticks
  // of the progress window's one-second timer. accepted(j) runs after each 0xB5.
  StreamEnd StreamImage(std::span<const std::uint8_t> image, int count, int ticks,
                        const std::function<void(int)>& accepted);
  // Read's program-memory read: sends the header (area 0, mode 1, built by
  // GetHeader), then keeps the data bytes in image, whose size is the most
  // that is kept, until the end mark. At least n bytes make a complete image;
  // progress(percent) runs whenever the whole percent of n grows. Every wait
  // is bounded by kStreamTicks ticks of the window's timer.
  ImageReadEnd ReadImage(std::vector<std::uint8_t>& image, int n, const std::function<void(int)>& progress);

 private:
  class Timeout;
  // Each sends one byte once CTS is on; false when the time-out or the stop
  // comes first, or the device has gone.
  // One probe; sent tells whether its byte went out.
  std::int32_t ProbeOnce(bool& sent);
  // Reads and drops input until none has come for kProbeRetryQuiet, then
  // clears the port; false when stopped, the port has gone or the line never
  // falls quiet.
  bool AwaitQuietLine();
  static constexpr Clock::Duration kProbeRetryQuietLongest{3000};
  static constexpr Clock::Duration kProbeRetryStep{10};
  bool SendByte(std::uint8_t byte, Timeout& timeout);
  bool SendByte(std::uint8_t byte);
  bool SendHeaderBytes(std::int32_t count);
  // One reply byte, or -1 when the time-out or the stop comes first, or the device has gone.
  int ReadReply(Timeout& timeout);
  int ReadReply();
  // Data bytes 00-7F into ReadBuffer until the end mark, an error reply or the time-out.
  std::int32_t ReadSevenBitStream(std::int32_t count, bool waitEnd);
  // False when the port is not open (any more) or its device has just gone.
  bool Usable();
  // Bytes waiting, at most count; 0 when none, the port is closed or the device gone.
  std::int32_t Receive(std::uint8_t* buffer, std::int32_t count);
  bool Transmit(std::uint8_t byte);
  // The device has gone: the port is closed so that the next open finds it afresh.
  void Drop();
  void Purge();
  bool Stopped() const { return stop_.stop_requested(); }
  // Waits a moment for input; false when the port is closed or its device gone.
  bool WaitInput();
  // Inside a read stream, with `due` bytes still to come: a nap no longer
  // than the line needs for them lets them gather in the port, so one read
  // takes dozens and the worker wakes far less often, the stream ending no
  // later on the wire.
  void Gather(std::int32_t due);
  static constexpr std::int32_t kChunkBytes = 64;

  MainState& state_;
  TCustomComm& comm_;
  Clock& clock_;
  std::stop_token stop_;
  int pollMs_ = 10;
  bool explainMissingPort_ = false;
};
