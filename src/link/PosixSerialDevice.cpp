#include "link/PosixSerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <shared_mutex>

#include "link/PortMap.h"

int SetCustomBaudRate(int fd, unsigned baud);  // PosixBaud.cpp

namespace {

using SteadyClock = std::chrono::steady_clock;

// While unread bytes, modem lines or a draining transmit queue have to be
// watched, the event wait samples them this often instead of blocking.
constexpr int kSampleMs = 20;
// How often a wait for a modem line looks at the line (there is no pollable
// notification for modem lines).
constexpr int kModemSampleMs = 1;
// What the input wait's events belong to.
constexpr std::uint32_t kInputTag = 0, kCloseTag = 1;

speed_t SpeedConstant(std::uint32_t baud) {
  switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;  // needs a custom rate
  }
}

std::uint32_t SpeedValue(speed_t s) {
  static constexpr std::pair<speed_t, std::uint32_t> kMap[] = {
      {B110, 110},     {B300, 300},     {B600, 600},       {B1200, 1200},     {B2400, 2400},
      {B4800, 4800},   {B9600, 9600},   {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
      {B115200, 115200}, {B230400, 230400}};
  for (const auto& [c, v] : kMap)
    if (c == s) return v;
  return 9600;
}

struct Deadline {
  explicit Deadline(int timeoutMs)
      : infinite(timeoutMs < 0), at(SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs)) {}
  // Milliseconds left for poll (-1: no limit), capped at cap when cap >= 0.
  int Left(int cap = -1) const {
    int left = -1;
    if (!infinite) {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at - SteadyClock::now()).count();
      left = ms > 0 ? static_cast<int>(ms) : 0;
    }
    if (cap >= 0 && (left < 0 || left > cap)) left = cap;
    return left;
  }
  bool Passed() const { return !infinite && SteadyClock::now() >= at; }
  bool infinite;
  SteadyClock::time_point at;
};

int PollRetry(pollfd* fds, nfds_t n, int timeoutMs) {
  for (;;) {
    const int r = ::poll(fds, n, timeoutMs);
    if (r >= 0 || errno != EINTR) return r;
  }
}

void Drain(int efd) {
  std::uint64_t v = 0;
  [[maybe_unused]] auto n = ::read(efd, &v, sizeof v);
}

void Signal(int efd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(efd, &one, sizeof one);
}

}  // namespace

struct PosixSerialDevice::Impl {
  std::optional<std::filesystem::path> portMapDir;

  // Transfers and waits share the descriptor; Open and Close take it alone.
  std::shared_mutex fdMutex;
  int fd = -1;
  std::atomic<bool> open{false};
  // Set when a wait or a transfer finds the device gone (hung up, unplugged).
  mutable std::atomic<bool> gone{false};
  // Written by Close so waits of other threads let go of the descriptor at once.
  int closeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // Written by CancelWait; one event wait consumes it.
  int cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // The wait for input, set up once per open: the link waits for a reply
  // after every byte it sends, and poll would register both descriptors
  // afresh each time.
  int inputWait = -1;

  // Set at Open, read under the shared lock.
  bool hasModemLines = false;
  bool hasCounters = false;
  termios saved{};
  bool lowLatency = false;      // the driver delivers received bytes at once
  bool restoreLatency = false;  // it did not before this open

  std::mutex stateMutex;  // the fields below
  SerialSettings settings;
  bool xoffHeld = false;
  serial_icounter_struct lastErrors{};  // counters already reported by GetStatus
  // What the event wait saw last.
  std::int32_t lastInQueue = 0;
  std::int32_t lastOutQueue = 0;
  int lastModem = 0;
  serial_icounter_struct lastEventCounters{};

  ~Impl() {
    if (closeFd >= 0) ::close(closeFd);
    if (cancelFd >= 0) ::close(cancelFd);
  }

  std::int32_t Queue(unsigned long request) const {
    int n = 0;
    return ::ioctl(fd, request, &n) == 0 ? n : 0;
  }
  // The error, noting first whether it says the device has gone.
  int Failed(int error) const {
    if (DeviceGoneError(error)) gone = true;
    return error;
  }
  int Modem() const {
    int bits = 0;
    if (!hasModemLines) return TIOCM_CTS | TIOCM_DSR;
    if (::ioctl(fd, TIOCMGET, &bits) != 0) {
      Failed(errno);
      return TIOCM_CTS | TIOCM_DSR;
    }
    return bits;
  }
  bool Counters(serial_icounter_struct& c) const {
    return hasCounters && ::ioctl(fd, TIOCGICOUNT, &c) == 0;
  }
  int SetModemBits(int bits, bool on) const {
    if (!hasModemLines) return 0;  // no lines wired: nothing to drive
    return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
  }
};

