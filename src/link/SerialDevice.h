#pragma once
// The serial line as the comm component sees it: one device, opened by name,
// with non-blocking reads, writes bounded by a time-out, queue counts, purges,
// modem lines, line settings and a wait for line events. TComm talks to the
// hardware only through this, so tests can hand it an in-process line.
//
// Error results are system error codes (errno values); 0 means success.

#include <cerrno>
#include <cstdint>
#include <string>

// Errors that say the device itself has gone (a USB adapter pulled, the far
// end of a terminal closed): nothing passes until it is opened afresh.
inline bool DeviceGoneError(int code) { return code == EIO || code == ENXIO || code == ENODEV; }

// Line events, as a bit mask (the watcher asks for a set and gets a set back).
namespace LineEvent {
constexpr std::uint32_t RxChar = 0x0001;   // a byte was received
constexpr std::uint32_t RxFlag = 0x0002;   // the event character was received
constexpr std::uint32_t TxEmpty = 0x0004;  // the transmit queue ran empty
constexpr std::uint32_t Cts = 0x0008;      // CTS changed
constexpr std::uint32_t Dsr = 0x0010;      // DSR changed
constexpr std::uint32_t Rlsd = 0x0020;     // carrier changed
constexpr std::uint32_t Break = 0x0040;    // a break was received
constexpr std::uint32_t Err = 0x0080;      // a line-status error occurred
constexpr std::uint32_t Ring = 0x0100;     // ring indicator
constexpr std::uint32_t All = 0x01FF;
}  // namespace LineEvent

// Modem input lines.
namespace ModemLine {
constexpr std::uint32_t Cts = 0x0010;
constexpr std::uint32_t Dsr = 0x0020;
constexpr std::uint32_t Ring = 0x0040;
constexpr std::uint32_t Rlsd = 0x0080;
}  // namespace ModemLine

// Line-status error bits reported (and cleared) by GetStatus.
namespace LineError {
constexpr std::uint32_t RxOver = 0x0001;   // receive queue overflow
constexpr std::uint32_t Overrun = 0x0002;  // hardware overrun
constexpr std::uint32_t Parity = 0x0004;
constexpr std::uint32_t Frame = 0x0008;
constexpr std::uint32_t Break = 0x0010;
}  // namespace LineError

enum class DtrControl : std::uint8_t { Disable, Enable, Handshake };
enum class RtsControl : std::uint8_t { Disable, Enable, Handshake, Toggle };

// What the port is told about the line: speed, framing, handshaking, special
// characters and limits. Read it, change what you mean to change, apply it.
struct SerialSettings {
  std::uint32_t baudRate = 9600;
  std::uint8_t byteSize = 8;  // 4 to 8
  std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two

  bool binary = true;             // raw transfer
  bool parityCheck = false;
  bool outxCtsFlow = false;       // output waits for CTS
  bool outxDsrFlow = false;       // output waits for DSR
  DtrControl dtrControl = DtrControl::Enable;
  bool dsrSensitivity = false;    // receive only while DSR is on
  bool txContinueOnXoff = false;  // keep sending after XOFF was sent
  bool outX = false;              // XON/XOFF for output
  bool inX = false;               // XON/XOFF for input
  bool errorCharReplace = false;  // bytes with parity errors become errorChar
  bool nullStrip = false;         // drop received zero bytes
  RtsControl rtsControl = RtsControl::Enable;
  bool abortOnError = false;

  std::uint16_t xonLimit = 0;
  std::uint16_t xoffLimit = 0;
  std::uint8_t xonChar = 0x11;
  std::uint8_t xoffChar = 0x13;
  std::uint8_t errorChar = 0;
  std::uint8_t eofChar = 0;
  std::uint8_t evtChar = 0;

  bool operator==(const SerialSettings&) const = default;
};

// Port status: line errors since the last call (cleared by reading them),
// hold reasons of the transmitter and the queue counts.
struct SerialStatus {
  std::uint32_t errors = 0;  // LineError bits
  bool ctsHold = false;      // waiting for CTS
  bool dsrHold = false;      // waiting for DSR
  bool rlsdHold = false;     // waiting for carrier
  bool xoffHold = false;     // held by a received XOFF
  bool xoffSent = false;     // XOFF was sent and the port holds
  std::int32_t inQueue = 0;
  std::int32_t outQueue = 0;
};

// Functions of the port's escape call.
enum class CommEscape : std::uint8_t {
  SetXoff,   // act as if XOFF was received
  SetXon,    // act as if XON was received
  SetRts,
  ClrRts,
  SetDtr,
  ClrDtr,
  SetBreak,
  ClrBreak,
};

// Result of one transfer: count moved, or a system error, or a time-out.
struct IoResult {
  std::int32_t count = 0;
  int error = 0;          // system error code, 0 when none
  bool timedOut = false;  // the transfer did not complete within the limit
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens the named device exclusively. Returns 0 or the system error code;
  // a name that is not a serial (character) device fails and stays closed.
  virtual int Open(const std::string& name) = 0;
  // Closes; waits of other threads return promptly. Closing a closed device does nothing.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Returns at once with the bytes already received (count 0 when none).
  virtual IoResult Read(void* buffer, std::int32_t count) = 0;
  // Queues count bytes; gives up after timeoutMs (timedOut set, the rest dropped).
  virtual IoResult Write(const void* buffer, std::int32_t count, int timeoutMs) = 0;

  // Reads and clears the error state; fills queue counts and hold flags.
  virtual int GetStatus(SerialStatus& status) = 0;
  // Discards what waits in the receive and/or transmit queue.
  virtual int Purge(bool receive, bool transmit) = 0;
  // ModemLine bits of the inputs that are on.
  virtual int GetModemLines(std::uint32_t& lines) = 0;
  virtual int Escape(CommEscape function) = 0;

  virtual int GetSettings(SerialSettings& settings) = 0;
  virtual int ApplySettings(const SerialSettings& settings) = 0;
  // Requested driver queue sizes; a driver may ignore them.
  virtual int SetQueueSizes(std::int32_t receive, std::int32_t transmit) = 0;

  // Waits until one of the LineEvent bits in mask occurs (events gets what
  // occurred), until timeoutMs passes (-1: no limit; events stays 0) or until
  // CancelWait. Returns 0 or a system error code.
  virtual int WaitEvents(std::uint32_t mask, int timeoutMs, std::uint32_t& events) = 0;
  // Makes the current WaitEvents return at once, or the next one if none is
  // running (so a cancel that comes first is not lost).
  virtual void CancelWait() = 0;

  // True as soon as at least one byte is waiting; false on time-out or when closed.
  virtual bool WaitReadable(int timeoutMs) = 0;
  // True as soon as the modem input line (a ModemLine bit) is on.
  virtual bool WaitModemLine(std::uint32_t line, int timeoutMs) = 0;

  // True once a wait or a transfer has found the open device gone (hung up,
  // unplugged); Read then fails with EIO. Cleared by the next Open.
  virtual bool Gone() const { return false; }
};
