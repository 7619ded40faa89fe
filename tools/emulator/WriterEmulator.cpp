#include "emulator/WriterEmulator.h"

#include <algorithm>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"

using namespace emu;

namespace {

constexpr int kMaxWords = kProgramBufferWords;
constexpr int kMaxEeprom = 65536;
// Header byte 8 carries the mode bits 7, 5 and 4 on top of the part's attribute.
constexpr std::uint8_t kAttr2ModeBits = 0xB0;
constexpr std::uint8_t kProtectBit = 0x40;  // OPTION high half: clear = protected

std::array<std::uint8_t, 16> InfoText(const std::string& text) {
  std::array<std::uint8_t, 16> info;
  info.fill(' ');
  for (std::size_t i = 0; i < info.size() && i < text.size(); ++i) {
    info[i] = static_cast<std::uint8_t>(text[i]) & 0x7F;
  }
  return info;
}

bool SevenBitArea(int area) { return area != 3; }

// A cell of a one-time-programmable or unerased flash part only loses bits.
bool ProgramCell(std::uint8_t& cell, std::uint8_t b) {
  const std::uint8_t want = b & 0x7F;
  if (want & ~cell & 0x7F) return false;
  cell = want;
  return true;
}

}  // namespace

std::optional<IcDescription> IcDescription::ForDevice(const std::string& name) {
  for (int i = 0; const DeviceRecord* row = DeviceRow(i); ++i) {
    if (name != row->Name) continue;
    IcDescription ic;
    ic.name = row->Name;
    ic.words = (row->ProgramTopHi * 256 + row->ProgramTopLo) + 1;
    ic.attr = row->DeviceAttr;
    ic.attr2 = row->DeviceAttr2;
    ic.flash = row->MemoryKind == 2;
    ic.eepromBytes = ic.flash ? (row->EepromTopHi * 256 + row->EepromTopLo) + 1 : 0;
    return ic;
  }
  return std::nullopt;
}

WriterEmulator::WriterEmulator(Clock& clock) : clock_(clock) { ResetContents(); }

void WriterEmulator::SetOutput(Output out) {
  std::lock_guard deliver(deliverMutex_);
  std::lock_guard lock(mutex_);
  output_ = std::move(out);
}

void WriterEmulator::SetCtsCallback(CtsChanged cb) {
  std::lock_guard deliver(deliverMutex_);
  std::lock_guard lock(mutex_);
  ctsChanged_ = std::move(cb);
}

void WriterEmulator::Receive(std::span<const std::uint8_t> bytes) {
  {
    std::lock_guard lock(mutex_);
    const auto now = clock_.PreciseNow();
    for (auto b : bytes) {
      ++received_;
      ++receivedSinceFaults_;
      // With a line model the PC's byte takes its time on the wire too: the
      // Writer hears it, and can answer, only once it has fully arrived.
      const auto arrived = std::max(now, lastArrival_) + ByteTime();
      lastArrival_ = arrived;
      if (faults_.silenceAfter && receivedSinceFaults_ > *faults_.silenceAfter) continue;
      if (faults_.ctsNeverRaised) continue;
      ReceiveOne(b, arrived);
    }
  }
  Pump();
}

void WriterEmulator::Pump() {
  std::lock_guard deliver(deliverMutex_);
  std::vector<std::uint8_t> due;
  bool ctsChanged = false;
  bool cts = false;
  Output out;
  CtsChanged ctsCb;
  {
    std::lock_guard lock(mutex_);
    const auto now = clock_.PreciseNow();
    while (!pending_.empty() && pending_.front().due <= now) {
      due.push_back(pending_.front().byte);
      pending_.pop_front();
    }
    cts = CtsLocked();
    ctsChanged = cts != lastCts_;
    lastCts_ = cts;
    out = output_;
    ctsCb = ctsChanged_;
  }
  // Outside the state lock: the output may be a device that calls back in.
  if (!due.empty() && out) out(due);
  if (ctsChanged && ctsCb) ctsCb(cts);
}

std::optional<std::chrono::microseconds> WriterEmulator::NextEventInMicros() const {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) return std::nullopt;
  return std::max(Micros{0}, pending_.front().due - clock_.PreciseNow());
}

std::optional<Clock::Duration> WriterEmulator::NextEventIn() const {
  const auto next = NextEventInMicros();
  if (!next) return std::nullopt;
  return std::chrono::ceil<Clock::Duration>(*next);
}

bool WriterEmulator::Cts() const {
  std::lock_guard lock(mutex_);
  return CtsLocked();
}