PosixSerialDevice::PosixSerialDevice(std::optional<std::filesystem::path> portMapDir)
    : impl_(std::make_unique<Impl>()) {
  impl_->portMapDir = std::move(portMapDir);
}

PosixSerialDevice::~PosixSerialDevice() { Close(); }

int PosixSerialDevice::Open(const std::string& name) {
  auto& d = *impl_;
  if (d.closeFd < 0 || d.cancelFd < 0) return EMFILE;
  const std::string path = ResolvePort(name, d.portMapDir ? *d.portMapDir : PortMapDir());
  if (path.empty()) return ENOENT;  // not in the port map: nothing else is opened instead
  std::unique_lock lock(d.fdMutex);
  if (d.fd >= 0) return EBUSY;

  int fd = -1;
  do fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;

  auto fail = [fd](int error) {
    ::close(fd);
    return error;
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(errno);
  if (!S_ISCHR(st.st_mode)) return fail(ENOTTY);
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return fail(errno);
  // Another program (or another open here) holding the port keeps it. The
  // lock ends with the descriptor, so a program that crashed leaves the port
  // free; it binds only programs that ask for it, though. The tty's exclusive
  // mode keeps every other program out (a terminal program, a modem manager
  // probing new devices; root excepted). It ends with the last descriptor of
  // a real device; on a terminal whose other side stays open it would outlive
  // a program that crashed, so the emulator clears it when our side closes.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  ::ioctl(fd, TIOCEXCL);

  d.saved = t;
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return fail(errno);

  // Every byte to the Writer is a round trip, so a USB adapter that holds
  // received bytes for its latency timer slows a transfer many times over.
  // A driver without the setting (a terminal, some adapters) is no error.
  serial_struct serial{};
  bool lowLatency = false, restoreLatency = false;
  if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
    lowLatency = (serial.flags & ASYNC_LOW_LATENCY) != 0;
    if (!lowLatency) {
      serial.flags |= ASYNC_LOW_LATENCY;
      lowLatency = restoreLatency = ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
  }

  int bits = 0;
  d.hasModemLines = ::ioctl(fd, TIOCMGET, &bits) == 0;
  serial_icounter_struct counters{};
  d.hasCounters = ::ioctl(fd, TIOCGICOUNT, &counters) == 0;
  d.lowLatency = lowLatency;
  d.restoreLatency = restoreLatency;
  d.inputWait = ::epoll_create1(EPOLL_CLOEXEC);
  if (d.inputWait < 0) return fail(errno);
  for (const auto& [watched, tag] : {std::pair{fd, kInputTag}, std::pair{d.closeFd, kCloseTag}}) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = tag;
    if (::epoll_ctl(d.inputWait, EPOLL_CTL_ADD, watched, &ev) != 0) {
      const int error = errno;
      ::close(d.inputWait);
      d.inputWait = -1;
      return fail(error);
    }
  }
  d.fd = fd;
  d.gone = false;
  Drain(d.closeFd);
  Drain(d.cancelFd);
  {
    std::lock_guard state(d.stateMutex);
    // What the driver had: raw framing now, but its hardware handshake stays
    // (a "leave as it was" flow choice keeps it).
    d.settings = SerialSettings{};
    d.settings.baudRate = SpeedValue(::cfgetospeed(&t));
    d.settings.stopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    if (t.c_cflag & CRTSCTS) {
      d.settings.outxCtsFlow = true;
      d.settings.rtsControl = RtsControl::Handshake;
    }
    d.xoffHeld = false;
    d.lastErrors = counters;
    d.lastEventCounters = counters;
    d.lastInQueue = d.Queue(TIOCINQ);
    d.lastOutQueue = d.Queue(TIOCOUTQ);
    d.lastModem = d.Modem();
  }
  d.open = true;
  return 0;
}

