#include "link/Comm.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>

#include "link/PosixSerialDevice.h"

std::uint32_t BaudRateValue(TBaudrate rate) {
  static constexpr std::uint32_t kRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                             19200, 38400, 56000, 57600, 115200, 128000, 256000};
  const auto i = static_cast<std::size_t>(rate);
  return i < std::size(kRates) ? kRates[i] : 9600;
}

ECommError::ECommError(const std::string& text, int code)
    : std::runtime_error(text + " (Error: " + std::to_string(code) + ") "), text_(text), code_(code) {}

// --- TCommEventChars ---

void TCommEventChars::Changed() {
  if (owner_) owner_->UpdateDataControlBlock();
}
void TCommEventChars::SetXonChar(std::uint8_t c) { xonChar_ = c; Changed(); }
void TCommEventChars::SetXoffChar(std::uint8_t c) { xoffChar_ = c; Changed(); }
void TCommEventChars::SetErrorChar(std::uint8_t c) { errorChar_ = c; Changed(); }
void TCommEventChars::SetEofChar(std::uint8_t c) { eofChar_ = c; Changed(); }
void TCommEventChars::SetEvtChar(std::uint8_t c) { evtChar_ = c; Changed(); }

void TCommEventChars::Assign(const TCommEventChars& source) {
  xonChar_ = source.xonChar_;
  xoffChar_ = source.xoffChar_;
  errorChar_ = source.errorChar_;
  eofChar_ = source.eofChar_;
  evtChar_ = source.evtChar_;
  Changed();
}

// --- TCommEventThread ---

namespace {
std::uint32_t EventMaskOf(TCommEventTypes events) {
  static constexpr std::pair<TCommEventType, std::uint32_t> kMap[] = {
      {evBreak, LineEvent::Break}, {evCts, LineEvent::Cts},       {evDsr, LineEvent::Dsr},
      {evError, LineEvent::Err},   {evRing, LineEvent::Ring},     {evRlsd, LineEvent::Rlsd},
      {evRxChar, LineEvent::RxChar}, {evRxFlag, LineEvent::RxFlag}, {evTxEmpty, LineEvent::TxEmpty}};
  std::uint32_t mask = 0;
  for (const auto& [type, bit] : kMap)
    if (events.Contains(type)) mask |= bit;
  return mask;
}
}  // namespace

TCommEventThread::TCommEventThread(SerialDevice& device, TCommEventTypes events, SignalHandler onSignal,
                                   const ThreadStarter& start)
    : device_(device), mask_(EventMaskOf(events)), onSignal_(std::move(onSignal)) {
  std::function<void()> body = [this] { Execute(); };
  thread_ = start ? start(std::move(body)) : std::thread(std::move(body));
}

TCommEventThread::~TCommEventThread() { WaitFor(); }

void TCommEventThread::Terminate() {
  terminated_ = true;
  stopEvent_.SetEvent();
  device_.CancelWait();
}

void TCommEventThread::WaitFor() {
  Terminate();
  if (thread_.joinable()) thread_.join();
}

void TCommEventThread::Execute() {
  while (!terminated_) {
    std::uint32_t status = 0;
    const int error = mask_ == 0 ? 0 : device_.WaitEvents(mask_, -1, status);
    if (terminated_) break;
    if (error != 0 || mask_ == 0) {
      // Nothing (more) to watch: idle until told to stop rather than spin.
      stopEvent_.WaitFor(-1);
      break;
    }
    if (status != 0) DoOnSignal(status);
  }
  device_.Purge(true, true);
}

void TCommEventThread::DoOnSignal(std::uint32_t status) {
  if (onSignal_) onSignal_(*this, status);
}

// --- TCustomComm ---

TCustomComm::TCustomComm(std::unique_ptr<SerialDevice> device)
    : device_(device ? std::move(device) : std::make_unique<PosixSerialDevice>()) {}

TCustomComm::~TCustomComm() {
  alive_.reset();
  Close();
}

bool TCustomComm::Enabled() const { return device_->IsOpen(); }

void TCustomComm::CheckOpen() {
  if (Enabled()) throw ECommError("Port already assigned (open)", -1);
}

void TCustomComm::CreateHandle() { lastOpenError_ = device_->Open(deviceName_); }

void TCustomComm::DestroyHandle() { device_->Close(); }

