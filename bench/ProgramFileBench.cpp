// Loading the largest image: 32766 bytes of program as Intel HEX text.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "files/HexText.h"
#include "files/ProgramFile.h"
#include "../tests/support/ScriptedPrompts.h"

namespace {

std::string FullImageHex() {
  std::string text;
  char line[64];
  for (int address = 0; address < kProgramBufferBytes; address += 16) {
    const int count = std::min(16, kProgramBufferBytes - address);
    int sum = count + (address >> 8) + (address & 0xFF);
    std::snprintf(line, sizeof line, ":%02X%04X00", count, address);
    text += line;
    for (int i = 0; i < count; ++i) {
      const int byte = (address + i) * 7 & 0xFF;
      sum += byte;
      std::snprintf(line, sizeof line, "%02X", byte);
      text += line;
    }
    std::snprintf(line, sizeof line, "%02X\r\n", (-sum) & 0xFF);
    text += line;
  }
  return text + ":00000001FF\r\n";
}

void BM_HexToObjFullImage(benchmark::State& st) {
  const std::string text = FullImageHex();
  MainState state;
  ScriptedPrompts prompts;
  for (auto _ : st) {
    std::istringstream in(text);
    benchmark::DoNotOptimize(HexToObj(state, prompts, in));
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_HexToObjFullImage)->Unit(benchmark::kMillisecond);

// The whole "Open" path from disk: read, translate, re-pack.
void BM_OpenPicHexFullImage(benchmark::State& st) {
  const auto path = (std::filesystem::temp_directory_path() / "writer-bench-full.hex").string();
  std::ofstream(path, std::ios::binary) << FullImageHex();
  MainState state;
  state.CoreKind = 2;
  state.ProgramBytes = 2048;
  ScriptedPrompts prompts;
  for (auto _ : st) benchmark::DoNotOptimize(OpenProgramImage(state, prompts, path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_OpenPicHexFullImage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
