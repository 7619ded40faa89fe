// Building the listing of a full 8192-word image must stay well under 10 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/MainState.h"
#include "files/Disassembler.h"

namespace {

// Every word defined and of a different kind, so each line is formatted.
std::vector<std::uint8_t> MixedImage(int words) {
  std::vector<std::uint8_t> bytes(2 * words);
  std::uint32_t x = 12345;
  for (int i = 0; i < words; ++i) {
    std::uint16_t w;
    do {
      x = x * 1103515245u + 12345u;
      w = (x >> 8) & 0x3FFF;
    } while (!DecodeQelWord(w).defined);
    bytes[2 * i] = WordLowHalf(w);
    bytes[2 * i + 1] = WordHighHalf(w);
  }
  return bytes;
}

void BM_Listing8192Words(benchmark::State& state) {
  const auto image = MixedImage(8192);
  for (auto _ : state) benchmark::DoNotOptimize(DisassemblyListing(image, 8192));
  state.SetItemsProcessed(state.iterations() * 8192);
}
BENCHMARK(BM_Listing8192Words)->Unit(benchmark::kMillisecond);

// Alternating defined and erased words: the most ORG lines a listing can have.
void BM_Listing8192WordsWithGaps(benchmark::State& state) {
  auto image = MixedImage(8192);
  for (int i = 1; i < 8192; i += 2) image[2 * i] = image[2 * i + 1] = kBlankHalf;
  for (auto _ : state) benchmark::DoNotOptimize(DisassemblyListing(image, 8192));
}
BENCHMARK(BM_Listing8192WordsWithGaps)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
