// Auto Program passes in the window, as a technician runs a batch: the real
// main window and TAutoProgramForm, offscreen, against writer-emulator linked
// as Com1 of the port map in $XDG_CONFIG_HOME (bench/ops_wire.sh starts it
// with --swap-parts at 115200 baud). The configuration named by
// WRITER_BENCH_CONFIG is loaded as "Load Config File " loads it. The first
// pass (F8) is left out; each repetition is then one pass, from "Continue" to
// the pass's last line drawn, with the CPU time of the whole program (GUI
// thread and worker) in cpu_ms.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "../../tests/support/ScriptedPrompts.h"  // answers nothing: a question ends the run
#include "app/gui/TMainForm.h"
#include "link/Clock.h"
#include "ops/gui/ProgrammingForms.h"

namespace {

TAutoProgramForm* g_form = nullptr;

double CpuMs() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(use.ru_utime) + ms(use.ru_stime);
}

// Runs start, then the event loop until the form's pass has ended and what it
// queued has been drawn.
void RunPass(TAutoProgramForm& form, const std::function<void()>& start) {
  QEventLoop loop;
  QObject::connect(&form, &TOperationForm::WorkerFinished, &loop, &QEventLoop::quit);
  start();
  loop.exec();
  QCoreApplication::sendPostedEvents();
  form.repaint();
}

void BM_AutoProgramPassInWindow(benchmark::State& st) {
  double cpu = 0;
  for (auto _ : st) {
    const double before = CpuMs();
    RunPass(*g_form, [] { g_form->Button2Click(); });
    cpu += CpuMs() - before;
    const Outcome outcome = g_form->LastOutcome();
    if (!outcome.Succeeded() || !outcome.pass || !outcome.pass->counted) {
      st.SkipWithError(("the pass failed: " + outcome.text).c_str());
      break;
    }
  }
  st.counters["cpu_ms"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_AutoProgramPassInWindow)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  const char* config = std::getenv("WRITER_BENCH_CONFIG");
  if (!config) {
    std::cerr << "WRITER_BENCH_CONFIG names the configuration to load" << std::endl;
    return 2;
  }

  ScriptedPrompts prompts;
  TMainForm main(prompts, SystemClock::Instance());
  main.show();
  main.FinishStartup();
  main.FinishStartupProbe();
  prompts.files.push_back(FileChoice{config, 0});
  main.LoadConfig1Click();
  for (const auto& m : prompts.messages)
    if (m.text != "Connect OK!") {
      std::cerr << "bench_AutoProgramWindowBench: " << m.text << std::endl;
      return 1;
    }

  int status = 0;
  main.SetOperationWindowHook([&](QDialog& dialog) {
    g_form = &static_cast<TAutoProgramForm&>(dialog);
    RunPass(*g_form, [] { g_form->show(); });
    benchmark::RunSpecifiedBenchmarks();
    if (!g_form->LastOutcome().Succeeded()) status = 1;
    return int(QDialog::Accepted);
  });
  main.AutoProgram1Click();
  benchmark::Shutdown();
  return status;
}
