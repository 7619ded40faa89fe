// The time from a part seated to its pass's first byte: a Writer session
// waiting for parts against the emulated Writer on its 115200-baud line
// model, parts taken out and seated at random moments of the 250 ms poll.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>

#include "app/DeviceCatalogue.h"
#include "commands/WriterSession.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "support/EmulatedWriter.h"
#include "link/DevicePair.h"

namespace {

using Steady = std::chrono::steady_clock;

// Notes when each pass starts and ends.
class Starts final : public SessionListener {
 public:
  void StateChanged(const WriterSession&, const std::string& words) override {
    // The data stream's first word reads "Programming 0%" again: only the first counts.
    if (words != "Programming 0%") return;
    std::lock_guard lock(mutex_);
    if (!running_) started_ = Steady::now();
    running_ = true;
  }
  void PassEnded(const WriterSession&, const PassReport&) override {
    std::lock_guard lock(mutex_);
    ++ended_;
    running_ = false;
    changed_.notify_all();
  }
  Steady::time_point WaitPass(int n) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ended_ >= n; });
    return started_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Steady::time_point started_;
  int ended_ = 0;
  bool running_ = false;
};

void SeatedToFirstByte(benchmark::State& state) {
  DevicePair pair;
  WriterEmulator emulator;
  emulator.SetLineModel({115200, {}, {}, {}});
  auto line = AttachEmulator(pair, emulator);
  MainState image;
  ProgrammableImage(image);
  SessionSetup setup;
  setup.name = "Com1";
  setup.device = [&pair] { return pair.MakePcEnd(); };
  BatchSetup batch;
  batch.inputs = HeaderInputs{"K7E1/E3"};
  batch.passes = 0;
  batch.waitForPart = true;
  Starts starts;
  const auto writer = WriterSession::OnCopy(setup, image, starts);
  WriterSession& station = *writer;
  station.Start(batch);
  starts.WaitPass(1);  // the part in the socket at the start
  std::mt19937 random(7);
  double worst = 0;
  int passes = 1;
  for (auto _ : state) {
    emulator.TakePartOut();
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + random() % 250));
    const auto seated = Steady::now();
    emulator.SeatFreshPart();
    const auto started = starts.WaitPass(++passes);
    const double ms = std::chrono::duration<double, std::milli>(started - seated).count();
    worst = std::max(worst, ms);
    state.SetIterationTime(ms / 1000);
  }
  state.counters["max_ms"] = worst;
  station.StopNow();
  station.Join();
}
BENCHMARK(SeatedToFirstByte)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