bool WriterEmulator::CtsLocked() const {
  return !faults_.ctsNeverRaised && pending_.empty();
}

void WriterEmulator::SetModel(WriterModel model) {
  std::lock_guard lock(mutex_);
  model_ = model;
}

WriterModel WriterEmulator::Model() const {
  std::lock_guard lock(mutex_);
  return model_;
}

void WriterEmulator::SetIc(const IcDescription& ic) {
  std::lock_guard lock(mutex_);
  ic_ = ic;
  ic_.words = std::clamp(ic_.words, 1, kMaxWords);
  ic_.eepromBytes = std::clamp(ic_.eepromBytes, 0, kMaxEeprom);
  ResetContents();
  phase_ = Phase::Idle;
}

IcDescription WriterEmulator::Ic() const {
  std::lock_guard lock(mutex_);
  return ic_;
}

void WriterEmulator::SetFaults(const EmulatorFaults& faults) {
  {
    std::lock_guard lock(mutex_);
    faults_ = faults;
    receivedSinceFaults_ = 0;
  }
  Pump();  // a CTS fault shows on the line at once
}

EmulatorFaults WriterEmulator::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void WriterEmulator::SetLineModel(const LineModel& line) {
  std::lock_guard lock(mutex_);
  line_ = line;
}

void WriterEmulator::SetWriterInfo(const std::string& text) {
  std::lock_guard lock(mutex_);
  customInfo_ = InfoText(text);
}

std::uint16_t WriterEmulator::ProgramWord(int n) const {
  std::lock_guard lock(mutex_);
  if (n < 0 || static_cast<std::size_t>(n) * 2 + 1 >= program_.size()) return kBlankWord;
  return PackedWord(program_[2 * n], program_[2 * n + 1]);
}

void WriterEmulator::SetProgramWord(int n, std::uint16_t word) {
  std::lock_guard lock(mutex_);
  if (n < 0 || static_cast<std::size_t>(n) * 2 + 1 >= program_.size()) return;
  program_[2 * n] = WordLowHalf(word);
  program_[2 * n + 1] = WordHighHalf(word);
}

std::uint16_t WriterEmulator::OptionWord() const {
  std::lock_guard lock(mutex_);
  return PackedWord(optionArea_[0], optionArea_[1]);
}

void WriterEmulator::SetOptionWord(std::uint16_t word) {
  std::lock_guard lock(mutex_);
  optionArea_[0] = WordLowHalf(word);
  optionArea_[1] = WordHighHalf(word);
}

std::array<std::uint8_t, kOptionAreaBytes> WriterEmulator::OptionArea() const {
  std::lock_guard lock(mutex_);
  return optionArea_;
}

std::array<std::uint8_t, kArea5Bytes> WriterEmulator::Area5() const {
  std::lock_guard lock(mutex_);
  return area5_;
}

std::array<std::uint8_t, kIdReadBytes> WriterEmulator::IdArea() const {
  std::lock_guard lock(mutex_);
  return IdAreaLocked();
}

std::array<std::uint8_t, kIdReadBytes> WriterEmulator::IdAreaLocked() const {
  std::array<std::uint8_t, kIdReadBytes> out{};
  std::copy(id_.begin(), id_.end(), out.begin());
  const auto info = customInfo_ ? *customInfo_
                    : InfoText(model_ == WriterModel::Model1   ? "WRITER MODEL 1"
                               : model_ == WriterModel::Model2 ? "WRITER MODEL 2"
                                                               : "WRITER UNIVERSAL");
  std::copy(info.begin(), info.end(), out.begin() + kIcIdBytes);
  return out;
}

std::vector<std::uint8_t> WriterEmulator::Eeprom() const {
  std::lock_guard lock(mutex_);
  return eeprom_;
}

bool WriterEmulator::IsProtected() const {
  std::lock_guard lock(mutex_);
  return (optionArea_[1] & kProtectBit) == 0;
}

std::vector<DownloadedDevice> WriterEmulator::Downloaded() const {
  std::lock_guard lock(mutex_);
  return downloaded_;
}

std::size_t WriterEmulator::BytesReceived() const {
  std::lock_guard lock(mutex_);
  return received_;
}

int WriterEmulator::HeadersAccepted() const {
  std::lock_guard lock(mutex_);
  return headersAccepted_;
}

