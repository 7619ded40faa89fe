#include "link/WriterLink.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "app/Prompts.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/OpenFailure.h"
#include "link/PortMap.h"

namespace {

// How a message names the port: a ComN name in upper case ("COM3"), a device
// path as it is spelt ("/dev/ttyUSB0").
std::string PortInMessage(std::string name) {
  if (ComNumber(name) == 0) return name;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// Leading decimal number of an edit's text; fallback when there is none.
int EditNumber(const std::string& text, int fallback) {
  int value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  while (first != last && *first == ' ') ++first;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) return 1 << 30;
  if (ec != std::errc() || end == first) return fallback;
  return value;
}

TFlowControl FlowFromHandshake(int index) {
  switch (index) {
    case 1: return fcCTS;
    case 2: return fcNone;
    default: return fcDefault;  // "Default" and no selection
  }
}

}  // namespace

const char* LinkStatusMessage(std::int32_t status) {
  switch (status) {
    case kLinkSocketError: return "Nothing in socket or type error!!";
    case kLinkAdapterError: return "IC adapter board error!!";
    case kLinkWriterMismatch: return "Writer type is error!";
    case kLinkUnexpected: return "Writer Error!!";
    case kLinkTimeout: return "Connect Timeout!!";
    default: return "";
  }
}

std::string PortOpenErrorText(const std::string& deviceName) {
  return "Open  " + PortInMessage(deviceName) + " Port Error!!";
}

std::string ConnectResultText(std::int32_t status, const std::string& deviceName) {
  switch (status) {
    case kLinkWriterModel1:
    case kLinkWriterModel2:
    case kLinkWriterUniversal: return "Connect OK!";
    case kLinkTimeout: return "Connect " + PortInMessage(deviceName) + " Timeout!!";
    default: return "Connect Fail!";
  }
}

std::string ClampPulseText(const std::string& text, int defaultValue, int maxValue) {
  if (text.empty()) return std::to_string(defaultValue);
  const int value = EditNumber(text, -1);
  if (value < 0) return std::to_string(defaultValue);  // not a number
  if (value > maxValue) return std::to_string(maxValue);
  if (value == 0) return "1";
  return text;
}

// The one time-out of the link: a wait ends after a number of ticks of a
// one-second timer. The primitives' timer is the seconds field of the clock,
// so their three ticks take two to three seconds from a restart, whenever the
// seconds fall (the Writer's own pace never comes near it). A progress
// window's timer starts with the wait it bounds: its ticks are whole seconds
// since the restart.
class WriterLink::Timeout {
 public:
  enum Phase { kClockSeconds, kRestart };
  Timeout(Clock& clock, int ticks, Phase phase) : clock_(clock), ticks_(ticks), phase_(phase) { Restart(); }
  void Restart() { start_ = clock_.Now(); }
  bool Expired() { return Ticks(clock_.Now()) >= ticks_; }

 private:
  static constexpr Clock::Duration kTick = std::chrono::seconds(1);
  int Ticks(Clock::Duration now) const {
    if (phase_ == kRestart) return static_cast<int>((now - start_) / kTick);
    return static_cast<int>(now / kTick - start_ / kTick);
  }
  Clock& clock_;
  int ticks_;
  Phase phase_;
  Clock::Duration start_{};
};

namespace {
// The primitives give up after three ticks of the clock's seconds.
constexpr int kPrimitiveTicks = 3;
}  // namespace

WriterLink::WriterLink(MainState& state, TCustomComm& comm, Clock& clock)
    : state_(state), comm_(comm), clock_(clock) {}

bool WriterLink::Reopen(const PortSelection& choice) {
  comm_.Close();
  state_.PortName = comm_.DeviceName();
  state_.PortBaud = comm_.BaudRate();
  state_.PortDataBits = comm_.Databits();
  state_.PortParity = comm_.Parity();
  state_.PortStopBits = comm_.Stopbits();
  bool opened = false;
  try {
    comm_.SetDeviceName(choice.port);
    comm_.SetBaudRate(br115200);
    comm_.SetDatabits(da8);
    comm_.SetParity(paNone);
    comm_.SetStopbits(sb10);
    comm_.SetFlowControl(FlowFromHandshake(choice.handshake));
    for (int i = 0; i < 3; ++i) clock_.Sleep(Clock::Duration{1});
    comm_.Open();
    opened = comm_.Enabled() && comm_.LastOpenError() == 0;
  } catch (const ECommError&) {
    // A port that opens but refuses the line settings is as unusable as one
    // that does not open; leave it closed rather than half set up.
    comm_.Close();
  }
  state_.PortFailed = opened ? 0 : 1;
  return opened;
}

