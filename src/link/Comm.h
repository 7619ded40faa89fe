#pragma once
// The serial-port component: one open device, its line settings, byte-level
// Read and Write that never block for long, queue counts, purges, modem lines
// and a watcher thread that turns line events into component events.

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "link/CommObjs.h"
#include "link/SerialDevice.h"

enum TBaudrate : std::uint8_t {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
  br38400, br56000, br57600, br115200, br128000, br256000
};
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits : std::uint8_t { sb10, sb15, sb20 };
enum TDatabits : std::uint8_t { da4, da5, da6, da7, da8 };
enum TFlowControl : std::uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption : std::uint8_t {
  coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip
};
enum TCommEventType : std::uint8_t {
  evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty
};

// The bit rate a TBaudrate names (110 ... 256000).
std::uint32_t BaudRateValue(TBaudrate rate);

// A set of enumeration values (up to 32).
template <typename E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  static constexpr TEnumSet FromBits(std::uint32_t bits) {
    TEnumSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr void Include(E v) { bits_ |= Bit(v); }
  constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TEnumSet&) const = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
  std::uint32_t bits_ = 0;
};

using TCommOptions = TEnumSet<TCommOption>;
using TCommEventTypes = TEnumSet<TCommEventType>;
inline constexpr TCommEventTypes kAllCommEvents{evBreak, evCts,    evDsr,    evError,  evRing,
                                                evRlsd,  evRxChar, evRxFlag, evTxEmpty};

// A failure of the component: the operation's text and the system error code
// (-1 for state errors). what() is "<text> (Error: <code>) ".
class ECommError : public std::runtime_error {
 public:
  ECommError(const std::string& text, int code);
  int ErrorCode() const { return code_; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  int code_;
};

class TCustomComm;

// The five special characters; setting one re-applies the owner's line settings.
class TCommEventChars {
 public:
  explicit TCommEventChars(TCustomComm* owner) : owner_(owner) {}
  TCommEventChars(const TCommEventChars&) = delete;
  TCommEventChars& operator=(const TCommEventChars&) = delete;

  std::uint8_t XonChar() const { return xonChar_; }
  std::uint8_t XoffChar() const { return xoffChar_; }
  std::uint8_t ErrorChar() const { return errorChar_; }
  std::uint8_t EofChar() const { return eofChar_; }
  std::uint8_t EvtChar() const { return evtChar_; }
  void SetXonChar(std::uint8_t c);
  void SetXoffChar(std::uint8_t c);
  void SetErrorChar(std::uint8_t c);
  void SetEofChar(std::uint8_t c);
  void SetEvtChar(std::uint8_t c);
  // Copies all five, then re-applies once.
  void Assign(const TCommEventChars& source);

 private:
  void Changed();
  TCustomComm* owner_;
  std::uint8_t xonChar_ = 17;
  std::uint8_t xoffChar_ = 19;
  std::uint8_t errorChar_ = 0;
  std::uint8_t eofChar_ = 0;
  std::uint8_t evtChar_ = 0;
};

// Waits for line events while the port is open and hands each set of events
// to its signal handler. Started at Open, stopped (and joined) at Close.
class TCommEventThread {
 public:
  using SignalHandler = std::function<void(TCommEventThread& thread, std::uint32_t status)>;
  // Starts a thread running the body; unset: std::thread. May throw
  // std::system_error, as std::thread does when the system has no thread to give.
  using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

  // Starts at once, watching the given events. Throws std::system_error when
  // the thread cannot be started.
  TCommEventThread(SerialDevice& device, TCommEventTypes events, SignalHandler onSignal,
                   const ThreadStarter& start = {});
  ~TCommEventThread();  // Terminate and join
  TCommEventThread(const TCommEventThread&) = delete;
  TCommEventThread& operator=(const TCommEventThread&) = delete;

  // Asks the thread to stop; its wait returns at once.
  void Terminate();
  // Terminate and wait until the thread has ended.
  void WaitFor();
  bool Terminated() const { return terminated_.load(); }
  std::uint32_t EventMask() const { return mask_; }

 private:
  void Execute();
  void DoOnSignal(std::uint32_t status);

