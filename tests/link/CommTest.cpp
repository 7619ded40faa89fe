#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "link/Comm.h"
#include "link/LineFixtures.h"
#include "link/PortMap.h"

namespace {

// TComm on the in-process line, opened like Comm1.
class CommOnPair : public ::testing::Test {
 protected:
  CommOnPair() : comm(pair.MakePcEnd()) {}

  std::string ErrorOf(const std::function<void()>& f, int* code = nullptr) {
    try {
      f();
    } catch (const ECommError& e) {
      if (code) *code = e.ErrorCode();
      return e.what();
    }
    return "no error";
  }

  DevicePair pair;
  TComm comm;
};

TEST_F(CommOnPair, DefaultsAreTheComponentsOwn) {
  EXPECT_EQ(comm.DeviceName(), "Com2");
  EXPECT_EQ(comm.ReadTimeout(), 1000);
  EXPECT_EQ(comm.WriteTimeout(), 1000);
  EXPECT_EQ(comm.ReadBufSize(), 4096);
  EXPECT_EQ(comm.WriteBufSize(), 2048);
  EXPECT_EQ(comm.MonitorEvents(), kAllCommEvents);
  EXPECT_EQ(comm.BaudRate(), br9600);
  EXPECT_EQ(comm.Parity(), paNone);
  EXPECT_EQ(comm.Stopbits(), sb10);
  EXPECT_EQ(comm.Databits(), da8);
  EXPECT_TRUE(comm.Options().Empty());
  EXPECT_EQ(comm.FlowControl(), fcDefault);
  EXPECT_EQ(comm.EventChars().XonChar(), 17);
  EXPECT_EQ(comm.EventChars().XoffChar(), 19);
  EXPECT_FALSE(comm.Enabled());
}

TEST_F(CommOnPair, OpenOnlySettersRaiseWhileOpenAndIgnoreTheSameValue) {
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  EXPECT_NO_THROW(comm.SetDeviceName("Com2"));
  EXPECT_NO_THROW(comm.SetReadBufSize(4096));
  int code = 0;
  EXPECT_EQ(ErrorOf([&] { comm.SetDeviceName("Com3"); }, &code),
            "Port already assigned (open) (Error: -1) ");
  EXPECT_EQ(code, -1);
  EXPECT_EQ(comm.DeviceName(), "Com2");
  EXPECT_EQ(ErrorOf([&] { comm.SetReadBufSize(8192); }), "Port already assigned (open) (Error: -1) ");
  EXPECT_EQ(ErrorOf([&] { comm.SetWriteBufSize(0); }), "Port already assigned (open) (Error: -1) ");
  EXPECT_EQ(ErrorOf([&] { comm.SetMonitorEvents({evCts}); }),
            "Port already assigned (open) (Error: -1) ");
  EXPECT_EQ(ErrorOf([&] { comm.Open(); }), "Port already assigned (open) (Error: -1) ");
  comm.Close();
  EXPECT_NO_THROW(comm.SetDeviceName("Com3"));
  EXPECT_EQ(comm.DeviceName(), "Com3");
}

TEST_F(CommOnPair, LineSettingsApplyAtOpenAndAtOnceWhileOpen) {
  comm.SetBaudRate(br115200);
  comm.SetReadBufSize(8192);
  comm.Open();
  SerialSettings s = pair.Settings();
  EXPECT_EQ(s.baudRate, 115200u);
  EXPECT_EQ(s.byteSize, 8);
  EXPECT_EQ(s.xonLimit, 2048);
  EXPECT_EQ(s.xoffLimit, 2048);

  comm.SetDatabits(da7);
  comm.SetParity(paMark);
  comm.SetStopbits(sb20);
  comm.SetOptions({coParityCheck, coNullStrip});
  comm.EventChars().SetEvtChar(0xB8);
  s = pair.Settings();
  EXPECT_EQ(s.byteSize, 7);
  EXPECT_EQ(s.parity, 3);
  EXPECT_EQ(s.stopBits, 2);
  EXPECT_TRUE(s.parityCheck);
  EXPECT_TRUE(s.nullStrip);
  EXPECT_FALSE(s.dsrSensitivity);
  EXPECT_EQ(s.evtChar, 0xB8);
}

TEST_F(CommOnPair, HandshakeChoiceDrivesDtrAndRts) {
  comm.Open();
  EXPECT_TRUE(pair.Dtr());  // fcDefault leaves the lines as the driver had them
  EXPECT_TRUE(pair.Rts());
  comm.SetFlowControl(fcNone);
  EXPECT_FALSE(pair.Dtr());
  EXPECT_FALSE(pair.Rts());
  EXPECT_FALSE(pair.Settings().outxCtsFlow);
  comm.SetFlowControl(fcCTS);
  EXPECT_TRUE(pair.Settings().outxCtsFlow);
  EXPECT_EQ(pair.Settings().rtsControl, RtsControl::Handshake);
  EXPECT_TRUE(pair.Rts());
  comm.SetFlowControl(fcSoftware);
  EXPECT_TRUE(pair.Settings().outX && pair.Settings().inX);

  comm.Close();
  comm.SetFlowControl(fcNone);
  comm.Open();
  EXPECT_FALSE(pair.Dtr());
  EXPECT_FALSE(pair.Rts());
  comm.SetDTRState(true);
  comm.SetRTSState(true);
  EXPECT_TRUE(pair.Dtr() && pair.Rts());
  comm.SetBREAKState(true);
  EXPECT_TRUE(pair.Break());
  comm.SetBREAKState(false);
  EXPECT_FALSE(pair.Break());
}

TEST_F(CommOnPair, ClosedPortAnswersWithoutTouchingTheLine) {
  EXPECT_EQ(comm.InQueCount(), -1);
  EXPECT_EQ(comm.OutQueCount(), -1);
  EXPECT_FALSE(comm.GetModemState(1));
  EXPECT_FALSE(comm.GetComState(1));
  EXPECT_NO_THROW(comm.PurgeIn());
  EXPECT_NO_THROW(comm.PurgeOut());
  EXPECT_FALSE(comm.WaitForInput(0));
  EXPECT_FALSE(comm.WaitForCts(0));
  EXPECT_EQ(ErrorOf([&] { comm.SetDTRState(true); }),
            "Port not open, unable to complete operation (Error: -1) ");
  std::uint8_t b = 0;
  int code = 0;
  EXPECT_EQ(ErrorOf([&] { comm.Read(&b, 1); }, &code), "Read error (Error: " + std::to_string(EBADF) + ") ");
  EXPECT_EQ(ErrorOf([&] { comm.Write(&b, 1); }), "Write error (Error: " + std::to_string(EBADF) + ") ");
  // A change while closed is only stored.
  comm.SetBaudRate(br57600);
  EXPECT_EQ(comm.BaudRate(), br57600);
}

TEST_F(CommOnPair, ModemStatesAndQueueCounts) {
  comm.Open();
  EXPECT_TRUE(comm.GetModemState(1));
  EXPECT_TRUE(comm.GetModemState(2));
  EXPECT_FALSE(comm.GetModemState(3));
  EXPECT_FALSE(comm.GetModemState(4));
  EXPECT_FALSE(comm.GetModemState(5));
  EXPECT_FALSE(comm.GetModemState(0));
  pair.SetCts(false);
  pair.SetRlsd(true);
  EXPECT_FALSE(comm.GetModemState(1));
  EXPECT_TRUE(comm.GetModemState(4));

  comm.SetFlowControl(fcCTS);
  EXPECT_TRUE(comm.GetComState(1));  // held for CTS
  EXPECT_FALSE(comm.GetComState(4));
  comm.SetXONState(false);
  EXPECT_TRUE(comm.GetComState(4));

  const Bytes data = {1, 2, 3};
  pair.SendToPc(data);
  EXPECT_EQ(comm.InQueCount(), 3);
  EXPECT_EQ(comm.OutQueCount(), 0);
  comm.PurgeIn();
  EXPECT_EQ(comm.InQueCount(), 0);
}

TEST_F(CommOnPair, AFarEndThatAnswersFromInsideTheWriteIsHeardOneByteAtATime) {
  pair.SetReceiver([this](std::span<const std::uint8_t> bytes) {
    for (auto b : bytes) {
      const std::uint8_t reply = b == 0xA0 ? 0xB4 : 0xB5;
      pair.SendToPc({&reply, 1});
      pair.SetCts(true);
    }
  });
  comm.Open();
  const std::uint8_t probe = 0xA0;
  ASSERT_EQ(comm.Write(&probe, 1), 1);
  std::uint8_t reply = 0;
  ASSERT_EQ(comm.Read(&reply, 1), 1);
  EXPECT_EQ(reply, 0xB4);
  EXPECT_EQ(comm.Read(&reply, 1), 0);
}

TEST_F(CommOnPair, AWriteHeldByFlowControlGivesUpAfterTheTimeout) {
  comm.SetWriteTimeout(10);
  comm.SetFlowControl(fcCTS);
  comm.Open();
  pair.SetCts(false);
  const std::uint8_t b = 0x55;
  EXPECT_EQ(comm.Write(&b, 1), -1);
  pair.SetCts(true);
  EXPECT_EQ(comm.Write(&b, 1), 1);
}

TEST_F(CommOnPair, WaitsWakeWhenTheFarEndActs) {
  comm.Open();
  pair.SetCts(false);
  EXPECT_FALSE(comm.WaitForCts(0));
  std::thread far([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pair.SetCts(true);
    const std::uint8_t b = 0xB8;
    pair.SendToPc({&b, 1});
  });
  EXPECT_TRUE(comm.WaitForCts(kPatienceMs));
  EXPECT_TRUE(comm.WaitForInput(kPatienceMs));
  far.join();
  EXPECT_EQ(comm.InQueCount(), 1);
}

TEST_F(CommOnPair, WatcherDispatchesLineEventsInOrderUntilClose) {
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::string> seen;
  auto note = [&](std::string what) {
    std::lock_guard lock(m);
    seen.push_back(std::move(what));
    cv.notify_all();
  };
  comm.SetOnCts([&](TCustomComm&) { note("cts"); });
  comm.SetOnRxChar([&](TCustomComm&, std::int32_t n) { note("rx" + std::to_string(n)); });
  comm.SetOnRxFlag([&](TCustomComm&) { note("flag"); });
  comm.EventChars().SetEvtChar(0xB8);
  comm.Open();
  const Bytes data = {0x01, 0xB8};
  pair.SendToPc(data);
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [&] { return seen.size() >= 2; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"rx2", "flag"}));
  }
  pair.SetCts(false);
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [&] { return seen.size() >= 3; }));
    EXPECT_EQ(seen.back(), "cts");
  }
  comm.Close();
  EXPECT_FALSE(pair.PcOpen());
  pair.SetCts(true);
  std::lock_guard lock(m);
  EXPECT_EQ(seen.size(), 3u);
}

