#pragma once
// A Writer with an IC in its socket, driven byte by byte from the PC's side.
//
// The emulator speaks the Writer's byte exchange: the probe (0xA0), command
// headers (0xA1 + 9 bytes) for the program, OPTION, ID, EEPROM and second
// option areas with their read, program and erase op codes, and the 25-byte
// download record (0xA9). The IC behaves like the part: one-time-programmable
// cells only lose bits, flash parts erase to all ones, a protected part hides
// most program bits, and headers that do not fit the part are refused (0xFE).
// A command the Writer does not know (op code, area) and a download record
// with a wrong check byte are answered 0xB1, which the PC takes as an error.
//
// Replies are queued with the time they are due. Without a line model they are
// due at once and Receive() hands them to the output before it returns; with a
// line model a pump (EmulatorLine, or the program's poll loop) calls Pump() when
// NextEventIn() says so. CTS is high exactly when the Writer is ready for the
// next byte. All members are thread-safe; the output and CTS callbacks are
// called without the emulator's state lock, one call at a time, in order.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/Clock.h"

// Reply and command bytes of the Writer.
namespace emu {

inline constexpr std::uint8_t kProbe = 0xA0;
inline constexpr std::uint8_t kHeader = 0xA1;
inline constexpr std::uint8_t kDownload = 0xA9;
inline constexpr std::uint8_t kOpRead = 0xA5;
inline constexpr std::uint8_t kOpProgram = 0xA6;
inline constexpr std::uint8_t kOpProgramPulse = 0xA7;
inline constexpr std::uint8_t kOpErase = 0xA8;
inline constexpr std::uint8_t kAllWritten = 0xB0;
inline constexpr std::uint8_t kWriteFailed = 0xB1;
inline constexpr std::uint8_t kModel1 = 0xB2;
inline constexpr std::uint8_t kModel2 = 0xB3;
inline constexpr std::uint8_t kModelUniversal = 0xB4;
inline constexpr std::uint8_t kAccepted = 0xB5;
inline constexpr std::uint8_t kFinished = 0xB8;
inline constexpr std::uint8_t kAdapterError = 0xFD;
inline constexpr std::uint8_t kSocketError = 0xFE;
// What a Writer with the garbage fault sends instead of every reply.
inline constexpr std::uint8_t kGarbage = 0xEE;

inline constexpr int kHeaderBytes = 10;
inline constexpr int kDownloadBytes = 25;
inline constexpr int kMaxDownloadedDevices = 16;
inline constexpr int kIdReadBytes = 32;         // as read: 16 of the IC, 16 of the Writer
inline constexpr int kIcIdBytes = 16;       // the part's own, writable ID bytes
inline constexpr int kOptionAreaBytes = 6;  // OPTION word + two body-option words
inline constexpr int kArea5Bytes = 6;       // second option word + two body-option words

}  // namespace emu

enum class WriterModel { Model1, Model2, Universal };

// The IC in the socket. Program words, the OPTION word and the ID are 14-bit
// words / 7-bit bytes; EEPROM is 8-bit.
struct IcDescription {
  std::string name = "K7E1/E3";
  int words = 1024;                  // program words, 1 to 16383
  std::uint8_t attr = 0x30;          // must match header byte 6
  std::uint8_t attr2 = 0xC1;         // must match header byte 8 outside its mode bits
  bool flash = false;                // false: one-time programmable
  int eepromBytes = 0;               // 0: no data EEPROM
  bool isProtected = false;          // clears OPTION bit 13 when loaded
  std::vector<std::uint16_t> program;  // initial contents; missing words blank
  std::uint16_t option = 0x3FFF;
  std::uint16_t option2 = 0x3FFF;          // first word of area 5
  std::vector<std::uint8_t> bodyOptions;   // body-option bytes 0-7; missing bytes 0x7F
  std::vector<std::uint8_t> id;        // initial ID bytes 0-15; missing bytes 0x7F
  std::vector<std::uint8_t> eeprom;    // initial EEPROM; missing bytes 0x00

  // The part described by a row of the device catalogue; nullopt for an unknown name.
  static std::optional<IcDescription> ForDevice(const std::string& name);
};

