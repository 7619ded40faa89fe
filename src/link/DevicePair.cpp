#include "link/DevicePair.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

using Receiver = std::function<void(std::span<const std::uint8_t>)>;

struct DevicePair::Line {
  mutable std::mutex mutex;
  std::condition_variable changed;
  const void* owner = nullptr;  // the PC end that holds the line open
  int failOpen = 0;
  int failIo = 0;
  std::deque<std::uint8_t> toPc;
  bool cts = true, dsr = true, ring = false, rlsd = false;
  bool dtr = false, rts = false, brk = false;
  bool xoffHold = false;
  SerialSettings settings;
  std::uint32_t pendingEvents = 0;
  bool cancelWait = false;
  std::shared_ptr<const Receiver> receiver;

  bool Open() const { return owner != nullptr; }

  // Caller holds the mutex.
  void Raise(std::uint32_t events) {
    if (!Open()) return;
    pendingEvents |= events;
    changed.notify_all();
  }

  void SetInput(bool& line, bool on, std::uint32_t event) {
    std::lock_guard lock(mutex);
    if (line == on) return;
    line = on;
    // A ring is reported when it starts, the other lines on every change.
    if (event != LineEvent::Ring || on) Raise(event);
    changed.notify_all();
  }

  void ApplyOutputs() {
    dtr = settings.dtrControl != DtrControl::Disable;
    rts = settings.rtsControl == RtsControl::Enable || settings.rtsControl == RtsControl::Handshake;
  }
};

namespace {

template <typename Pred>
bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, int timeoutMs,
               Pred pred) {
  if (timeoutMs < 0) {
    cv.wait(lock, pred);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}

class PcEnd final : public SerialDevice {
 public:
  explicit PcEnd(std::shared_ptr<DevicePair::Line> line) : line_(std::move(line)) {}
  ~PcEnd() override { Close(); }

  int Open(const std::string&) override {
    std::lock_guard lock(line_->mutex);
    if (line_->failOpen != 0) return line_->failOpen;
    if (line_->Open()) return EBUSY;
    line_->owner = this;
    line_->settings = SerialSettings{};
    line_->ApplyOutputs();
    line_->brk = false;
    line_->xoffHold = false;
    line_->pendingEvents = 0;
    line_->cancelWait = false;
    line_->toPc.clear();
    return 0;
  }

  void Close() override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return;
    line_->owner = nullptr;
    line_->dtr = line_->rts = line_->brk = false;
    line_->toPc.clear();
    line_->changed.notify_all();
  }

  bool IsOpen() const override {
    std::lock_guard lock(line_->mutex);
    return Mine();
  }

  IoResult Read(void* buffer, std::int32_t count) override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return {0, EBADF, false};
    if (count < 0) return {0, EINVAL, false};
    if (line_->failIo != 0) return {0, line_->failIo, false};
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int32_t n = 0;
    auto& q = line_->toPc;
    while (n < count && !q.empty()) {
      const std::uint8_t b = q.front();
      q.pop_front();
      if (b == 0 && line_->settings.nullStrip) continue;
      out[n++] = b;
    }
    return {n, 0, false};
  }

  IoResult Write(const void* buffer, std::int32_t count, int timeoutMs) override {
    std::shared_ptr<const Receiver> receiver;
    {
      std::unique_lock lock(line_->mutex);
      if (!Mine()) return {0, EBADF, false};
      if (count < 0) return {0, EINVAL, false};
      if (line_->failIo != 0) return {0, line_->failIo, false};
      // Output flow control holds the bytes until the line lets them go.
      const bool released = WaitUntil(lock, line_->changed, std::max(timeoutMs, 0), [&] {
        return !Mine() || !Held();
      });
      if (!Mine()) return {0, EBADF, false};
      if (!released) return {0, 0, true};
      receiver = line_->receiver;
    }
    if (receiver && count > 0) (*receiver)({static_cast<const std::uint8_t*>(buffer),
                                            static_cast<std::size_t>(count)});
    std::lock_guard lock(line_->mutex);
    line_->Raise(LineEvent::TxEmpty);
    return {count, 0, false};
  }

  int GetStatus(SerialStatus& status) override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return EBADF;
    const auto& s = line_->settings;
    status = SerialStatus{};
    status.ctsHold = s.outxCtsFlow && !line_->cts;
    status.dsrHold = s.outxDsrFlow && !line_->dsr;
    status.xoffHold = line_->xoffHold;
    status.inQueue = static_cast<std::int32_t>(line_->toPc.size());
    return 0;
  }

  int Purge(bool receive, bool) override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return EBADF;
    if (receive) line_->toPc.clear();
    return 0;
  }

  int GetModemLines(std::uint32_t& lines) override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return EBADF;
    lines = (line_->cts ? ModemLine::Cts : 0) | (line_->dsr ? ModemLine::Dsr : 0) |
            (line_->ring ? ModemLine::Ring : 0) | (line_->rlsd ? ModemLine::Rlsd : 0);
    return 0;
  }

  int Escape(CommEscape function) override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return EBADF;
    switch (function) {
      case CommEscape::SetXoff: line_->xoffHold = true; break;
      case CommEscape::SetXon: line_->xoffHold = false; break;
      case CommEscape::SetRts: line_->rts = true; break;
      case CommEscape::ClrRts: line_->rts = false; break;
      case CommEscape::SetDtr: line_->dtr = true; break;
      case CommEscape::ClrDtr: line_->dtr = false; break;
      case CommEscape::SetBreak: line_->brk = true; break;
      case CommEscape::ClrBreak: line_->brk = false; break;
      default: return EINVAL;
    }
    line_->changed.notify_all();
    return 0;
  }

  int GetSettings(SerialSettings& settings) override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return EBADF;
    settings = line_->settings;
    return 0;
  }

  int ApplySettings(const SerialSettings& settings) override {
    std::lock_guard lock(line_->mutex);
    if (!Mine()) return EBADF;
    if (settings.baudRate == 0 || settings.byteSize < 4 || settings.byteSize > 8 ||
        settings.parity > 4 || settings.stopBits > 2)
      return EINVAL;
    line_->settings = settings;
    line_->ApplyOutputs();
    line_->changed.notify_all();
    return 0;
  }

  int SetQueueSizes(std::int32_t, std::int32_t) override {
    std::lock_guard lock(line_->mutex);
    return Mine() ? 0 : EBADF;
  }

  int WaitEvents(std::uint32_t mask, int timeoutMs, std::uint32_t& events) override {
    events = 0;
    std::unique_lock lock(line_->mutex);
    WaitUntil(lock, line_->changed, timeoutMs, [&] {
      return line_->cancelWait || !Mine() || (line_->pendingEvents & mask) != 0;
    });
    if (line_->cancelWait) {
      line_->cancelWait = false;
      return 0;
    }
    if (!Mine()) return EBADF;
    events = line_->pendingEvents & mask;
    line_->pendingEvents &= ~mask;
    return 0;
  }

  void CancelWait() override {
    std::lock_guard lock(line_->mutex);
    line_->cancelWait = true;
    line_->changed.notify_all();
  }

  bool WaitReadable(int timeoutMs) override {
    std::unique_lock lock(line_->mutex);
    WaitUntil(lock, line_->changed, std::max(timeoutMs, 0),
              [&] { return !Mine() || !line_->toPc.empty(); });
    return Mine() && !line_->toPc.empty();
  }

  bool WaitModemLine(std::uint32_t line, int timeoutMs) override {
    std::unique_lock lock(line_->mutex);
    auto on = [&] {
      switch (line) {
        case ModemLine::Cts: return line_->cts;
        case ModemLine::Dsr: return line_->dsr;
        case ModemLine::Ring: return line_->ring;
        case ModemLine::Rlsd: return line_->rlsd;
        default: return false;
      }
    };
    WaitUntil(lock, line_->changed, std::max(timeoutMs, 0), [&] { return !Mine() || on(); });
    return Mine() && on();
  }

  bool Gone() const override {
    std::lock_guard lock(line_->mutex);
    return Mine() && DeviceGoneError(line_->failIo);
  }

 private:
  bool Mine() const { return line_->owner == this; }
  bool Held() const {
    const auto& s = line_->settings;
    return line_->xoffHold || (s.outxCtsFlow && !line_->cts) || (s.outxDsrFlow && !line_->dsr);
  }

  std::shared_ptr<DevicePair::Line> line_;
};

}  // namespace