  SerialDevice& device_;
  std::uint32_t mask_;
  SignalHandler onSignal_;
  std::atomic<bool> terminated_{false};
  TSimpleEvent stopEvent_;  // set on Terminate; the thread idles on it after a device failure
  std::thread thread_;
};

class TCustomComm {
 public:
  using TNotifyEvent = std::function<void(TCustomComm& sender)>;
  using TCommErrorEvent = std::function<void(TCustomComm& sender, std::uint32_t errors)>;
  using TCommRxCharEvent = std::function<void(TCustomComm& sender, std::int32_t count)>;
  // Runs a piece of work on another thread (the GUI thread). It must queue the
  // work and return without waiting for it: Close joins the watcher.
  using TDispatcher = std::function<void(std::function<void()> work)>;

  // Null: a PosixSerialDevice that resolves "ComN" through the port map.
  explicit TCustomComm(std::unique_ptr<SerialDevice> device = nullptr);
  virtual ~TCustomComm();
  TCustomComm(const TCustomComm&) = delete;
  TCustomComm& operator=(const TCustomComm&) = delete;

  // --- operations ---
  void Open();
  void Close();
  bool Enabled() const;
  // System error code of the last Open that failed to open the device (or to
  // start its watcher thread); 0 after a successful open.
  int LastOpenError() const { return lastOpenError_.load(); }
  // Bytes moved, or -1 when the transfer did not complete in time. Raise
  // ECommError "Read error" / "Write error" when the device fails.
  std::int32_t Read(void* buffer, std::int32_t count);
  std::int32_t Write(const void* buffer, std::int32_t count);
  std::int32_t InQueCount();   // -1 when closed
  std::int32_t OutQueCount();  // -1 when closed
  void PurgeIn();
  void PurgeOut();
  // 1 CTS, 2 DSR, 3 RING, 4 RLSD; anything else, closed or failing: false.
  bool GetModemState(std::int32_t line);
  // 2 waiting for DSR, 3 for RLSD, 4 held by XOFF received, 5 XOFF sent; else waiting for CTS.
  bool GetComState(std::int32_t which);
  void SetDTRState(bool on);
  void SetRTSState(bool on);
  void SetXONState(bool on);
  void SetBREAKState(bool on);
  void EscapeComm(CommEscape function);
  void Lock();
  void Unlock();
  void CheckOpen();
  void UpdateCommTimeouts();
  void UpdateDataControlBlock();
  // Calls the assigned handlers for the LineEvent bits in status, in order.
  void HandleCommEvent(std::uint32_t status);

  // Not in the classic component: waits that block in the device, never spin.
  // True as soon as at least one byte is waiting; false on time-out or when closed.
  bool WaitForInput(int timeoutMs);
  // True as soon as CTS is on; false on time-out or when closed.
  bool WaitForCts(int timeoutMs);
  // True when the open device has gone (unplugged, its far end closed).
  bool DeviceGone() const { return Enabled() && device_->Gone(); }

  // --- properties ---
  const std::string& DeviceName() const { return deviceName_; }
  std::int32_t ReadTimeout() const { return readTimeout_.load(); }
  std::int32_t WriteTimeout() const { return writeTimeout_.load(); }
  std::int32_t ReadBufSize() const { return readBufSize_; }
  std::int32_t WriteBufSize() const { return writeBufSize_; }
  TCommEventTypes MonitorEvents() const { return monitorEvents_; }
  TBaudrate BaudRate() const { return baudRate_; }
  TParity Parity() const { return parity_; }
  TStopbits Stopbits() const { return stopbits_; }
  TDatabits Databits() const { return databits_; }
  TCommEventChars& EventChars() { return eventChars_; }
  const TCommEventChars& EventChars() const { return eventChars_; }
  TCommOptions Options() const { return options_; }
  TFlowControl FlowControl() const { return flowControl_; }

  // Only while closed (raise "Port already assigned (open)" otherwise); a
  // value equal to the current one is ignored.
  void SetDeviceName(const std::string& name);
  void SetReadBufSize(std::int32_t size);
  void SetWriteBufSize(std::int32_t size);
  void SetMonitorEvents(TCommEventTypes events);
  // Take effect at once on an open port, at the next Open otherwise.
  void SetBaudRate(TBaudrate rate);
  void SetParity(TParity parity);
  void SetStopbits(TStopbits stopbits);
  void SetDatabits(TDatabits databits);
  void SetOptions(TCommOptions options);
  void SetFlowControl(TFlowControl flow);
  void SetReadTimeout(std::int32_t ms) { readTimeout_ = ms; }
  void SetWriteTimeout(std::int32_t ms) { writeTimeout_ = ms; }

