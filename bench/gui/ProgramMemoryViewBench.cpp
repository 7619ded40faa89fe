// Opening and refreshing the program-memory view over the largest buffer
// (16383 words, 2048 rows), offscreen: created, laid out, shown and painted.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMdiArea>
#include <memory>

#include "app/MainState.h"
#include "../../tests/support/ScriptedPrompts.h"  // never asked: nothing here prompts
#include "views/gui/TMDIChild.h"

namespace {

struct Bench {
  Bench() {
    state->ProgramTopHi = 0x3F;  // 64 pages: the whole buffer
    state->ProgramTopLo = 0xFF;
    state->ProgramBytes = 2 * 16384;
    for (int n = 0; n < kProgramBufferWords; ++n) state->SetProgramWord(n, static_cast<std::uint16_t>(n));
    area.resize(1024, 768);
    area.show();
  }

  TMDIChild* Open() {
    auto* view = new TMDIChild(*state, prompts);
    area.addSubWindow(view);
    view->show();
    QCoreApplication::sendPostedEvents();  // pending layout requests
    view->grab();                          // one full paint of the visible cells
    return view;
  }

  std::unique_ptr<MainState> state = std::make_unique<MainState>();
  ScriptedPrompts prompts;
  QMdiArea area;
};

Bench* g_bench = nullptr;

void BM_OpenProgramMemoryView(benchmark::State& st) {
  for (auto _ : st) {
    TMDIChild* view = g_bench->Open();
    st.PauseTiming();
    delete view;
    st.ResumeTiming();
  }
}
BENCHMARK(BM_OpenProgramMemoryView)->Unit(benchmark::kMillisecond);

// What a buffer change costs: the open view is destroyed and created anew.
void BM_RecreateProgramMemoryView(benchmark::State& st) {
  TMDIChild* view = g_bench->Open();
  for (auto _ : st) {
    delete view;
    view = g_bench->Open();
  }
  delete view;
}
BENCHMARK(BM_RecreateProgramMemoryView)->Unit(benchmark::kMillisecond);

// Refilling the open view in place and painting it.
void BM_RefillProgramMemoryView(benchmark::State& st) {
  TMDIChild* view = g_bench->Open();
  for (auto _ : st) {
    view->FormCreate();
    view->grab();
  }
  delete view;
}
BENCHMARK(BM_RefillProgramMemoryView)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Bench bench;
  g_bench = &bench;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