void TCustomComm::Open() {
  CheckOpen();
  CreateHandle();
  if (!Enabled()) return;
  // Only what a handler listens to is watched: a watched arrival would wake
  // the watcher at every byte the Writer sends, for nothing.
  const std::pair<TCommEventType, bool> handled[] = {
      {evBreak, bool(onBreak_)}, {evCts, bool(onCts_)},       {evDsr, bool(onDsr_)},
      {evError, bool(onError_)}, {evRing, bool(onRing_)},     {evRlsd, bool(onRlsd_)},
      {evRxChar, bool(onRxChar_)}, {evRxFlag, bool(onRxFlag_)}, {evTxEmpty, bool(onTxEmpty_)}};
  TCommEventTypes watched;
  for (const auto& [type, has] : handled)
    if (has && monitorEvents_.Contains(type)) watched.Include(type);
  try {
    std::weak_ptr<int> alive = alive_;
    eventThread_ = std::make_unique<TCommEventThread>(
        *device_, watched,
        [this, alive](TCommEventThread&, std::uint32_t status) {
          if (!dispatcher_) {
            HandleCommEvent(status);
            return;
          }
          dispatcher_([this, alive, status] {
            if (alive.lock()) HandleCommEvent(status);
          });
        },
        threadStarter_);
  } catch (const std::system_error& e) {
    // No thread to watch the line (the system is out of threads): the port is
    // as unusable as one that would not open, and is reported the same way.
    DestroyHandle();
    lastOpenError_ = e.code().value() != 0 ? e.code().value() : EAGAIN;
    return;
  }
  try {
    UpdateCommTimeouts();
    UpdateDataControlBlock();
  } catch (...) {
    // A port whose settings could not be applied is not left open half-configured.
    Close();
    throw;
  }
  device_->SetQueueSizes(readBufSize_, writeBufSize_);
  // Whatever the line held before (the rest of a reply to a program that
  // crashed) is not an answer to anything this open will ask.
  device_->Purge(true, false);
}

void TCustomComm::Close() {
  if (!Enabled()) {
    eventThread_.reset();
    return;
  }
  if (eventThread_) eventThread_->WaitFor();
  eventThread_.reset();
  DestroyHandle();
}

std::int32_t TCustomComm::Read(void* buffer, std::int32_t count) {
  std::lock_guard lock(lock_);
  const IoResult r = device_->Read(buffer, count);
  if (r.error != 0) throw ECommError("Read error", r.error);
  return r.timedOut ? -1 : r.count;
}

std::int32_t TCustomComm::Write(const void* buffer, std::int32_t count) {
  std::lock_guard lock(lock_);
  const IoResult r = device_->Write(buffer, count, writeTimeout_.load());
  if (r.error != 0) throw ECommError("Write error", r.error);
  return r.timedOut ? -1 : r.count;
}

std::int32_t TCustomComm::InQueCount() {
  SerialStatus s;
  if (!Enabled() || device_->GetStatus(s) != 0) return -1;
  return s.inQueue;
}

std::int32_t TCustomComm::OutQueCount() {
  SerialStatus s;
  if (!Enabled() || device_->GetStatus(s) != 0) return -1;
  return s.outQueue;
}

void TCustomComm::PurgeIn() {
  if (Enabled()) device_->Purge(true, false);
}

void TCustomComm::PurgeOut() {
  if (Enabled()) device_->Purge(false, true);
}

bool TCustomComm::GetModemState(std::int32_t line) {
  static constexpr std::uint32_t kLines[] = {ModemLine::Cts, ModemLine::Dsr, ModemLine::Ring,
                                             ModemLine::Rlsd};
  if (line < 1 || line > 4 || !Enabled()) return false;
  std::uint32_t lines = 0;
  if (device_->GetModemLines(lines) != 0) return false;
  return (lines & kLines[line - 1]) != 0;
}

bool TCustomComm::GetComState(std::int32_t which) {
  SerialStatus s;
  if (!Enabled() || device_->GetStatus(s) != 0) return false;
  switch (which) {
    case 2: return s.dsrHold;
    case 3: return s.rlsdHold;
    case 4: return s.xoffHold;
    case 5: return s.xoffSent;
    default: return s.ctsHold;
  }
}

void TCustomComm::EscapeComm(CommEscape function) {
  if (!Enabled()) throw ECommError("Port not open, unable to complete operation", -1);
  if (const int error = device_->Escape(function); error != 0)
    throw ECommError("EscapeCommFunction failure", error);
}

void TCustomComm::SetDTRState(bool on) { EscapeComm(on ? CommEscape::SetDtr : CommEscape::ClrDtr); }
void TCustomComm::SetRTSState(bool on) { EscapeComm(on ? CommEscape::SetRts : CommEscape::ClrRts); }
void TCustomComm::SetXONState(bool on) { EscapeComm(on ? CommEscape::SetXon : CommEscape::SetXoff); }

void TCustomComm::SetBREAKState(bool on) {
  EscapeComm(on ? CommEscape::SetBreak : CommEscape::ClrBreak);
  if (Enabled()) device_->Purge(true, true);
}

void TCustomComm::Lock() { lock_.Enter(); }
void TCustomComm::Unlock() { lock_.Leave(); }

void TCustomComm::UpdateCommTimeouts() {
  // The device's reads always return at once with what has arrived; only an
  // open port can take time-outs at all.
  if (!Enabled()) throw ECommError("Error updating CommTimeouts", EBADF);
}