// Each fault can be switched on alone or together with others.
struct EmulatorFaults {
  bool emptySocket = false;    // every header answered 0xFE
  bool wrongIc = false;        // every header answered 0xFE, as for a part of another type
  bool adapterError = false;   // every header answered 0xFD
  bool ctsNeverRaised = false; // CTS stays low; bytes that arrive anyway get no reply
  std::optional<std::size_t> silenceAfter;   // no reply once this many bytes have arrived
  std::optional<std::size_t> failAtByte;     // data byte (from 0) of a write answered 0xB1
  // Data byte (from 0) of a write answered 0xFE, as when the part is lifted
  // out of the socket while it is written.
  std::optional<std::size_t> socketEmptiedAt;
  // A worn cell: reads of `area` give `value` at data byte `index`, whatever
  // was written there (the write itself is accepted).
  struct WornCell {
    int area = 0;
    std::size_t index = 0;
    std::uint8_t value = 0;
  };
  std::optional<WornCell> wornCell;
  // A read ends (0xB8) or a write is done (0xB0) after this many data bytes;
  // a counted EEPROM read just stops short.
  std::optional<std::size_t> earlyEndAfter;
  bool garbage = false;        // every reply byte becomes kGarbage
};

// Optional pacing: bytes leave at the baud rate, each programmed word takes its
// time, and the Writer is busy (CTS low) until its reply has gone out. The
// latency delays every reply by that much after it is due, as a USB serial
// adapter holds received bytes for its latency timer. Times are counted in
// the clock's whole milliseconds, rounded up.
struct LineModel {
  int baud = 0;  // 0: no pacing
  std::chrono::microseconds wordTime{0};
  std::chrono::microseconds eraseTime{0};
  std::chrono::microseconds latency{0};
};

// One device record accepted by a download.
struct DownloadedDevice {
  int number = 0;
  std::string name;  // trailing blanks removed
  std::uint8_t programTopHi = 0, eepromTopHi = 0, attr = 0, attr2 = 0, attr3 = 0, memoryKind = 0;
};

class WriterEmulator {
 public:
  using Output = std::function<void(std::span<const std::uint8_t>)>;
  using CtsChanged = std::function<void(bool)>;

  explicit WriterEmulator(Clock& clock = SystemClock::Instance());
  WriterEmulator(const WriterEmulator&) = delete;
  WriterEmulator& operator=(const WriterEmulator&) = delete;

  void SetOutput(Output out);
  void SetCtsCallback(CtsChanged cb);

  // Bytes from the PC. Due replies are delivered before this returns.
  void Receive(std::span<const std::uint8_t> bytes);
  void Receive(std::uint8_t byte) { Receive(std::span<const std::uint8_t>(&byte, 1)); }
  // Delivers replies that have fallen due and updates CTS. Returns only after
  // a delivery under way on another thread has reached the PC.
  void Pump();
  // Time until the next pending reply or CTS change; nullopt when nothing is pending.
  std::optional<Clock::Duration> NextEventIn() const;  // rounded up to the clock's milliseconds
  std::optional<std::chrono::microseconds> NextEventInMicros() const;
  bool Cts() const;

  void SetModel(WriterModel model);
  WriterModel Model() const;
  // Puts a part in the socket; its contents come from the description.
  void SetIc(const IcDescription& ic);
  IcDescription Ic() const;
  void SetFaults(const EmulatorFaults& faults);  // also restarts the silence count
  EmulatorFaults Faults() const;
  void SetLineModel(const LineModel& line);
  // A technician at the socket: at a probe after the part was written or
  // erased, a fresh part as SetIc described it goes in. Counts the swaps.
  void SetSwapOnProbe(bool on);
  int PartsSwapped() const;
  // A technician who takes each written part out and seats the next: once a
  // written part's line has been quiet for kTakeOutQuiet the socket is empty,
  // and `after` later a fresh part as SetIc described it is in. Zero: parts
  // move only by TakePartOut and SeatFreshPart. Nullopt: off.
  static constexpr std::chrono::milliseconds kTakeOutQuiet{200};
  // A command whose bytes stop coming for the give-up time is given up, as
  // the Writer's own time-out does: the next byte starts afresh, so a PC that
  // died inside a command finds the Writer ready for its probe. The Writer's
  // own is kGiveUpQuiet (writer-emulator's); in-process the default is
  // longer, as tests on a clock that moves at every look take their time
  // between two bytes of one command.
  static constexpr std::chrono::milliseconds kGiveUpQuiet{500};
  static constexpr std::chrono::milliseconds kInProcessGiveUpQuiet{2000};
  void SetGiveUpQuiet(std::chrono::milliseconds quiet);
  void SetReseat(std::optional<std::chrono::milliseconds> after);
  void TakePartOut();
  void SeatFreshPart();
  bool PartSeated() const;
  // Told the program words of a written or erased part as it leaves the
  // socket (a swap, or TakePart). Called under the emulator's lock: it must
  // not call back into the emulator.
  void SetOnPartLeaving(std::function<void(const std::vector<std::uint16_t>& words)> leaving);
  // The part in the socket leaves, if it was written or erased (end of a run).
  void TakePart();
  // The Writer's own 16 bytes that follow the part's ID (7-bit).
  void SetWriterInfo(const std::string& text);

