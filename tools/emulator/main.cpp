// writer-emulator: a Writer with an IC in its socket, served on a
// pseudo-terminal so that the program (or anything else) can open it as a
// serial port. The first line of output is the terminal's path.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "emulator/WriterEmulator.h"
#include "link/PortMap.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = R"(Usage: writer-emulator [options]
Serves an emulated Writer on a pseudo-terminal and prints its path first.

  --model 1|2|universal   the Writer model the probe reports (default universal)
  --device NAME           the IC in the socket, a catalogue name (default K7E1/E3)
  --flash                 the IC is a flash part (erasable) instead of one-time
  --eeprom BYTES          the IC has this much data EEPROM (flash parts)
  --words N               the IC has N program words (default: the device's)
  --protected             the IC is code-protected
  --swap-parts            a fresh part goes in at each probe once the part in the
                          socket was written or erased (a batch, part after part)
  --reseat-ms N            after a part was written and the line has been quiet
                          a moment, the socket is empty for N ms, then a fresh
                          blank part is in it; with 0, SIGUSR1 takes the part out
                          and the next SIGUSR1 puts a fresh blank part in
  --parts-log FILE        append a line per written or erased part to FILE as it
                          leaves the socket and at exit: its program words in hex
  --empty                 nothing in the socket
  --wrong-ic              an IC of another type in the socket
  --adapter-error         the IC adapter board reports an error
  --fault LIST            further faults, comma separated:
                            empty, wrong-ic, adapter, cts (never ready: no reply),
                            silence=N (no reply after N bytes), fail-at=N (a write
                            fails at data byte N), early-end=N (end mark after N
                            data bytes), garbage (every reply is garbage)
  --baud N                pace replies at N baud (default: no pacing)
  --word-time-us N        time to program one word, in microseconds
  --latency-us N          each reply leaves N microseconds after it is due, as
                            through a USB serial adapter's latency timer
  --link ComN             also make the terminal the port ComN (N = 1 to 8)
  --port-map DIR          where --link puts its link (default: the user's port map)
  --help                  this text
Stops on Ctrl-C (SIGINT) or SIGTERM and removes the link it made.
)";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal) {
  const int saved = errno;
  const char b = signal == SIGUSR1 ? 2 : 1;
  [[maybe_unused]] auto r = write(g_signalPipe[1], &b, 1);
  errno = saved;
}

struct Options {
  WriterModel model = WriterModel::Universal;
  IcDescription ic;
  EmulatorFaults faults;
  LineModel line;
  std::optional<int> linkPort;
  std::optional<fs::path> portMap;
  bool swapOnProbe = false;
  std::optional<std::chrono::milliseconds> reseat;
  std::optional<std::string> partsLog;
  bool help = false;
};

struct UsageError {
  std::string message;
};

std::size_t Number(std::string_view text, std::string_view what) {
  std::size_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    throw UsageError{std::string(what) + " needs a number, not \"" + std::string(text) + "\""};
  }
  return value;
}

void AddFaults(std::string_view list, EmulatorFaults& f) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    const auto item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    const auto eq = item.find('=');
    const auto name = item.substr(0, eq);
    const auto arg = eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
    if (name == "empty") f.emptySocket = true;
    else if (name == "wrong-ic") f.wrongIc = true;
    else if (name == "adapter") f.adapterError = true;
    else if (name == "cts") f.ctsNeverRaised = true;
    else if (name == "garbage") f.garbage = true;
    else if (name == "silence") f.silenceAfter = Number(arg, "fault silence");
    else if (name == "fail-at") f.failAtByte = Number(arg, "fault fail-at");
    else if (name == "early-end") f.earlyEndAfter = Number(arg, "fault early-end");
    else throw UsageError{"unknown fault \"" + std::string(item) + "\""};
  }
}

