// The serial link's cost: CPU while the program waits on the Writer, and the
// speed of the acknowledged write and the streamed read against
// writer-emulator over a pseudo-terminal, beside a bare one-byte ping-pong.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/WriterLink.h"
#include "support/EmulatorProcess.h"

namespace {

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A pseudo-terminal whose far end nobody reads or answers.
struct SilentPty {
  SilentPty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    path = ptsname(master);
  }
  ~SilentPty() { close(master); }
  int master;
  std::string path;
};

// Percentage of one core the process used over the benchmark's wall time.
template <typename Body>
void MeasureCpu(benchmark::State& state, Body body) {
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double c0 = ProcessCpuSeconds(), w0 = WallSeconds();
    body();
    cpu += ProcessCpuSeconds() - c0;
    wall += WallSeconds() - w0;
  }
  state.counters["cpu_percent"] = 100.0 * cpu / wall;
}

void BM_WaitForAReplyThatNeverComes(benchmark::State& state) {
  SilentPty pty;
  TComm comm;
  comm.SetDeviceName(pty.path);
  comm.Open();
  MainState s;
  GetICInfo(s, "K7E1/E3");
  WriterLink link(s, comm, SystemClock::Instance());
  MeasureCpu(state, [&] {
    if (link.CheckWriter() != kLinkTimeout) state.SkipWithError("the silent line answered");
  });
}
BENCHMARK(BM_WaitForAReplyThatNeverComes)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenIdlePort(benchmark::State& state) {
  SilentPty pty;
  TComm comm;
  comm.SetDeviceName(pty.path);
  comm.Open();
  MeasureCpu(state, [] { std::this_thread::sleep_for(std::chrono::seconds(2)); });
}
BENCHMARK(BM_OpenIdlePort)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// writer-emulator with a part one word per 2 bytes longer than the write, so
// the Writer takes it all.
std::vector<std::string> EmulatorArgs(long latencyUs = 0) {
  return {"--words", "1027", "--latency-us", std::to_string(latencyUs)};
}

constexpr int kWriteBytes = 2054;
constexpr int kReadBytes = 2049;

// The protocol's own exchange: one acknowledged write of kWriteBytes, then a
// streamed 7-bit read of kReadBytes ended by the end mark.
void BM_WriteAndReadAgainstEmulator(benchmark::State& state) {
  EmulatorProcess emulator(EmulatorArgs());
  if (emulator.Path().empty()) {
    state.SkipWithError("writer-emulator did not start");
    return;
  }
  TComm comm;
  comm.SetDeviceName(emulator.Path());
  comm.SetBaudRate(br115200);
  comm.Open();
  MainState s;
  GetICInfo(s, "K7E1/E3");
  WriterLink link(s, comm, SystemClock::Instance());
  const HeaderInputs inputs{"K7E1/E3"};
  for (int i = 0; i < kWriteBytes; ++i) s.ReadBuffer[i] = static_cast<std::uint8_t>(i & 0x7F);
  for (auto _ : state) {
    // Program memory write of 1027 words: the header, then the data answered
    // byte by byte and confirmed after the last.
    link.GetHeader(kAreaProgram, kModeProgram, inputs);
    s.CommandHeader[3] = (kWriteBytes / 2 - 1) & 0xFF;
    s.CommandHeader[4] = (kWriteBytes / 2 - 1) >> 8;
    if (link.SendHeader(10) != kLinkHeaderAccepted) state.SkipWithError("header refused");
    if (link.WriteData(kWriteBytes, true) != kLinkWritten) state.SkipWithError("write failed");
    // Read-back of 1024 words: 2048 data bytes and the end mark.
    link.GetHeader(kAreaProgram, kModeRead, inputs);
    if (link.Read7BitData(kReadBytes - 1, true) != kLinkFinished) state.SkipWithError("read failed");
  }
}
BENCHMARK(BM_WriteAndReadAgainstEmulator)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a USB serial adapter's latency timer costs the acknowledged write: the
// Writer's replies held back by 0, 1 and 16 ms (an adapter in low-latency
// mode, and one left at its usual default). Every byte waits for its reply,
// so the latency is paid 2054 times. At 16 ms a whole write would take over
// half a minute; that case writes a 128-byte sample and projects the rest.
void BM_WriteAtAdapterLatency(benchmark::State& state) {
  const auto latencyUs = state.range(0);
  const int bytes = latencyUs >= 16000 ? 128 : kWriteBytes;
  EmulatorProcess emulator(EmulatorArgs(latencyUs));
  if (emulator.Path().empty()) {
    state.SkipWithError("writer-emulator did not start");
    return;
  }
  TComm comm;
  comm.SetDeviceName(emulator.Path());
  comm.SetBaudRate(br115200);
  comm.Open();
  MainState s;
  GetICInfo(s, "K7E1/E3");
  WriterLink link(s, comm, SystemClock::Instance());
  for (int i = 0; i < bytes; ++i) s.ReadBuffer[i] = static_cast<std::uint8_t>(i & 0x7F);
  double seconds = 0;
  for (auto _ : state) {
    link.GetHeader(kAreaProgram, kModeProgram, HeaderInputs{"K7E1/E3"});
    s.CommandHeader[3] = (bytes / 2 - 1) & 0xFF;
    s.CommandHeader[4] = (bytes / 2 - 1) >> 8;
    if (link.SendHeader(10) != kLinkHeaderAccepted) state.SkipWithError("header refused");
    const double w0 = WallSeconds();
    if (link.WriteData(bytes, true) != kLinkWritten) state.SkipWithError("write failed");
    seconds += WallSeconds() - w0;
  }
  const double perByte = seconds / static_cast<double>(state.iterations()) / bytes;
  state.counters["ms_per_byte"] = perByte * 1e3;
  state.counters["write_2054_s"] = perByte * kWriteBytes;
  state.counters["bytes_timed"] = bytes;
}
BENCHMARK(BM_WriteAtAdapterLatency)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(16000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor: the same number of round trips as one byte each way, with a
// child process echoing on the master side.
void BM_BarePingPong(benchmark::State& state) {
  SilentPty pty;
  termios raw{};
  tcgetattr(pty.master, &raw);
  cfmakeraw(&raw);
  tcsetattr(pty.master, TCSANOW, &raw);
  const pid_t pid = fork();
  if (pid == 0) {
    unsigned char b;
    while (read(pty.master, &b, 1) == 1) write(pty.master, &b, 1);
    _exit(0);
  }
  const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  tcsetattr(fd, TCSANOW, &raw);
  // The header's reply, one round trip a written byte, and the read's start.
  const int roundTrips = 1 + kWriteBytes + 1;
  for (auto _ : state) {
    for (int i = 0; i < roundTrips; ++i) {
      unsigned char b = static_cast<unsigned char>(i);
      if (write(fd, &b, 1) != 1) state.SkipWithError("write failed");
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 1000);
      if (read(fd, &b, 1) != 1) state.SkipWithError("no echo");
    }
  }
  close(fd);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}
BENCHMARK(BM_BarePingPong)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