void PosixSerialDevice::Close() {
  auto& d = *impl_;
  if (!d.open.exchange(false)) return;
  Signal(d.closeFd);
  std::unique_lock lock(d.fdMutex);
  if (d.fd >= 0) {
    ::tcsetattr(d.fd, TCSANOW, &d.saved);
    serial_struct serial{};
    if (d.restoreLatency && ::ioctl(d.fd, TIOCGSERIAL, &serial) == 0) {
      serial.flags &= ~ASYNC_LOW_LATENCY;
      ::ioctl(d.fd, TIOCSSERIAL, &serial);
    }
    ::ioctl(d.fd, TIOCNXCL);
    ::close(d.inputWait);
    d.inputWait = -1;
    ::close(d.fd);  // also drops the flock
    d.fd = -1;
  }
  Drain(d.closeFd);
}

bool PosixSerialDevice::IsOpen() const { return impl_->open.load(); }

bool PosixSerialDevice::Gone() const { return impl_->open.load() && impl_->gone.load(); }

bool PosixSerialDevice::LowLatency() const {
  std::shared_lock lock(impl_->fdMutex);
  return impl_->fd >= 0 && impl_->lowLatency;
}

IoResult PosixSerialDevice::Read(void* buffer, std::int32_t count) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return {0, EBADF, false};
  if (count < 0 || (count > 0 && !buffer)) return {0, EINVAL, false};
  if (count == 0) return {};
  bool strip = false;
  {
    std::lock_guard state(d.stateMutex);
    strip = d.settings.nullStrip;
  }
  for (;;) {
    const ssize_t n = ::read(d.fd, buffer, static_cast<std::size_t>(count));
    if (n >= 0) {
      auto* p = static_cast<std::uint8_t*>(buffer);
      std::int32_t kept = static_cast<std::int32_t>(n);
      if (strip) {
        kept = 0;
        for (ssize_t i = 0; i < n; ++i)
          if (p[i] != 0) p[kept++] = p[i];
      }
      if (n == 0) break;
      return {kept, 0, false};
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) break;
    return {0, d.Failed(errno), false};
  }
  // A hung-up terminal reads as empty for ever: say it is gone instead.
  if (d.gone) return {0, EIO, false};
  return {};
}

IoResult PosixSerialDevice::Write(const void* buffer, std::int32_t count, int timeoutMs) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return {0, EBADF, false};
  if (count < 0 || (count > 0 && !buffer)) return {0, EINVAL, false};
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  std::int32_t done = 0;
  const Deadline deadline(timeoutMs < 0 ? 0 : timeoutMs);
  while (done < count) {
    const ssize_t n = ::write(d.fd, p + done, static_cast<std::size_t>(count - done));
    if (n > 0) {
      done += static_cast<std::int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return {done, d.Failed(errno), false};
    // Output queue full: wait for room, but no longer than the time-out.
    if (deadline.Passed()) return {done, 0, true};
    pollfd fds[2] = {{d.fd, POLLOUT, 0}, {d.closeFd, POLLIN, 0}};
    if (PollRetry(fds, 2, deadline.Left()) < 0) return {done, errno, false};
    if (fds[1].revents) return {done, EBADF, false};
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return {done, d.Failed(EIO), false};
  }
  return {done, 0, false};
}

int PosixSerialDevice::GetStatus(SerialStatus& status) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return EBADF;
  status = SerialStatus{};
  status.inQueue = d.Queue(TIOCINQ);
  status.outQueue = d.Queue(TIOCOUTQ);
  serial_icounter_struct c{};
  const bool counted = d.Counters(c);
  std::lock_guard state(d.stateMutex);
  const bool ctsFlow = d.settings.outxCtsFlow || d.settings.rtsControl == RtsControl::Handshake;
  status.ctsHold = ctsFlow && !(d.Modem() & TIOCM_CTS);
  status.xoffHold = d.xoffHeld;
  if (counted) {
    auto& last = d.lastErrors;
    if (c.buf_overrun != last.buf_overrun) status.errors |= LineError::RxOver;
    if (c.overrun != last.overrun) status.errors |= LineError::Overrun;
    if (c.parity != last.parity) status.errors |= LineError::Parity;
    if (c.frame != last.frame) status.errors |= LineError::Frame;
    if (c.brk != last.brk) status.errors |= LineError::Break;
    last = c;
  }
  return 0;
}

int PosixSerialDevice::Purge(bool receive, bool transmit) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return EBADF;
  if (!receive && !transmit) return 0;
  const int which = receive && transmit ? TCIOFLUSH : receive ? TCIFLUSH : TCOFLUSH;
  return ::tcflush(d.fd, which) == 0 ? 0 : errno;
}

