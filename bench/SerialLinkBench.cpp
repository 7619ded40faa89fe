// Cost of one protocol step (send a byte, wait for the one-byte answer) over
// the in-process line and a pseudo-terminal, and what an idle open port costs.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/PosixSerialDevice.h"

namespace {

struct Pty {
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    name = ::ptsname(master);
  }
  ~Pty() { ::close(master); }
  int master;
  std::string name;
};

double CpuMs() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void BM_PairByteRoundTrip(benchmark::State& state) {
  DevicePair pair;
  pair.SetReceiver([&](std::span<const std::uint8_t>) {
    const std::uint8_t reply = 0xB5;
    pair.SendToPc({&reply, 1});
  });
  TComm comm(pair.MakePcEnd());
  comm.Open();
  std::uint8_t b = 0x55;
  for (auto _ : state) {
    comm.WaitForCts(100);
    comm.Write(&b, 1);
    comm.WaitForInput(100);
    benchmark::DoNotOptimize(comm.Read(&b, 1));
  }
}
BENCHMARK(BM_PairByteRoundTrip);

void BM_PtyByteRoundTrip(benchmark::State& state) {
  Pty pty;
  TComm comm(std::make_unique<PosixSerialDevice>());
  comm.SetDeviceName(pty.name);
  comm.SetBaudRate(br115200);
  comm.Open();
  std::uint8_t b = 0x55;
  for (auto _ : state) {
    comm.WaitForCts(100);
    comm.Write(&b, 1);
    pollfd p{pty.master, POLLIN, 0};
    ::poll(&p, 1, 1000);
    std::uint8_t far = 0;
    benchmark::DoNotOptimize(::read(pty.master, &far, 1));
    far = 0xB5;
    benchmark::DoNotOptimize(::write(pty.master, &far, 1));
    comm.WaitForInput(1000);
    benchmark::DoNotOptimize(comm.Read(&b, 1));
  }
}
BENCHMARK(BM_PtyByteRoundTrip);

// CPU the whole process spends per second while a port sits open and idle
// (the watcher thread waiting), and how long Close takes to stop it.
void BM_IdleOpenPort(benchmark::State& state) {
  Pty pty;
  for (auto _ : state) {
    TComm comm(std::make_unique<PosixSerialDevice>());
    comm.SetDeviceName(pty.name);
    comm.Open();
    const double cpu0 = CpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpu1 = CpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    comm.Close();
    const auto t1 = std::chrono::steady_clock::now();
    state.counters["idle_cpu_ms_per_s"] = (cpu1 - cpu0) * 2;
    state.counters["close_ms"] = std::chrono::duration<double, std::milli>(t1 - t0).count();
  }
}
BENCHMARK(BM_IdleOpenPort)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
