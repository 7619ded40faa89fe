// How fast the emulator serves a whole program-memory pass: header, one reply
// per written byte, then the read-back stream.

#include <benchmark/benchmark.h>

#include <vector>

#include "emulator/WriterEmulator.h"

namespace {

void BM_ProgramAndReadBack1024Words(benchmark::State& state) {
  FakeClock clock;
  WriterEmulator writer(clock);
  std::size_t replies = 0;
  writer.SetOutput([&](std::span<const std::uint8_t> b) { replies += b.size(); });
  const std::vector<std::uint8_t> write{emu::kHeader, 0, 0, 0xFF, 3, 0, 0x30, 2, 0xC1, emu::kOpProgram};
  const std::vector<std::uint8_t> read{emu::kHeader, 0, 0, 0xFF, 3, 0, 0x30, 2, 0xC1, emu::kOpRead};
  for (auto _ : state) {
    writer.SetIc(IcDescription{});
    writer.Receive(write);
    for (int i = 0; i < 2048; ++i) writer.Receive(static_cast<std::uint8_t>(i & 0x3F));
    writer.Receive(read);
  }
  benchmark::DoNotOptimize(replies);
  state.SetItemsProcessed(state.iterations() * 2048);
}
BENCHMARK(BM_ProgramAndReadBack1024Words);

}  // namespace

BENCHMARK_MAIN();