int PosixSerialDevice::GetModemLines(std::uint32_t& lines) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return EBADF;
  int bits = TIOCM_CTS | TIOCM_DSR;
  if (d.hasModemLines && ::ioctl(d.fd, TIOCMGET, &bits) != 0) return d.Failed(errno);
  lines = ((bits & TIOCM_CTS) ? ModemLine::Cts : 0) | ((bits & TIOCM_DSR) ? ModemLine::Dsr : 0) |
          ((bits & TIOCM_RNG) ? ModemLine::Ring : 0) | ((bits & TIOCM_CAR) ? ModemLine::Rlsd : 0);
  return 0;
}

int PosixSerialDevice::Escape(CommEscape function) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return EBADF;
  switch (function) {
    case CommEscape::SetXoff:
    case CommEscape::SetXon: {
      const bool off = function == CommEscape::SetXoff;
      if (::tcflow(d.fd, off ? TCOOFF : TCOON) != 0) return errno;
      std::lock_guard state(d.stateMutex);
      d.xoffHeld = off;
      return 0;
    }
    case CommEscape::SetRts: return d.SetModemBits(TIOCM_RTS, true);
    case CommEscape::ClrRts: return d.SetModemBits(TIOCM_RTS, false);
    case CommEscape::SetDtr: return d.SetModemBits(TIOCM_DTR, true);
    case CommEscape::ClrDtr: return d.SetModemBits(TIOCM_DTR, false);
    case CommEscape::SetBreak: return ::ioctl(d.fd, TIOCSBRK) == 0 ? 0 : errno;
    case CommEscape::ClrBreak: return ::ioctl(d.fd, TIOCCBRK) == 0 ? 0 : errno;
  }
  return EINVAL;
}

int PosixSerialDevice::GetSettings(SerialSettings& settings) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return EBADF;
  std::lock_guard state(d.stateMutex);
  settings = d.settings;
  return 0;
}

int PosixSerialDevice::ApplySettings(const SerialSettings& s) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return EBADF;
  // The tty layer has no 4-bit bytes and no DSR-driven flow control; say so
  // rather than run the line in a way nobody asked for.
  if (s.baudRate == 0 || s.byteSize < 5 || s.byteSize > 8 || s.parity > 4 || s.stopBits > 2)
    return EINVAL;
  if (s.outxDsrFlow || s.dsrSensitivity) return EOPNOTSUPP;

  termios t{};
  if (::tcgetattr(d.fd, &t) != 0) return errno;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[s.byteSize - 5];
  switch (s.parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // One and a half stop bits have no setting of their own; two is the nearest.
  if (s.stopBits != 0) t.c_cflag |= CSTOPB;
  if (s.outxCtsFlow || s.rtsControl == RtsControl::Handshake) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  if (s.outX) t.c_iflag |= IXON;
  if (s.inX) t.c_iflag |= IXOFF;
  if (s.parityCheck) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = s.xonChar;
  t.c_cc[VSTOP] = s.xoffChar;
  const speed_t speed = SpeedConstant(s.baudRate);
  if (speed != B0) {
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
  }
  if (::tcsetattr(d.fd, TCSANOW, &t) != 0) return errno;
  if (speed == B0) {
    if (const int error = SetCustomBaudRate(d.fd, s.baudRate); error != 0) return error;
  }

  int error = d.SetModemBits(TIOCM_DTR, s.dtrControl != DtrControl::Disable);
  if (error == 0)
    error = d.SetModemBits(TIOCM_RTS, s.rtsControl == RtsControl::Enable ||
                                          s.rtsControl == RtsControl::Handshake);
  if (error != 0) return error;
  std::lock_guard state(d.stateMutex);
  d.settings = s;
  return 0;
}

int PosixSerialDevice::SetQueueSizes(std::int32_t, std::int32_t) {
  // The tty layer sizes its own queues.
  return impl_->open ? 0 : EBADF;
}