void WriterEmulator::ResetContents() {
  program_.assign(static_cast<std::size_t>(ic_.words) * 2, kBlankHalf);
  const std::size_t given = std::min(ic_.program.size(), static_cast<std::size_t>(ic_.words));
  for (std::size_t n = 0; n < given; ++n) {
    program_[2 * n] = WordLowHalf(ic_.program[n]);
    program_[2 * n + 1] = WordHighHalf(ic_.program[n]);
  }
  optionArea_.fill(kBlankHalf);
  optionArea_[0] = WordLowHalf(ic_.option);
  optionArea_[1] = WordHighHalf(ic_.option);
  if (ic_.isProtected) optionArea_[1] &= static_cast<std::uint8_t>(~kProtectBit);
  area5_.fill(kBlankHalf);
  area5_[0] = WordLowHalf(ic_.option2);
  area5_[1] = WordHighHalf(ic_.option2);
  // Body options: four bytes after the OPTION word, four after the second word.
  for (std::size_t i = 0; i < 8 && i < ic_.bodyOptions.size(); ++i) {
    (i < 4 ? optionArea_[2 + i] : area5_[i - 2]) = ic_.bodyOptions[i] & 0x7F;
  }
  id_.fill(kBlankHalf);
  for (std::size_t i = 0; i < id_.size() && i < ic_.id.size(); ++i) id_[i] = ic_.id[i] & 0x7F;
  eeprom_.assign(static_cast<std::size_t>(ic_.eepromBytes), kBlankEeprom);
  for (std::size_t i = 0; i < eeprom_.size() && i < ic_.eeprom.size(); ++i) eeprom_[i] = ic_.eeprom[i];
}

WriterEmulator::Micros WriterEmulator::ByteTime() const {
  if (line_.baud <= 0) return Micros{0};
  // Ten bits a byte; rounded up so a paced line never runs fast.
  return Micros((10'000'000LL + line_.baud - 1) / line_.baud);
}

void WriterEmulator::Reply(std::uint8_t b, Micros now, Micros extra) {
  if (faults_.garbage) b = kGarbage;
  const auto start = std::max(now, lastDue_) + extra;
  const auto due = start + ByteTime();
  lastDue_ = due;
  // The latency delays delivery, not the line: a stream keeps its pace.
  lastReplyAt_ = due + line_.latency;
  pending_.push_back({lastReplyAt_, b});
}

void WriterEmulator::ReceiveOne(std::uint8_t b, Micros now) {
  // How long the line has been quiet: since the PC's last byte or, when the
  // Writer was still answering, since that answer went out.
  const auto quiet = now - std::max(lastByteAt_, lastReplyAt_);
  Reseat(now);
  lastByteAt_ = now;
  // Inside a command every byte belongs to it, top bit or not (the ID editor
  // keeps all eight bits of a character); only a pause ends it.
  if (phase_ != Phase::Idle && quiet >= giveUpQuiet_) phase_ = Phase::Idle;

  switch (phase_) {
    case Phase::Idle:
      if (b == kProbe) {
        if (swapOnProbe_ && partTouched_) {
          PartLeaves();
          ResetContents();
          partTouched_ = false;
          ++partsSwapped_;
        }
        Reply(model_ == WriterModel::Model1   ? kModel1
              : model_ == WriterModel::Model2 ? kModel2
                                              : kModelUniversal,
              now);
      } else if (b == kHeader || b == kDownload) {
        frame_[0] = b;
        frameLen_ = 1;
        phase_ = b == kHeader ? Phase::Header : Phase::Download;
      }
      // Anything else between commands is line noise and ignored.
      break;
    case Phase::Header:
      frame_[frameLen_++] = b;
      if (frameLen_ == kHeaderBytes) StartCommand(now);
      break;
    case Phase::Download:
      frame_[frameLen_++] = b;
      if (frameLen_ == kDownloadBytes) FinishDownload(now);
      break;
    case Phase::Write:
      WriteByte(b, now);
      break;
  }
}

