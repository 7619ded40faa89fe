// Cost of the checksum pass and the panel refresh that runs it.
#include <benchmark/benchmark.h>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "files/Checksum.h"
#include "views/OptionScheme.h"

namespace {

void BM_CalChecksum(benchmark::State& bench) {
  MainState s;
  s.DeviceIndex = GetICInfo(s, "K7E1/E3");
  s.ProgramBytes = static_cast<int>(bench.range(0)) * 2;
  for (auto _ : bench) {
    CalChecksum(s);
    benchmark::DoNotOptimize(s.CodeSum);
  }
  bench.SetItemsProcessed(bench.iterations() * bench.range(0));
}
BENCHMARK(BM_CalChecksum)->Arg(1024)->Arg(kProgramBufferWords);

void BM_RefreshData(benchmark::State& bench) {
  MainState s;
  s.DeviceIndex = GetICInfo(s, "K7E2/E4");
  for (auto _ : bench) {
    RefreshData(s);
    benchmark::DoNotOptimize(s.OptionErrors);
  }
}
BENCHMARK(BM_RefreshData);

}  // namespace

BENCHMARK_MAIN();