int PosixSerialDevice::WaitEvents(std::uint32_t mask, int timeoutMs, std::uint32_t& events) {
  auto& d = *impl_;
  events = 0;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return EBADF;
  const Deadline deadline(timeoutMs);
  constexpr std::uint32_t kSampled = LineEvent::Cts | LineEvent::Dsr | LineEvent::Rlsd |
                                     LineEvent::Ring | LineEvent::Break | LineEvent::Err;
  bool woke = false;  // the last poll said bytes arrived
  for (;;) {
    const std::int32_t inQueue = d.Queue(TIOCINQ);
    const std::int32_t outQueue = d.Queue(TIOCOUTQ);
    const int modem = d.Modem();
    serial_icounter_struct c{};
    const bool counted = d.Counters(c);
    std::uint32_t seen = 0;
    {
      std::lock_guard state(d.stateMutex);
      if (inQueue > d.lastInQueue || (woke && inQueue > 0) ||
          (counted && c.rx != d.lastEventCounters.rx))
        seen |= LineEvent::RxChar;
      if (d.lastOutQueue > 0 && outQueue == 0) seen |= LineEvent::TxEmpty;
      const int changed = modem ^ d.lastModem;
      if (changed & TIOCM_CTS) seen |= LineEvent::Cts;
      if (changed & TIOCM_DSR) seen |= LineEvent::Dsr;
      if (changed & TIOCM_CAR) seen |= LineEvent::Rlsd;
      if ((changed & TIOCM_RNG) && (modem & TIOCM_RNG)) seen |= LineEvent::Ring;
      if (counted) {
        const auto& l = d.lastEventCounters;
        if (c.brk != l.brk) seen |= LineEvent::Break;
        if (c.frame != l.frame || c.overrun != l.overrun || c.parity != l.parity ||
            c.buf_overrun != l.buf_overrun)
          seen |= LineEvent::Err;
        d.lastEventCounters = c;
      }
      d.lastInQueue = inQueue;
      d.lastOutQueue = outQueue;
      d.lastModem = modem;
    }
    events = seen & mask;
    if (events != 0) return 0;
    if (deadline.Passed()) return 0;

    // Block on arriving bytes when the queue is empty; otherwise sample.
    const bool watchInput = (mask & LineEvent::RxChar) && inQueue == 0;
    const bool sample = (inQueue > 0 && (mask & LineEvent::RxChar)) ||
                        (outQueue > 0 && (mask & LineEvent::TxEmpty)) ||
                        (d.hasModemLines && (mask & kSampled));
    pollfd fds[3] = {{d.closeFd, POLLIN, 0}, {d.cancelFd, POLLIN, 0}, {d.fd, POLLIN, 0}};
    const int r = PollRetry(fds, watchInput ? 3 : 2, deadline.Left(sample ? kSampleMs : -1));
    if (r < 0) return errno;
    if (fds[0].revents) return EBADF;
    if (fds[1].revents) {
      Drain(d.cancelFd);
      return 0;
    }
    // The other side hung up: nothing more will come, and poll would say so forever.
    if (watchInput && (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL))) return d.Failed(EIO);
    woke = watchInput && (fds[2].revents & POLLIN);
  }
}

void PosixSerialDevice::CancelWait() { Signal(impl_->cancelFd); }

bool PosixSerialDevice::WaitReadable(int timeoutMs) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return false;
  const Deadline deadline(timeoutMs < 0 ? 0 : timeoutMs);
  epoll_event ready[2];
  int n = 0;
  do n = ::epoll_wait(d.inputWait, ready, 2, deadline.Left());
  while (n < 0 && errno == EINTR);
  std::uint32_t events = 0;
  for (int i = 0; i < n; ++i) {
    if (ready[i].data.u32 == kCloseTag) return false;
    events = ready[i].events;
  }
  if (events == 0) return false;
  const bool hungUp = events & (EPOLLHUP | EPOLLERR);
  if ((events & EPOLLIN) && (!hungUp || d.Queue(TIOCINQ) > 0)) return true;
  // Hung up: nothing can arrive; the next Read says so.
  if (hungUp) d.gone = true;
  return false;
}

bool PosixSerialDevice::WaitModemLine(std::uint32_t line, int timeoutMs) {
  auto& d = *impl_;
  std::shared_lock lock(d.fdMutex);
  if (d.fd < 0) return false;
  int bit = 0;
  switch (line) {
    case ModemLine::Cts: bit = TIOCM_CTS; break;
    case ModemLine::Dsr: bit = TIOCM_DSR; break;
    case ModemLine::Ring: bit = TIOCM_RNG; break;
    case ModemLine::Rlsd: bit = TIOCM_CAR; break;
    default: break;
  }
  const Deadline deadline(timeoutMs < 0 ? 0 : timeoutMs);
  // Without modem lines the inputs never change: one look is the answer.
  const bool constant = !d.hasModemLines;
  for (;;) {
    if (bit != 0 && (d.Modem() & bit)) return true;
    if (deadline.Passed()) return false;
    pollfd closing{d.closeFd, POLLIN, 0};
    if (PollRetry(&closing, 1, deadline.Left(constant ? -1 : kModemSampleMs)) != 0) return false;
  }
}