TEST_F(CommOnPair, DispatcherRunsEventsWhereItIsToldAndNotAfterTheComponentIsGone) {
  std::mutex m;
  std::vector<std::function<void()>> queued;
  std::atomic<int> handled{0};
  auto owned = std::make_unique<TComm>(pair.MakePcEnd());
  owned->SetOnDsr([&](TCustomComm&) { ++handled; });
  owned->SetEventDispatcher([&](std::function<void()> work) {
    std::lock_guard lock(m);
    queued.push_back(std::move(work));
  });
  owned->Open();
  pair.SetDsr(false);
  for (int i = 0; i < kPatienceMs; ++i) {
    {
      std::lock_guard lock(m);
      if (!queued.empty()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(handled, 0);
  owned.reset();
  std::lock_guard lock(m);
  ASSERT_FALSE(queued.empty());
  for (auto& work : queued) work();  // must not touch the destroyed component
  EXPECT_EQ(handled, 0);
}

TEST(CommObjs, EventsSignalResetAndTimeOut) {
  TSimpleEvent manual;
  EXPECT_EQ(manual.WaitFor(0), TEventWaitResult::wrTimeout);
  manual.SetEvent();
  manual.SetEvent();
  EXPECT_EQ(manual.WaitFor(0), TEventWaitResult::wrSignaled);
  EXPECT_EQ(manual.WaitFor(0), TEventWaitResult::wrSignaled);
  manual.ResetEvent();
  EXPECT_EQ(manual.WaitFor(1), TEventWaitResult::wrTimeout);

  TEvent autoReset(false, true);
  EXPECT_EQ(autoReset.WaitFor(0), TEventWaitResult::wrSignaled);
  EXPECT_EQ(autoReset.WaitFor(0), TEventWaitResult::wrTimeout);
  std::thread setter([&] { autoReset.SetEvent(); });
  EXPECT_EQ(autoReset.WaitFor(-1), TEventWaitResult::wrSignaled);
  setter.join();
}

// The tty device behind "ComN": a port-map link to a pseudo-terminal.
TEST(CommOnPty, ComNameResolvesThroughThePortMapAndCarriesBytes) {
  PtyLine pty;
  char tmpl[] = "/tmp/qel-ports-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::filesystem::path dir = tmpl;
  std::filesystem::create_symlink(pty.Name(), dir / "com3");

  TComm comm(std::make_unique<PosixSerialDevice>(dir));
  comm.SetDeviceName("Com3");
  comm.SetBaudRate(br115200);
  comm.SetReadBufSize(8192);
  comm.Open();
  ASSERT_TRUE(comm.Enabled()) << comm.LastOpenError();
  EXPECT_TRUE(comm.GetModemState(1));
  EXPECT_NO_THROW(comm.SetFlowControl(fcNone));
  EXPECT_NO_THROW(comm.SetBaudRate(br128000));  // a rate without a B-constant

  const std::uint8_t probe = 0xA0;
  EXPECT_EQ(comm.Write(&probe, 1), 1);
  EXPECT_EQ(pty.FarReceive(1), Bytes{0xA0});
  pty.FarSend({0xB4});
  ASSERT_TRUE(comm.WaitForInput(kPatienceMs));
  std::uint8_t reply = 0;
  EXPECT_EQ(comm.Read(&reply, 1), 1);
  EXPECT_EQ(reply, 0xB4);
  comm.Close();
  EXPECT_FALSE(comm.Enabled());
  std::filesystem::remove_all(dir);
}

// The rest of a reply to a program that crashed is still on the line when
// the next one opens the port: the first byte it reads is a fresh one.
TEST(CommOnPty, AnOpenClearsWhatTheLineHeldBefore) {
  PtyLine pty;
  pty.FarSend({0xB5, 0xB5, 0xB8});
  TComm comm(std::make_unique<PosixSerialDevice>());
  comm.SetDeviceName(pty.Name());
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  pty.FarSend({0xB4});
  ASSERT_TRUE(comm.WaitForInput(kPatienceMs));
  std::uint8_t first = 0;
  EXPECT_EQ(comm.Read(&first, 1), 1);
  EXPECT_EQ(first, 0xB4);
}

// The far side going away (the emulator killed, an adapter pulled) is told
// at once, not as a wait for bytes that cannot come.
TEST(CommOnPty, AHungUpLineSaysItIsGoneAndClosesCleanly) {
  PtyLine pty;
  TComm comm(std::make_unique<PosixSerialDevice>());
  comm.SetDeviceName(pty.Name());
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  EXPECT_FALSE(comm.DeviceGone());
  pty.HangUp();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(comm.WaitForInput(kPatienceMs));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kPatienceMs));
  EXPECT_TRUE(comm.DeviceGone());
  std::uint8_t b = 0;
  try {
    comm.Read(&b, 1);
    ADD_FAILURE() << "a read of a hung-up line passed";
  } catch (const ECommError& e) {
    EXPECT_TRUE(DeviceGoneError(e.ErrorCode())) << e.what();
  }
  comm.Close();
  EXPECT_FALSE(comm.Enabled());
  EXPECT_FALSE(comm.DeviceGone());
}

// Only a serial line is a port: a plain file or a non-terminal character
// device opens and is closed again, without raising.
TEST(CommOnPty, AFileThatIsNoSerialLineLeavesThePortClosed) {
  char path[] = "/tmp/qel-notaport-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  for (const std::string& name : {std::string(path), std::string("/dev/null")}) {
    TComm comm(std::make_unique<PosixSerialDevice>());
    comm.SetDeviceName(name);
    EXPECT_NO_THROW(comm.Open());
    EXPECT_FALSE(comm.Enabled()) << name;
    EXPECT_NE(comm.LastOpenError(), 0) << name;
    EXPECT_EQ(comm.InQueCount(), -1);
  }
  ::unlink(path);
}