Options Parse(int argc, char** argv) {
  Options o;
  if (const auto first = IcDescription::ForDevice(GetIcName(0))) o.ic = *first;
  bool flash = false, isProtected = false;
  std::optional<int> eeprom, words;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const auto value = [&]() -> std::string_view {
      if (i + 1 >= argc) throw UsageError{std::string(a) + " needs a value"};
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--model") {
      const auto m = value();
      if (m == "1") o.model = WriterModel::Model1;
      else if (m == "2") o.model = WriterModel::Model2;
      else if (m == "universal") o.model = WriterModel::Universal;
      else throw UsageError{"--model takes 1, 2 or universal"};
    } else if (a == "--device") {
      const std::string name(value());
      const auto ic = IcDescription::ForDevice(name);
      if (!ic) {
        std::string known;
        for (int r = 0; !GetIcName(r).empty(); ++r) known += (r ? ", " : "") + GetIcName(r);
        throw UsageError{"unknown device \"" + name + "\" (known: " + known + ")"};
      }
      o.ic = *ic;
    } else if (a == "--flash") {
      flash = true;
    } else if (a == "--eeprom") {
      const auto n = Number(value(), "--eeprom");
      if (n < 1 || n > 65536) throw UsageError{"--eeprom takes 1 to 65536 bytes"};
      eeprom = static_cast<int>(n);
    } else if (a == "--words") {
      const auto n = Number(value(), "--words");
      if (n < 1 || n > 16383) throw UsageError{"--words takes 1 to 16383"};
      words = static_cast<int>(n);
    } else if (a == "--swap-parts") {
      o.swapOnProbe = true;
    } else if (a == "--reseat-ms") {
      const auto n = Number(value(), "--reseat-ms");
      if (n > 3'600'000) throw UsageError{"--reseat-ms takes at most 3600000"};
      o.reseat = std::chrono::milliseconds(n);
    } else if (a == "--parts-log") {
      o.partsLog = std::string(value());
    } else if (a == "--protected") {
      isProtected = true;
    } else if (a == "--empty") {
      o.faults.emptySocket = true;
    } else if (a == "--wrong-ic") {
      o.faults.wrongIc = true;
    } else if (a == "--adapter-error") {
      o.faults.adapterError = true;
    } else if (a == "--fault") {
      AddFaults(value(), o.faults);
    } else if (a == "--baud") {
      const auto n = Number(value(), "--baud");
      if (n < 1 || n > 10'000'000) throw UsageError{"--baud takes 1 to 10000000"};
      o.line.baud = static_cast<int>(n);
    } else if (a == "--word-time-us") {
      const auto n = Number(value(), "--word-time-us");
      if (n > 10'000'000) throw UsageError{"--word-time-us takes at most 10000000"};
      o.line.wordTime = std::chrono::microseconds(n);
    } else if (a == "--latency-us") {
      const auto n = Number(value(), "--latency-us");
      if (n > 10'000'000) throw UsageError{"--latency-us takes at most 10000000"};
      o.line.latency = std::chrono::microseconds(n);
    } else if (a == "--link") {
      const std::string port(value());
      int n = 0;
      if (port.size() == 4 && strncasecmp(port.c_str(), "com", 3) == 0 && port[3] >= '1' && port[3] <= '8') {
        n = port[3] - '0';
      } else {
        throw UsageError{"--link takes Com1 to Com8"};
      }
      o.linkPort = n;
    } else if (a == "--port-map") {
      o.portMap = fs::path(std::string(value()));
    } else {
      throw UsageError{"unknown option \"" + std::string(a) + "\""};
    }
  }
  if (flash) o.ic.flash = true;
  if (words) o.ic.words = *words;
  if (isProtected) o.ic.isProtected = true;
  if (eeprom) {
    if (!o.ic.flash) throw UsageError{"--eeprom needs a flash part (--flash)"};
    o.ic.eepromBytes = *eeprom;
  }
  if (o.portMap && !o.linkPort) throw UsageError{"--port-map needs --link"};
  return o;
}

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