void WriterLink::CheckComPort(const PortSelection& choice, Prompts& prompts) {
  if (Reopen(choice)) return;
  std::string text = PortOpenErrorText(choice.port);
  if (explainMissingPort_ && comm_.LastOpenError() == ENOENT && MissingFromPortMap(choice.port))
    text += "\n" + PortOpenFailureReason(choice.port, ENOENT);
  prompts.Message(text);
}

bool WriterLink::PortReady(const PortSelection& choice, Prompts& prompts) {
  if (state_.PortFailed || PortGone()) CheckComPort(choice, prompts);
  return !state_.PortFailed;
}

bool WriterLink::PortGone() {
  // A look at the line notices a hang-up that the port's watcher has not yet.
  comm_.WaitForInput(0);
  return !comm_.Enabled() || comm_.DeviceGone();
}

void WriterLink::Drop() { comm_.Close(); }

bool WriterLink::Usable() {
  if (!comm_.Enabled()) return false;
  if (!comm_.DeviceGone()) return true;
  Drop();
  return false;
}

std::int32_t WriterLink::Receive(std::uint8_t* buffer, std::int32_t count) {
  if (!Usable()) return 0;
  try {
    return std::max(comm_.Read(buffer, count), 0);
  } catch (const ECommError& e) {
    if (!DeviceGoneError(e.ErrorCode())) throw;
  }
  Drop();
  return 0;
}

bool WriterLink::Transmit(std::uint8_t byte) {
  try {
    comm_.Write(&byte, 1);
    return true;
  } catch (const ECommError& e) {
    if (!DeviceGoneError(e.ErrorCode())) throw;
  }
  Drop();
  return false;
}

void WriterLink::Purge() {
  comm_.PurgeIn();
  comm_.PurgeOut();
}

void WriterLink::Gather(std::int32_t due) {
  // 10 bits a byte at 115200 baud: the Writer cannot send them sooner.
  constexpr std::chrono::microseconds kByteTime{87};
  constexpr Clock::Duration kLongest{3};
  const auto span = std::chrono::duration_cast<Clock::Duration>(std::max(due, 0) * kByteTime);
  if (span.count() > 0) clock_.Sleep(std::min(span, kLongest));
}

bool WriterLink::WaitInput() {
  comm_.WaitForInput(pollMs_);
  return Usable();
}

bool WriterLink::SendByte(std::uint8_t byte, Timeout& timeout) {
  for (;;) {
    // A line without modem inputs reads CTS as on, so the stop is looked at
    // before every byte, not only while CTS is off.
    if (Stopped() || !Usable()) return false;
    if (comm_.GetModemState(1)) break;
    if (timeout.Expired()) return false;
    comm_.WaitForCts(pollMs_);
  }
  return Transmit(byte);
}

bool WriterLink::SendByte(std::uint8_t byte) {
  Timeout timeout(clock_, kPrimitiveTicks, Timeout::kClockSeconds);
  return SendByte(byte, timeout);
}

bool WriterLink::SendHeaderBytes(std::int32_t count) {
  count = std::min(count, static_cast<std::int32_t>(kCommandHeaderBytes));
  for (std::int32_t i = 0; i < count; ++i)
    if (!SendByte(state_.CommandHeader[i])) return false;
  return true;
}

int WriterLink::ReadReply(Timeout& timeout) {
  for (;;) {
    if (Stopped()) return -1;
    // A reply comes a byte-time after its byte at the soonest: waiting first
    // saves a read that would find nothing.
    const bool usable = WaitInput();
    std::uint8_t b = 0;
    if (Receive(&b, 1) == 1) return b;
    if (!usable || timeout.Expired()) return -1;
  }
}

int WriterLink::ReadReply() {
  Timeout timeout(clock_, kPrimitiveTicks, Timeout::kClockSeconds);
  return ReadReply(timeout);
}

void WriterLink::ClearInput() { comm_.PurgeIn(); }

std::int32_t WriterLink::CheckWriter() {
  bool sent = false;
  const std::int32_t first = ProbeOnce(sent);
  // The rest of an exchange a crashed program left behind can answer the
  // probe, or a Writer still inside that exchange can take the probe for its
  // data. Either passes once the line has been quiet long enough for the
  // Writer to give the exchange up: then the probe is tried once more.
  if (!sent || (first != kLinkTimeout && first != kLinkUnexpected)) return first;
  if (!AwaitQuietLine()) return first;
  return ProbeOnce(sent);
}