TEST(CommOnPty, AnOpenWhoseSettingsAreRefusedRaisesAndLeavesThePortClosed) {
  PtyLine pty;
  TComm comm(std::make_unique<PosixSerialDevice>());
  comm.SetDeviceName(pty.Name());
  comm.SetDatabits(da4);  // a tty has no 4-bit bytes
  try {
    comm.Open();
    ADD_FAILURE() << "no error";
  } catch (const ECommError& e) {
    EXPECT_EQ(std::string(e.what()), "Error updating DataControlBlock (Error: " + std::to_string(EINVAL) + ") ");
    EXPECT_EQ(e.ErrorCode(), EINVAL);
  }
  EXPECT_FALSE(comm.Enabled());
  comm.SetDatabits(da8);
  comm.Open();
  EXPECT_TRUE(comm.Enabled());
}

// The port belongs to the program that opened it only while that program
// lives: one that crashed (no close) or was killed leaves it free, though the
// other side of the terminal (the emulator) stays open throughout. As root,
// which passes the exclusive mode a dead holder leaves on a terminal: for
// other users the emulator clears it (the emulator program's tests).
TEST(CommOnPty, APortHeldByAProgramThatDiedIsFreeAgain) {
  PtyLine pty;
  // Read as root, or refused as another user because it is set.
  const auto exclusiveFlag = [&] {
    const int fd = ::open(pty.Name().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 && errno == EBUSY) return 1;
    int flag = -1;
    if (fd >= 0) ::ioctl(fd, TIOCGEXCL, &flag);
    if (fd >= 0) ::close(fd);
    return flag;
  };
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed while holding the port" : "ended without closing the port");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PosixSerialDevice held;
      const char opened = held.Open(pty.Name()) == 0 ? 'y' : 'n';
      [[maybe_unused]] auto n = ::write(ready[1], &opened, 1);
      if (killed) ::pause();
      ::_exit(0);  // no Close, no destructors: as a crash
    }
    ::close(ready[1]);
    char opened = 0;
    EXPECT_EQ(::read(ready[0], &opened, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(opened, 'y');
    PosixSerialDevice next;
    if (killed) {
      EXPECT_EQ(next.Open(pty.Name()), EBUSY);  // still its own while it lives
      ::kill(child, SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(next.Open(pty.Name()), 0);
    EXPECT_EQ(exclusiveFlag(), 1);  // other programs are kept off too
    // A terminal has no low-latency setting; that is no reason to refuse it.
    EXPECT_FALSE(next.LowLatency());
    PosixSerialDevice second;
    EXPECT_EQ(second.Open(pty.Name()), EBUSY);  // one process, two opens: still one owner
    next.Close();
    EXPECT_EQ(exclusiveFlag(), 0);  // given back with the port
  }
}

TEST(PortMapTest, ComNamesMapThroughLinksOrToSerialPorts) {
  char tmpl[] = "/tmp/qel-ports-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::filesystem::path dir = tmpl;
  std::filesystem::create_symlink("/dev/pts/7", dir / "com1");
  std::filesystem::create_symlink("ttyEmu", dir / "com8");

  const std::filesystem::path noMap = dir / "no-map";
  // "" is a port the map does not name: missing, nothing is opened for it.
  const struct {
    std::string name;
    std::filesystem::path map;
    std::string resolved;
  } cases[] = {
      {"Com1", dir, "/dev/pts/7"},
      {"COM1", dir, "/dev/pts/7"},
      {"com8", dir, (dir / "ttyEmu").string()},
      {"Com2", dir, ""},
      {"Com2", noMap, "/dev/ttyS1"},  // only without a map: the machine's own port
      {"Com9", dir, "Com9"},
      {"Com10", noMap, "Com10"},
      {"/dev/ttyUSB0", dir, "/dev/ttyUSB0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolvePort(c.name, c.map), c.resolved) << c.name << " in " << c.map;
    EXPECT_EQ(MissingFromPortMap(c.name, c.map), c.resolved.empty()) << c.name << " in " << c.map;
  }
  // Every look reads the map afresh: a link put back is found at once.
  std::filesystem::create_symlink("/dev/pts/9", dir / "com2");
  EXPECT_EQ(ResolvePort("Com2", dir), "/dev/pts/9");
  std::filesystem::remove(dir / "com2");
  EXPECT_EQ(ResolvePort("Com2", dir), "");
  // A missing port opens nothing, and says so as a missing device does.
  PosixSerialDevice device(dir);
  EXPECT_EQ(device.Open("Com2"), ENOENT);
  EXPECT_FALSE(device.IsOpen());
  std::filesystem::remove_all(dir);

  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = oldXdg ? oldXdg : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(PortMapDir(), std::filesystem::path("/cfg/qel-writer/ports"));
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_NE(PortMapDir(), std::filesystem::path("relative/qel-writer/ports"));
  if (oldXdg)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