DevicePair::DevicePair() : line_(std::make_shared<Line>()) {}
DevicePair::~DevicePair() = default;

std::unique_ptr<SerialDevice> DevicePair::MakePcEnd() { return std::make_unique<PcEnd>(line_); }

void DevicePair::SetReceiver(std::function<void(std::span<const std::uint8_t>)> receiver) {
  auto shared = receiver ? std::make_shared<const Receiver>(std::move(receiver)) : nullptr;
  std::lock_guard lock(line_->mutex);
  line_->receiver = std::move(shared);
}

void DevicePair::SendToPc(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(line_->mutex);
  if (!line_->Open() || bytes.empty()) return;
  line_->toPc.insert(line_->toPc.end(), bytes.begin(), bytes.end());
  std::uint32_t events = LineEvent::RxChar;
  if (std::find(bytes.begin(), bytes.end(), line_->settings.evtChar) != bytes.end())
    events |= LineEvent::RxFlag;
  line_->Raise(events);
}

void DevicePair::SetCts(bool on) { line_->SetInput(line_->cts, on, LineEvent::Cts); }
void DevicePair::SetDsr(bool on) { line_->SetInput(line_->dsr, on, LineEvent::Dsr); }
void DevicePair::SetRing(bool on) { line_->SetInput(line_->ring, on, LineEvent::Ring); }
void DevicePair::SetRlsd(bool on) { line_->SetInput(line_->rlsd, on, LineEvent::Rlsd); }

void DevicePair::FailOpen(int systemErrorCode) {
  std::lock_guard lock(line_->mutex);
  line_->failOpen = systemErrorCode;
}

void DevicePair::FailIo(int systemErrorCode) {
  std::lock_guard lock(line_->mutex);
  line_->failIo = systemErrorCode;
}

bool DevicePair::Dtr() const {
  std::lock_guard lock(line_->mutex);
  return line_->dtr;
}
bool DevicePair::Rts() const {
  std::lock_guard lock(line_->mutex);
  return line_->rts;
}
bool DevicePair::Break() const {
  std::lock_guard lock(line_->mutex);
  return line_->brk;
}
bool DevicePair::PcOpen() const {
  std::lock_guard lock(line_->mutex);
  return line_->Open();
}
SerialSettings DevicePair::Settings() const {
  std::lock_guard lock(line_->mutex);
  return line_->settings;
}
