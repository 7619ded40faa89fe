// The floor under an Auto Program pass: a bare client that replays the bytes
// of a recorded pass (writer-cli --trace) to the same paced writer-emulator,
// writing each run of bytes to the Writer once the replies before it have
// come, and nothing else. bench/ops_wire.sh records the trace and starts the
// emulator (WRITER_BENCH_TRACE, WRITER_BENCH_PORT); the pass of writer-cli
// and of the window are then set against this one.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// One line of the trace: bytes to the Writer, or how many came back.
struct Run {
  bool toWriter = false;
  std::vector<std::uint8_t> bytes;
};

std::vector<Run> g_runs;
int g_fd = -1;

std::vector<Run> ReadTrace(const std::string& path) {
  std::vector<Run> runs;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string ms, direction, hex;
    if (!(words >> ms >> direction) || (direction != ">" && direction != "<")) continue;
    Run run{direction == ">", {}};
    while (words >> hex) run.bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16)));
    runs.push_back(std::move(run));
  }
  return runs;
}

double CpuMs() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(use.ru_utime) + ms(use.ru_stime);
}

// Replays the pass; false when the Writer fell silent for two seconds.
bool ReplayPass() {
  std::uint8_t buf[4096];
  for (const Run& run : g_runs) {
    if (run.toWriter) {
      if (write(g_fd, run.bytes.data(), run.bytes.size()) != static_cast<ssize_t>(run.bytes.size())) return false;
      continue;
    }
    for (std::size_t got = 0; got < run.bytes.size();) {
      pollfd p{g_fd, POLLIN, 0};
      if (poll(&p, 1, 2000) != 1) return false;
      const auto n = read(g_fd, buf, std::min(sizeof buf, run.bytes.size() - got));
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
  }
  return true;
}

void BM_BareAutoProgramPass(benchmark::State& st) {
  double cpu = 0;
  for (auto _ : st) {
    const double before = CpuMs();
    if (!ReplayPass()) {
      st.SkipWithError("the emulator did not answer as in the trace");
      break;
    }
    cpu += CpuMs() - before;
  }
  st.counters["cpu_ms"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_BareAutoProgramPass)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* trace = std::getenv("WRITER_BENCH_TRACE");
  const char* port = std::getenv("WRITER_BENCH_PORT");
  if (!trace || !port) {
    std::cerr << "WRITER_BENCH_TRACE names a pass's trace, WRITER_BENCH_PORT the emulator's terminal" << std::endl;
    return 2;
  }
  g_runs = ReadTrace(trace);
  g_fd = open(port, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  if (g_runs.empty() || g_fd < 0 || tcgetattr(g_fd, &tio) != 0) {
    std::cerr << "bench_BarePassBench: no trace or no terminal" << std::endl;
    return 1;
  }
  cfmakeraw(&tio);
  cfsetspeed(&tio, B115200);
  tcsetattr(g_fd, TCSANOW, &tio);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  close(g_fd);
  return 0;
}