std::uint8_t WriterEmulator::CheckHeader(Command& cmd) const {
  if (faults_.emptySocket || faults_.wrongIc || !seated_) return kSocketError;
  if (faults_.adapterError) return kAdapterError;
  if (cmd.op != kOpRead && cmd.op != kOpProgram && cmd.op != kOpProgramPulse && cmd.op != kOpErase) {
    return kWriteFailed;
  }
  const bool write = cmd.op == kOpProgram || cmd.op == kOpProgramPulse;
  const std::uint8_t attr = ic_.attr | (cmd.area == 3 ? 0x80 : 0x00);
  if (frame_[6] != attr) return kSocketError;
  if ((frame_[8] & ~kAttr2ModeBits) != (ic_.attr2 & ~kAttr2ModeBits)) return kSocketError;
  const std::size_t units = static_cast<std::size_t>(frame_[3] + 256 * frame_[4]) + 1;
  switch (cmd.area) {
    case 0:
      if (units > static_cast<std::size_t>(ic_.words)) return kSocketError;
      if (cmd.op == kOpErase && !ic_.flash) return kSocketError;  // one-time part
      cmd.count = units * 2;
      return 0;
    case 1:
    case 5:
      if (cmd.op == kOpErase) return kWriteFailed;
      if (units * 2 > kOptionAreaBytes) return kSocketError;
      cmd.count = units * 2;
      return 0;
    case 2:
      if (cmd.op == kOpErase) return kWriteFailed;
      if (units * 2 > static_cast<std::size_t>(write ? kIcIdBytes : kIdReadBytes)) return kSocketError;
      cmd.count = units * 2;
      return 0;
    case 3:
      if (cmd.op == kOpErase) return kWriteFailed;
      if (ic_.eepromBytes == 0 || units > static_cast<std::size_t>(ic_.eepromBytes)) return kSocketError;
      cmd.count = write ? units * 2 : units;  // a write sends data and address per byte
      return 0;
    default:
      return kWriteFailed;
  }
}

void WriterEmulator::StartCommand(Micros now) {
  phase_ = Phase::Idle;
  Command cmd;
  cmd.area = frame_[5];
  cmd.op = frame_[9];
  cmd.pulse = frame_[7];
  if (const auto refused = CheckHeader(cmd)) {
    Reply(refused, now);
    return;
  }
  ++headersAccepted_;
  switch (cmd.op) {
    case kOpRead:
      SendRead(cmd, now);
      break;
    case kOpErase:
      Erase();
      Reply(kFinished, now, line_.eraseTime);
      break;
    default:
      cmd_ = cmd;
      phase_ = Phase::Write;
      Reply(kAccepted, now);
      break;
  }
}

std::uint8_t WriterEmulator::ReadProgramHalf(std::size_t i) const {
  std::uint16_t w = PackedWord(program_[i & ~std::size_t{1}], program_[i | 1]);
  if ((optionArea_[1] & kProtectBit) == 0) w = (w & 0x3060) | 0x0F9F;
  return (i & 1) ? WordHighHalf(w) : WordLowHalf(w);
}

void WriterEmulator::SendRead(const Command& cmd, Micros now) {
  std::size_t n = cmd.count;
  if (faults_.earlyEndAfter) n = std::min(n, *faults_.earlyEndAfter);
  const auto id = cmd.area == 2 ? IdAreaLocked() : std::array<std::uint8_t, kIdReadBytes>{};
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t b = 0;
    switch (cmd.area) {
      case 0: b = ReadProgramHalf(i); break;
      case 1: b = optionArea_[i]; break;
      case 5: b = area5_[i]; break;
      case 2: b = id[i]; break;
      case 3: b = eeprom_[i]; break;
      default: break;
    }
    if (const auto& worn = faults_.wornCell; worn && worn->area == cmd.area && worn->index == i) b = worn->value;
    Reply(b, now);
  }
  // EEPROM data is counted by the PC: it has no end mark, so a short stream
  // simply stops.
  if (SevenBitArea(cmd.area)) Reply(kFinished, now);
}

void WriterEmulator::SetGiveUpQuiet(std::chrono::milliseconds quiet) {
  std::lock_guard lock(mutex_);
  giveUpQuiet_ = quiet;
}

void WriterEmulator::SetSwapOnProbe(bool on) {
  std::lock_guard lock(mutex_);
  swapOnProbe_ = on;
}

void WriterEmulator::SetOnPartLeaving(std::function<void(const std::vector<std::uint16_t>&)> leaving) {
  std::lock_guard lock(mutex_);
  onPartLeaving_ = std::move(leaving);
}

void WriterEmulator::PartLeaves() {
  if (!onPartLeaving_ || !partTouched_) return;
  std::vector<std::uint16_t> words(program_.size() / 2);
  for (std::size_t n = 0; n < words.size(); ++n) words[n] = PackedWord(program_[2 * n], program_[2 * n + 1]);
  onPartLeaving_(words);
}

void WriterEmulator::TakePart() {
  std::lock_guard lock(mutex_);
  PartLeaves();
  partTouched_ = false;
}

int WriterEmulator::PartsSwapped() const {
  std::lock_guard lock(mutex_);
  return partsSwapped_;
}