std::int32_t WriterLink::ProbeOnce(bool& sent) {
  sent = false;
  if (Stopped()) return kLinkTimeout;
  Purge();
  if (!SendByte(kProbeByte)) return kLinkTimeout;
  sent = true;
  switch (ReadReply()) {
    case -1: return kLinkTimeout;
    case writer_reply::kModel1: return state_.WriterType == 1 ? kLinkWriterModel1 : kLinkWriterMismatch;
    case writer_reply::kModel2: return state_.WriterType == 2 ? kLinkWriterModel2 : kLinkWriterMismatch;
    case writer_reply::kUniversal: return kLinkWriterUniversal;
    default: return kLinkUnexpected;
  }
}

bool WriterLink::AwaitQuietLine() {
  const Clock::Duration start = clock_.Now();
  Clock::Duration heard = start;
  std::array<std::uint8_t, kChunkBytes> chunk;
  for (;;) {
    if (Stopped() || !Usable()) return false;
    const Clock::Duration now = clock_.Now();
    if (Receive(chunk.data(), kChunkBytes) > 0) heard = now;
    else if (now - heard >= kProbeRetryQuiet) break;
    // A line that never falls quiet is not a Writer to probe again.
    if (now - start >= kProbeRetryQuietLongest) return false;
    clock_.Sleep(kProbeRetryStep);
  }
  ClearInput();
  return true;
}

void WriterLink::GetHeader(std::uint32_t areaCode, std::int32_t mode, const HeaderInputs& inputs) {
  state_.DeviceIndex = GetICInfo(state_, inputs.deviceChoice);
  auto& h = state_.CommandHeader;
  h[0] = kHeaderCommand;
  h[1] = 0;
  h[2] = 0;
  h[6] = state_.DeviceAttr;
  h[8] = state_.DeviceAttr2;
  const bool readMode = mode == kModeRead;
  // Bytes 3 and 4 (last address or size code), 5 (area code) and 7.
  auto area = [&h](std::uint8_t b3, std::uint8_t b4, std::uint8_t b5, std::uint8_t b7) {
    h[3] = b3;
    h[4] = b4;
    h[5] = b5;
    h[7] = b7;
  };
  switch (areaCode) {
    case kAreaProgram: area(state_.ProgramTopLo, state_.ProgramTopHi, 0, 2); break;
    case kAreaOption: area(readMode ? 2 : 0, 0, 1, 0x30); break;
    case kAreaId: area(readMode ? 0x0F : 7, 0, 2, 2); break;
    case kAreaEeprom:
      area(state_.EepromTopLo, state_.EepromTopHi, 3, 0x0C);
      h[6] |= 0x80;
      if (readMode) h[8] |= 0x80;
      break;
    case kAreaOption2: area(readMode ? 2 : 0, 0, 5, 0x30); break;
    default: area(0, 0, 2, 2); break;
  }
  // The edits count 0.2 ms (write) and 0.1 ms (erase) steps; the header 0.1 ms.
  const auto writePulse = static_cast<std::uint8_t>(
      inputs.pulseEditsVisible ? EditNumber(inputs.pulseWidthText, 0) * 2 : 24);
  const auto erasePulse = static_cast<std::uint8_t>(
      inputs.pulseEditsVisible ? EditNumber(inputs.eraseWidthText, 0) : 80);
  switch (mode) {
    case kModeProgram:
      if (state_.MemoryKind == 1) {
        h[9] = 0xA6;
      } else {
        h[7] = writePulse;
        h[9] = 0xA7;
      }
      break;
    case kModeRead: {
      const std::uint8_t osc = state_.OptionLow & 0x0F;
      const bool rc = osc == 0x0A;
      const bool calibrated =
          (state_.RcCalKind == 1 && rc) ||
          (state_.RcCalKind == 2 && rc && (state_.OptionLow & 0x30) != 0x20) ||
          (state_.RcCalKind == 3 && rc && (state_.OptionHigh & 0x18) != 0x10);
      if (calibrated) h[8] |= 0x80;
      const auto dash = state_.DeviceName.find('-');
      if (dash != std::string::npos && state_.DeviceName.compare(dash, 3, "-RC") == 0) h[8] &= 0xCF;
      h[9] = 0xA5;
      break;
    }
    case kModeErase:
      h[7] = erasePulse;
      h[9] = 0xA8;
      break;
    case kModeProgramPulse:
      h[7] = writePulse;
      h[9] = 0xA7;
      break;
    default:
      h[9] = 0xA5;
      break;
  }
}

