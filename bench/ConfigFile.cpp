// Cost of building and reading a configuration file (no disk for the read).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "files/ConfigFile.h"
#include "../tests/support/ScriptedPrompts.h"

namespace {

MainState Sample() {
  MainState s;
  s.CurrentFileName = "/bin/sh";
  s.SerialLength = 8;
  s.CfgPath = (std::filesystem::temp_directory_path() / "bench_writer.cfg").string();
  return s;
}

void BM_CfgFileBytes(benchmark::State& st) {
  MainState s = Sample();
  for (auto _ : st) benchmark::DoNotOptimize(CfgFileBytes(s, {"Com1", "K7E1/E3"}));
}
BENCHMARK(BM_CfgFileBytes);

void BM_LoadCfgSettingsOnly(benchmark::State& st) {
  MainState s = Sample();
  const std::string bytes = CfgFileBytes(s, {"Com1", "K7E1/E3"});
  ScriptedPrompts prompts;
  for (auto _ : st) benchmark::DoNotOptimize(LoadCfg(s, bytes, false, prompts, {}));
}
BENCHMARK(BM_LoadCfgSettingsOnly);

void BM_SaveCfgToDisk(benchmark::State& st) {
  MainState s = Sample();
  ScriptedPrompts prompts;
  for (auto _ : st) benchmark::DoNotOptimize(SaveCfg(s, {"Com1", "K7E1/E3"}, prompts));
  std::remove(s.CfgPath.c_str());
}
BENCHMARK(BM_SaveCfgToDisk);
}  // namespace

BENCHMARK_MAIN();