void WriterEmulator::SetReseat(std::optional<std::chrono::milliseconds> after) {
  std::lock_guard lock(mutex_);
  reseatAfter_ = after;
}

void WriterEmulator::TakePartOut() {
  std::lock_guard lock(mutex_);
  PartLeaves();
  partTouched_ = false;
  seated_ = false;
}

void WriterEmulator::SeatFreshPart() {
  std::lock_guard lock(mutex_);
  PartLeaves();  // a written part still in the socket, pushed out
  ResetContents();
  partTouched_ = false;
  seated_ = true;
  ++partsSwapped_;
}

bool WriterEmulator::PartSeated() const {
  std::lock_guard lock(mutex_);
  return seated_;
}

void WriterEmulator::Reseat(Micros now) {
  if (!reseatAfter_ || *reseatAfter_ == std::chrono::milliseconds(0)) return;
  const auto lastActive = std::max(lastByteAt_, lastReplyAt_);
  if (seated_ && partTouched_ && now - lastActive >= kTakeOutQuiet) {
    PartLeaves();
    partTouched_ = false;
    seated_ = false;
    takenOutAt_ = lastActive + kTakeOutQuiet;
  }
  if (!seated_ && now >= takenOutAt_ + *reseatAfter_) {
    ResetContents();
    partTouched_ = false;
    seated_ = true;
    ++partsSwapped_;
  }
}

void WriterEmulator::Erase() {
  partTouched_ = true;
  std::fill(program_.begin(), program_.end(), kBlankHalf);
  optionArea_.fill(kBlankHalf);
  area5_.fill(kBlankHalf);
  id_.fill(kBlankHalf);
}

void WriterEmulator::WriteByte(std::uint8_t b, Micros now) {
  const std::size_t i = cmd_.index++;
  partTouched_ = true;
  const auto endWrite = [&](std::uint8_t reply, Micros extra) {
    phase_ = Phase::Idle;
    Reply(reply, now, extra);
  };
  if (faults_.failAtByte && i == *faults_.failAtByte) return endWrite(kWriteFailed, {});
  if (faults_.socketEmptiedAt && i == *faults_.socketEmptiedAt) return endWrite(kSocketError, {});

  bool ok = true;
  switch (cmd_.area) {
    case 0: ok = ProgramCell(program_[i], b); break;
    case 1: ok = ProgramCell(optionArea_[i], b); break;
    case 5: ok = ProgramCell(area5_[i], b); break;
    case 2: ok = ProgramCell(id_[i], b); break;
    case 3:
      // Pairs of data byte and low address byte; a pair out of step is refused.
      if ((i & 1) == 0) {
        eepromLatch_ = b;
      } else if (b == ((i / 2) & 0xFF)) {
        eeprom_[i / 2] = eepromLatch_;
      } else {
        ok = false;
      }
      break;
    default: ok = false; break;
  }
  if (!ok) return endWrite(kWriteFailed, {});

  // A word (or an EEPROM pair) is burnt when its second byte arrives.
  const auto extra = (i & 1) ? line_.wordTime : Micros{0};
  const std::size_t written = i + 1;
  if (written == cmd_.count) return endWrite(kAllWritten, extra);
  if (faults_.earlyEndAfter && written == *faults_.earlyEndAfter) return endWrite(kAllWritten, extra);
  Reply(kAccepted, now, extra);
}

void WriterEmulator::FinishDownload(Micros now) {
  phase_ = Phase::Idle;
  unsigned sum = 0;
  for (int i = 1; i <= 23; ++i) sum += frame_[i];
  if ((sum & 0xFF) != frame_[24]) return Reply(kWriteFailed, now);
  if (frame_[1] == 0xFF) {
    downloaded_.clear();  // the opening record starts a new list
    return Reply(kFinished, now);
  }
  if (downloaded_.size() >= static_cast<std::size_t>(kMaxDownloadedDevices)) {
    return Reply(kWriteFailed, now);
  }
  DownloadedDevice d;
  d.number = frame_[1];
  d.name.assign(frame_.begin() + 2, frame_.begin() + 18);
  d.name.erase(d.name.find_last_not_of(' ') + 1);
  d.programTopHi = frame_[18];
  d.eepromTopHi = frame_[19];
  d.attr = frame_[20];
  d.attr2 = frame_[21];
  d.attr3 = frame_[22];
  d.memoryKind = frame_[23];
  downloaded_.push_back(std::move(d));
  Reply(kFinished, now);
}