std::int32_t WriterLink::SendHeader(std::int32_t count) {
  if (Stopped()) return kLinkTimeout;
  Purge();
  if (!SendHeaderBytes(count)) return kLinkTimeout;
  switch (ReadReply()) {
    case -1: return kLinkTimeout;
    case writer_reply::kAccepted: return kLinkHeaderAccepted;
    case writer_reply::kEnd: return kLinkFinished;
    case writer_reply::kAdapterError: return kLinkAdapterError;
    case writer_reply::kSocketError: return kLinkSocketError;
    default: return kLinkUnexpected;
  }
}

std::int32_t WriterLink::Read8BitData(std::int32_t count) {
  if (Stopped()) return kLinkTimeout;
  Purge();
  if (!SendHeaderBytes(10)) return kLinkTimeout;
  Timeout timeout(clock_, kPrimitiveTicks, Timeout::kClockSeconds);
  std::int32_t i = 0;
  std::array<std::uint8_t, kChunkBytes> chunk;
  while (i < count) {
    // Looked at on every read: a Writer that keeps streaming must not hold
    // a stopped operation.
    if (Stopped()) return kLinkTimeout;
    const std::int32_t got = Receive(chunk.data(), std::min(count - i, kChunkBytes));
    if (got > 0) {
      for (std::int32_t j = 0; j < got; ++j, ++i)
        if (i < kReadBufferBytes) state_.ReadBuffer[i] = chunk[j];
      timeout.Restart();
      Gather(count - i);
      continue;
    }
    if (timeout.Expired() || !WaitInput()) return kLinkTimeout;
  }
  return kLinkFinished;
}

std::int32_t WriterLink::Read7BitData(std::int32_t count, bool waitEnd) {
  if (Stopped()) return kLinkTimeout;
  Purge();
  if (!SendHeaderBytes(10)) return kLinkTimeout;
  return ReadSevenBitStream(count, waitEnd);
}

std::int32_t WriterLink::ReadWriterID(std::int32_t count) {
  if (Stopped()) return kLinkTimeout;
  Purge();
  if (!SendHeaderBytes(1)) return kLinkTimeout;
  return ReadSevenBitStream(count, false);
}

std::int32_t WriterLink::ReadSevenBitStream(std::int32_t count, bool waitEnd) {
  Timeout timeout(clock_, kPrimitiveTicks, Timeout::kClockSeconds);
  std::int32_t i = 0;
  const std::int32_t room = std::min(count, static_cast<std::int32_t>(kReadBufferBytes));
  std::array<std::uint8_t, kChunkBytes> chunk;
  for (;;) {
    if (Stopped()) return kLinkTimeout;
    // Never past what is due (the data left, then the end mark): a stream
    // that ends without its mark leaves the next exchange's bytes unread.
    const std::int32_t due = std::max(count - i, 0) + (waitEnd ? 1 : 0);
    const std::int32_t got = Receive(chunk.data(), std::clamp(due, 1, kChunkBytes));
    for (std::int32_t j = 0; j < got; ++j) {
      const std::uint8_t b = chunk[j];
      if (b == writer_reply::kEnd) return i < count - 1 ? kLinkUnexpected : kLinkFinished;
      if (b == writer_reply::kAdapterError) return kLinkAdapterError;
      if (b == writer_reply::kSocketError) return kLinkSocketError;
      if (b & 0x80) return kLinkUnexpected;
      if (i < count) {
        if (i < room) state_.ReadBuffer[i] = b;
        timeout.Restart();
        ++i;
      }
      if (i >= count && !waitEnd) return kLinkFinished;
    }
    if (timeout.Expired()) return kLinkTimeout;
    if (got == 0) {
      if (!WaitInput()) return kLinkTimeout;
    } else {
      Gather(due - got);
    }
  }
}

std::int32_t WriterLink::WriteData(std::int32_t count, bool waitEnd) {
  if (Stopped()) return kLinkTimeout;
  Purge();
  std::int32_t result = kLinkWritten;
  int unanswered = 0;  // replies in a row that did not come
  const std::int32_t last = waitEnd ? count + 4 : count;
  for (std::int32_t i = 0; i <= last && i < kReadBufferBytes; ++i) {
    if (!SendByte(state_.ReadBuffer[i])) return kLinkTimeout;
    switch (const int reply = ReadReply()) {
      case writer_reply::kAccepted: unanswered = 0; continue;
      case -1:
        // One lost reply may be the line's; a second in a row is a Writer
        // that has stopped answering.
        if (Stopped() || !Usable() || ++unanswered == 2) return kLinkTimeout;
        result = kLinkTimeout;  // the transfer goes on; a later reply may replace it
        continue;
      case writer_reply::kAllWritten: return i < count - 1 ? kLinkUnexpected : result;
      case writer_reply::kWriteFailed: state_.WriteFailIndex = i; return kLinkWriteFailed;
      case writer_reply::kAdapterError: return kLinkAdapterError;
      case writer_reply::kSocketError: return kLinkSocketError;
      default: (void)reply; return kLinkUnexpected;
    }
  }
  // Every byte was taken but the Writer never said all was written: that is
  // not a finished write.
  return result == kLinkWritten ? kLinkUnexpected : result;
}