  // The part's cells as they are now.
  std::uint16_t ProgramWord(int n) const;  // blank outside the part
  void SetProgramWord(int n, std::uint16_t word);
  std::uint16_t OptionWord() const;
  void SetOptionWord(std::uint16_t word);
  std::array<std::uint8_t, emu::kOptionAreaBytes> OptionArea() const;
  std::array<std::uint8_t, emu::kArea5Bytes> Area5() const;
  std::array<std::uint8_t, emu::kIdReadBytes> IdArea() const;  // as a read returns it
  std::vector<std::uint8_t> Eeprom() const;
  bool IsProtected() const;

  std::vector<DownloadedDevice> Downloaded() const;
  // Every byte received so far and every reply sent, for tests.
  std::size_t BytesReceived() const;
  int HeadersAccepted() const;

 private:
  enum class Phase { Idle, Header, Download, Write };
  // The line's own time: microseconds, so a paced byte takes its true time.
  using Micros = std::chrono::microseconds;
  struct Pending {
    Micros due;
    std::uint8_t byte;
  };
  struct Command {
    int area = 0;
    std::uint8_t op = 0;
    std::size_t count = 0;  // data bytes of the data phase
    std::size_t index = 0;  // next data byte
    std::uint8_t pulse = 0;
  };

  void ReceiveOne(std::uint8_t b, Micros now);
  void StartCommand(Micros now);
  void WriteByte(std::uint8_t b, Micros now);
  void FinishDownload(Micros now);
  std::uint8_t CheckHeader(Command& cmd) const;  // 0 when accepted
  void SendRead(const Command& cmd, Micros now);
  void Erase();
  void Reply(std::uint8_t b, Micros now, Micros extra = Micros{0});
  void ResetContents();
  void Reseat(Micros now);  // the technician's moves due by now
  void PartLeaves();
  std::uint8_t ReadProgramHalf(std::size_t i) const;
  bool CtsLocked() const;
  Micros ByteTime() const;
  std::array<std::uint8_t, emu::kIdReadBytes> IdAreaLocked() const;

  Clock& clock_;
  std::mutex deliverMutex_;  // keeps callbacks in order across threads
  mutable std::mutex mutex_;
  Output output_;
  CtsChanged ctsChanged_;
  bool lastCts_ = true;

  WriterModel model_ = WriterModel::Universal;
  IcDescription ic_;
  EmulatorFaults faults_;
  LineModel line_;

  std::vector<std::uint8_t> program_;  // two 7-bit halves per word
  std::array<std::uint8_t, emu::kOptionAreaBytes> optionArea_{};
  std::array<std::uint8_t, emu::kArea5Bytes> area5_{};
  std::array<std::uint8_t, emu::kIcIdBytes> id_{};
  std::vector<std::uint8_t> eeprom_;
  std::vector<DownloadedDevice> downloaded_;

  Phase phase_ = Phase::Idle;
  std::array<std::uint8_t, emu::kDownloadBytes> frame_{};
  std::size_t frameLen_ = 0;
  Command cmd_;
  std::deque<Pending> pending_;
  Micros lastDue_{0};
  Micros lastArrival_{0};  // when the PC's last byte finished arriving
  std::uint8_t eepromLatch_ = 0;
  std::optional<std::array<std::uint8_t, 16>> customInfo_;
  Micros giveUpQuiet_{kInProcessGiveUpQuiet};
  Micros lastByteAt_{0};
  Micros lastReplyAt_{0};  // when the last reply leaves, latency included
  std::size_t received_ = 0;
  std::size_t receivedSinceFaults_ = 0;
  int headersAccepted_ = 0;
  bool swapOnProbe_ = false;
  std::function<void(const std::vector<std::uint16_t>&)> onPartLeaving_;
  bool partTouched_ = false;  // written or erased since it went in
  int partsSwapped_ = 0;
  std::optional<Micros> reseatAfter_;
  bool seated_ = true;
  Micros takenOutAt_{0};
};