bool SameFile(const fs::path& a, const fs::path& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// The program takes the terminal exclusively. The kernel keeps that mode
// while this side is open, even after the program died without closing, and
// then no one else could open the port: so whenever a descriptor of the
// terminal closes and nobody holds the port's lock any more, the mode is
// cleared here.
class ExclusiveWatch {
 public:
  ExclusiveWatch(int slave, const std::string& path) : slave_(slave) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0 && inotify_add_watch(fd_, path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~ExclusiveWatch() {
    if (fd_ >= 0) close(fd_);
  }
  ExclusiveWatch(const ExclusiveWatch&) = delete;
  ExclusiveWatch& operator=(const ExclusiveWatch&) = delete;

  int Fd() const { return fd_; }
  // A descriptor closed and the mode is not cleared yet: Check again shortly.
  bool Pending() const { return pending_; }
  void OnEvents() {
    alignas(inotify_event) char buf[4096];
    while (read(fd_, buf, sizeof buf) > 0) pending_ = true;
  }
  // Taking the lock for a moment tells whether a program still holds the
  // port (or has not quite let go of it: the close is announced first).
  void Check() {
    if (!pending_) return;
    int exclusive = 0;
    if (ioctl(slave_, TIOCGEXCL, &exclusive) != 0 || !exclusive) {
      pending_ = false;
    } else if (flock(slave_, LOCK_EX | LOCK_NB) == 0) {
      ioctl(slave_, TIOCNXCL);
      flock(slave_, LOCK_UN);
      pending_ = false;
    }
  }

 private:
  int slave_;
  int fd_ = -1;
  bool pending_ = false;
};

// The port-map link made by --link; removed at exit only while it is still ours.
class PortLink {
 public:
  PortLink() = default;
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;
  ~PortLink() { Remove(); }

  // Returns an error text, or empty on success.
  std::string Make(const fs::path& dir, int port, const std::string& target) {
    const fs::path link = dir / ("com" + std::to_string(port));
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return "cannot create " + dir.string() + ": " + ec.message();
    const auto st = fs::symlink_status(link, ec);
    if (fs::exists(st)) {
      // A link left by an emulator that did not stop cleanly points nowhere,
      // or at this terminal when the system handed its number out again.
      if (!fs::is_symlink(st) || (fs::exists(link, ec) && !SameFile(link, target))) {
        return link.string() + " already exists; remove it or choose another port";
      }
      fs::remove(link, ec);
    }
    fs::create_symlink(target, link, ec);
    if (ec) return "cannot create " + link.string() + ": " + ec.message();
    link_ = link;
    target_ = target;
    return {};
  }
  void Remove() {
    if (link_.empty()) return;
    std::error_code ec;
    if (fs::read_symlink(link_, ec) == fs::path(target_)) fs::remove(link_, ec);
    link_.clear();
  }
  const fs::path& Path() const { return link_; }

 private:
  fs::path link_;
  std::string target_;
};

const char* ModelName(WriterModel m) {
  return m == WriterModel::Model1 ? "model 1" : m == WriterModel::Model2 ? "model 2" : "universal model";
}

int Serve(const Options& o) {
  WriterEmulator writer;
  writer.SetModel(o.model);
  writer.SetIc(o.ic);
  writer.SetFaults(o.faults);
  writer.SetSwapOnProbe(o.swapOnProbe);
  writer.SetReseat(o.reseat);
  writer.SetGiveUpQuiet(WriterEmulator::kGiveUpQuiet);
  std::FILE* partsLog = nullptr;
  if (o.partsLog) {
    partsLog = std::fopen(o.partsLog->c_str(), "a");
    if (!partsLog) {
      std::cerr << "writer-emulator: " << SystemError("cannot open " + *o.partsLog) << "\n";
      return 1;
    }
    writer.SetOnPartLeaving([partsLog](const std::vector<std::uint16_t>& words) {
      std::string line;
      char hex[8];
      for (const std::uint16_t w : words) {
        std::snprintf(hex, sizeof hex, line.empty() ? "%04X" : " %04X", w);
        line += hex;
      }
      line += '\n';
      std::fputs(line.c_str(), partsLog);
      std::fflush(partsLog);  // a test reads it while the emulator runs on
    });
  }
  // The emulator's clock counts milliseconds; the loop below holds the replies
  // for the latency itself, to the microsecond.
  LineModel line = o.line;
  line.latency = {};
  writer.SetLineModel(line);
  // A paced byte at 115200 baud lasts 87 microseconds: wake when it is due,
  // not up to the default 50 microseconds later.
  if (line.baud > 0) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::cerr << "writer-emulator: " << SystemError("cannot create a pseudo-terminal") << "\n";
    return 1;
  }
  const char* name = ptsname(master);
  const std::string slavePath = name ? name : "";
  // Holding the terminal's own end open keeps the line up between users, so
  // the PC may open and close it as often as it likes.
  const int slave = slavePath.empty() ? -1 : open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    std::cerr << "writer-emulator: " << SystemError("cannot open " + slavePath) << "\n";
    close(master);
    return 1;
  }
  termios tio{};
  if (tcgetattr(slave, &tio) == 0) {
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  // Watching before the terminal is announced: no close may go unseen.
  ExclusiveWatch exclusive(slave, slavePath);

  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::cerr << "writer-emulator: " << SystemError("cannot create a pipe") << "\n";
    return 1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGUSR1, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  PortLink link;
  if (o.linkPort) {
    const auto error = link.Make(o.portMap ? *o.portMap : PortMapDir(), *o.linkPort, slavePath);
    if (!error.empty()) {
      std::cerr << "writer-emulator: " << error << "\n";
      return 1;
    }
  }

  std::cout << slavePath << std::endl;
  std::cerr << "Writer emulator (" << ModelName(o.model) << "), " << o.ic.name << " ("
            << (o.ic.flash ? "flash" : "one-time") << ", " << o.ic.words << " words"
            << (o.ic.eepromBytes ? ", " + std::to_string(o.ic.eepromBytes) + " bytes EEPROM" : "")
            << (o.ic.isProtected ? ", protected" : "") << ") in the socket";
  if (!link.Path().empty()) std::cerr << "; Com" << *o.linkPort << " is " << link.Path().string();
  std::cerr << "\n";

  using Steady = std::chrono::steady_clock;
  struct Held {
    Steady::time_point release;
    std::vector<std::uint8_t> bytes;
  };
  std::deque<Held> held;  // replies waiting out the latency
  std::vector<std::uint8_t> outbox;
  writer.SetOutput([&](std::span<const std::uint8_t> b) {
    held.push_back({Steady::now() + o.line.latency, {b.begin(), b.end()}});
  });
  const auto release = [&] {
    const auto now = Steady::now();
    while (!held.empty() && held.front().release <= now) {
      outbox.insert(outbox.end(), held.front().bytes.begin(), held.front().bytes.end());
      held.pop_front();
    }
  };

  int status = 0;
  for (;;) {
    pollfd fds[3] = {{master, static_cast<short>(POLLIN | (outbox.empty() ? 0 : POLLOUT)), 0},
                     {g_signalPipe[0], POLLIN, 0},
                     {exclusive.Fd(), POLLIN, 0}};
    std::optional<Steady::duration> wait;
    if (const auto next = writer.NextEventInMicros()) wait = *next;
    if (!held.empty()) {
      const auto left = std::max(Steady::duration::zero(), held.front().release - Steady::now());
      wait = wait ? std::min(*wait, left) : left;
    }
    if (exclusive.Pending()) {
      const Steady::duration again = std::chrono::milliseconds(10);
      wait = wait ? std::min(*wait, again) : again;
    }
    timespec timeout{};
    if (wait) {
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    }
    if (ppoll(fds, 3, wait ? &timeout : nullptr, nullptr) < 0) {
      if (errno == EINTR) continue;
      std::cerr << "writer-emulator: " << SystemError("poll") << "\n";
      status = 1;
      break;
    }
    if (fds[1].revents) {
      char signals[16];
      const auto n = read(g_signalPipe[0], signals, sizeof signals);
      if (n > 0 && std::find(signals, signals + n, 1) != signals + n) break;
      // SIGUSR1: the technician's hand at the socket.
      if (n > 0 && o.reseat == std::chrono::milliseconds(0)) {
        for (auto i = 0; i < n; ++i) writer.PartSeated() ? writer.TakePartOut() : writer.SeatFreshPart();
      }
      continue;
    }
    if (fds[2].revents) exclusive.OnEvents();
    exclusive.Check();
    if ((fds[0].revents & (POLLERR | POLLNVAL | POLLHUP)) && !(fds[0].revents & POLLIN)) {
      std::cerr << "writer-emulator: the pseudo-terminal failed\n";
      status = 1;
      break;
    }
    if (fds[0].revents & POLLIN) {
      std::uint8_t buf[4096];
      const auto n = read(master, buf, sizeof buf);
      if (n > 0) writer.Receive(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)));
    }
    writer.Pump();
    release();
    if (!outbox.empty()) {
      const auto n = write(master, outbox.data(), outbox.size());
      if (n > 0) outbox.erase(outbox.begin(), outbox.begin() + n);
    }
  }
  link.Remove();
  close(slave);
  close(master);
  if (partsLog) {
    writer.TakePart();
    std::fclose(partsLog);
  }
  std::cerr << "Writer emulator stopped\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  try {
    o = Parse(argc, argv);
  } catch (const UsageError& e) {
    std::cerr << "writer-emulator: " << e.message << "\nTry writer-emulator --help\n";
    return 2;
  }
  if (o.help) {
    std::cout << kUsage;
    return 0;
  }
  return Serve(o);
}