void TCustomComm::UpdateDataControlBlock() {
  if (!Enabled()) return;
  SerialSettings dcb;
  if (const int error = device_->GetSettings(dcb); error != 0)
    throw ECommError("Error updating DataControlBlock", error);

  dcb.baudRate = BaudRateValue(baudRate_);
  dcb.parity = static_cast<std::uint8_t>(parity_);
  dcb.stopBits = static_cast<std::uint8_t>(stopbits_);
  dcb.byteSize = static_cast<std::uint8_t>(4 + static_cast<int>(databits_));

  dcb.xonChar = eventChars_.XonChar();
  dcb.xoffChar = eventChars_.XoffChar();
  dcb.errorChar = eventChars_.ErrorChar();
  dcb.eofChar = eventChars_.EofChar();
  dcb.evtChar = eventChars_.EvtChar();

  const auto limit = static_cast<std::uint16_t>(std::clamp(readBufSize_ / 4, 0, 0xFFFF));
  dcb.xonLimit = limit;
  dcb.xoffLimit = limit;

  switch (flowControl_) {
    case fcNone: {
      // Raw transfer and nothing else: no handshake, DTR and RTS held off.
      SerialSettings bare;
      bare.baudRate = dcb.baudRate;
      bare.byteSize = dcb.byteSize;
      bare.parity = dcb.parity;
      bare.stopBits = dcb.stopBits;
      bare.xonLimit = dcb.xonLimit;
      bare.xoffLimit = dcb.xoffLimit;
      bare.xonChar = dcb.xonChar;
      bare.xoffChar = dcb.xoffChar;
      bare.errorChar = dcb.errorChar;
      bare.eofChar = dcb.eofChar;
      bare.evtChar = dcb.evtChar;
      bare.binary = true;
      bare.dtrControl = DtrControl::Disable;
      bare.rtsControl = RtsControl::Disable;
      dcb = bare;
      break;
    }
    case fcCTS:
      dcb.outxCtsFlow = true;
      dcb.rtsControl = RtsControl::Handshake;
      break;
    case fcDTR:
      dcb.outxDsrFlow = true;
      dcb.dtrControl = DtrControl::Handshake;
      break;
    case fcSoftware:
      dcb.outX = true;
      dcb.inX = true;
      break;
    case fcDefault:
      break;
  }

  dcb.parityCheck = options_.Contains(coParityCheck);
  dcb.dsrSensitivity = options_.Contains(coDsrSensitivity);
  dcb.txContinueOnXoff = options_.Contains(coIgnoreXOff);
  dcb.errorCharReplace = options_.Contains(coErrorChar);
  dcb.nullStrip = options_.Contains(coNullStrip);

  if (const int error = device_->ApplySettings(dcb); error != 0)
    throw ECommError("Error updating DataControlBlock", error);
  dcb_ = dcb;
}

void TCustomComm::HandleCommEvent(std::uint32_t status) {
  SerialStatus s;
  if (Enabled()) device_->GetStatus(s);
  if ((status & LineEvent::Break) && onBreak_) onBreak_(*this);
  if ((status & LineEvent::Cts) && onCts_) onCts_(*this);
  if ((status & LineEvent::Dsr) && onDsr_) onDsr_(*this);
  if ((status & LineEvent::Err) && onError_) onError_(*this, s.errors);
  if ((status & LineEvent::Ring) && onRing_) onRing_(*this);
  if ((status & LineEvent::Rlsd) && onRlsd_) onRlsd_(*this);
  if ((status & LineEvent::RxChar) && s.inQueue > 0 && onRxChar_) onRxChar_(*this, s.inQueue);
  if ((status & LineEvent::RxFlag) && onRxFlag_) onRxFlag_(*this);
  if ((status & LineEvent::TxEmpty) && onTxEmpty_) onTxEmpty_(*this);
}

bool TCustomComm::WaitForInput(int timeoutMs) { return Enabled() && device_->WaitReadable(timeoutMs); }

bool TCustomComm::WaitForCts(int timeoutMs) {
  return Enabled() && device_->WaitModemLine(ModemLine::Cts, timeoutMs);
}

// --- property setters ---

template <typename T>
void TCustomComm::ChangePortSetting(T& field, const T& value) {
  if (value == field) return;
  CheckOpen();
  field = value;
}

template <typename T>
void TCustomComm::ChangeLineSetting(T& field, const T& value) {
  if (value == field) return;
  field = value;
  UpdateDataControlBlock();
}

void TCustomComm::SetDeviceName(const std::string& name) { ChangePortSetting(deviceName_, name); }
void TCustomComm::SetReadBufSize(std::int32_t size) { ChangePortSetting(readBufSize_, size); }
void TCustomComm::SetWriteBufSize(std::int32_t size) { ChangePortSetting(writeBufSize_, size); }
void TCustomComm::SetMonitorEvents(TCommEventTypes events) { ChangePortSetting(monitorEvents_, events); }
void TCustomComm::SetBaudRate(TBaudrate rate) { ChangeLineSetting(baudRate_, rate); }
void TCustomComm::SetParity(TParity parity) { ChangeLineSetting(parity_, parity); }
void TCustomComm::SetStopbits(TStopbits stopbits) { ChangeLineSetting(stopbits_, stopbits); }
void TCustomComm::SetDatabits(TDatabits databits) { ChangeLineSetting(databits_, databits); }
void TCustomComm::SetOptions(TCommOptions options) { ChangeLineSetting(options_, options); }
void TCustomComm::SetFlowControl(TFlowControl flow) { ChangeLineSetting(flowControl_, flow); }