StreamEnd WriterLink::StreamImage(std::span<const std::uint8_t> image, int count, int ticks,
                                  const std::function<void(int)>& accepted) {
  Timeout timeout(clock_, ticks, Timeout::kRestart);
  for (int j = 0; j < count; ++j) {
    timeout.Restart();
    const std::uint8_t byte = j < static_cast<int>(image.size()) ? image[j] : kBlankHalf;
    if (!SendByte(byte, timeout)) return {StreamEnd::CtsTimeout, j};
    timeout.Restart();
    const int reply = ReadReply(timeout);
    if (reply < 0) return {StreamEnd::ReplyTimeout, j};
    const auto r = static_cast<std::uint8_t>(reply);
    if (r == writer_reply::kAllWritten) return {StreamEnd::AllWritten, j, r};
    if (r != writer_reply::kAccepted) return {StreamEnd::Reply, j, r};
    accepted(j);
  }
  return {StreamEnd::Exhausted, count};
}

ImageReadEnd WriterLink::ReadImage(std::vector<std::uint8_t>& image, int n, const std::function<void(int)>& progress) {
  // Leftovers of an earlier exchange would otherwise be read as data.
  Purge();
  Timeout timeout(clock_, kStreamTicks, Timeout::kRestart);
  for (int i = 0; i < 10; ++i) {
    timeout.Restart();
    if (!SendByte(state_.CommandHeader[i], timeout))
      return Stopped() ? ImageReadEnd::Stopped : ImageReadEnd::HeaderTimeout;
  }

  const int room = static_cast<int>(image.size());
  int k = 0;
  int shown = 0;
  // Every byte restarts the time-out, so a line that never stops sending
  // would hold the operation for ever: past twice the image, give up.
  long long received = 0;
  const long long bound = 2LL * room + 64;
  timeout.Restart();
  std::array<std::uint8_t, 256> chunk;
  for (;;) {
    if (Stopped()) return ImageReadEnd::Stopped;
    const std::int32_t got = Receive(chunk.data(), static_cast<std::int32_t>(chunk.size()));
    if (got == 0) {
      if (timeout.Expired() || !WaitInput()) return Stopped() ? ImageReadEnd::Stopped : ImageReadEnd::DataTimeout;
      continue;
    }
    if ((received += got) > bound) return ImageReadEnd::ShortImage;
    for (std::int32_t j = 0; j < got; ++j) {
      const std::uint8_t c = chunk[j];
      timeout.Restart();
      if (c < 0x80) {
        if (k < room) {
          const int percent = static_cast<int>(static_cast<long long>(k) * 100 / std::max(n, 1));
          if (percent > shown) {
            shown = percent;
            progress(percent);
          }
          image[k++] = c;
        }
        continue;
      }
      switch (c) {
        case writer_reply::kSocketError: return ImageReadEnd::SocketError;
        case writer_reply::kAdapterError: return ImageReadEnd::AdapterError;
        case writer_reply::kEnd: return k < n ? ImageReadEnd::ShortImage : ImageReadEnd::Complete;
        default: break;  // other replies mean nothing here
      }
    }
    Gather(n - k + 1);
  }
}

bool WriterLink::CheckResetAddr(Prompts& prompts) {
  const bool atZero = (state_.DeviceAttr & 0x20) != 0;
  const int byte = atZero ? 0 : state_.ProgramBytes - 2;
  if (byte < 0 || byte + 1 >= kProgramBufferBytes) return true;  // no such word in the buffer
  const bool blank = (state_.ProgramBuffer[byte] & 0x7F) == 0x7F && (state_.ProgramBuffer[byte + 1] & 0x7F) == 0x7F;
  if (!blank) return true;
  std::string text = "Reset address (0000h) is blank!!";
  if (!atZero) {
    char address[8];
    std::snprintf(address, sizeof address, "%04X", static_cast<unsigned>(state_.ProgramBytes / 2 - 1) & 0xFFFF);
    text = std::string("Reset address (") + address + "h) is blank!!";
  }
  return prompts.Ask(text, {}, PromptButtons::AbortIgnore, PromptIcon::Warning) != PromptAnswer::Abort;
}