  // --- events (none is assigned in this program; assign them while closed) ---
  void SetOnBreak(TNotifyEvent h) { onBreak_ = std::move(h); }
  void SetOnCts(TNotifyEvent h) { onCts_ = std::move(h); }
  void SetOnDsr(TNotifyEvent h) { onDsr_ = std::move(h); }
  void SetOnRing(TNotifyEvent h) { onRing_ = std::move(h); }
  void SetOnRlsd(TNotifyEvent h) { onRlsd_ = std::move(h); }
  void SetOnError(TCommErrorEvent h) { onError_ = std::move(h); }
  void SetOnRxChar(TCommRxCharEvent h) { onRxChar_ = std::move(h); }
  void SetOnRxFlag(TNotifyEvent h) { onRxFlag_ = std::move(h); }
  void SetOnTxEmpty(TNotifyEvent h) { onTxEmpty_ = std::move(h); }
  const TNotifyEvent& OnBreak() const { return onBreak_; }
  const TNotifyEvent& OnCts() const { return onCts_; }
  const TNotifyEvent& OnDsr() const { return onDsr_; }
  const TNotifyEvent& OnRing() const { return onRing_; }
  const TNotifyEvent& OnRlsd() const { return onRlsd_; }
  const TCommErrorEvent& OnError() const { return onError_; }
  const TCommRxCharEvent& OnRxChar() const { return onRxChar_; }
  const TNotifyEvent& OnRxFlag() const { return onRxFlag_; }
  const TNotifyEvent& OnTxEmpty() const { return onTxEmpty_; }
  // Where the watcher's events are handled; unset: on the watcher thread.
  // Set it while the port is closed.
  void SetEventDispatcher(TDispatcher dispatcher) { dispatcher_ = std::move(dispatcher); }
  // How Open starts the watcher thread (tests make it fail); unset: std::thread.
  // A start that fails is a failed open. Set it while the port is closed.
  void SetThreadStarter(TCommEventThread::ThreadStarter start) { threadStarter_ = std::move(start); }

  // The device under the component (tests, and the emulator wiring).
  SerialDevice& Device() { return *device_; }

 protected:
  // Opens DeviceName on the device; leaves the component closed on failure.
  virtual void CreateHandle();
  void DestroyHandle();

 private:
  // A port setting needs a closed port; a line setting is applied at once.
  template <typename T>
  void ChangePortSetting(T& field, const T& value);
  template <typename T>
  void ChangeLineSetting(T& field, const T& value);

  std::unique_ptr<SerialDevice> device_;
  SerialSettings dcb_;  // the settings last applied to the port
  std::string deviceName_ = "Com2";
  TCriticalSection lock_;
  std::atomic<std::int32_t> readTimeout_{1000};
  std::atomic<std::int32_t> writeTimeout_{1000};
  std::int32_t readBufSize_ = 4096;
  std::int32_t writeBufSize_ = 2048;
  TCommEventTypes monitorEvents_ = kAllCommEvents;
  TBaudrate baudRate_ = br9600;
  TParity parity_ = paNone;
  TStopbits stopbits_ = sb10;
  TDatabits databits_ = da8;
  std::unique_ptr<TCommEventThread> eventThread_;
  TCommEventChars eventChars_{this};
  TCommOptions options_;
  TFlowControl flowControl_ = fcDefault;
  std::atomic<int> lastOpenError_{0};

  TNotifyEvent onBreak_, onCts_, onDsr_, onRing_, onRlsd_, onRxFlag_, onTxEmpty_;
  TCommErrorEvent onError_;
  TCommRxCharEvent onRxChar_;
  TDispatcher dispatcher_;
  TCommEventThread::ThreadStarter threadStarter_;
  // Lets work queued on another thread notice that the component is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The component as the main window holds it; adds nothing but the published face.
class TComm : public TCustomComm {
 public:
  using TCustomComm::TCustomComm;
};
