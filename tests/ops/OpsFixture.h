#pragma once
// An operation against the emulated Writer through the in-process line, on a
// fake clock: a time-out takes milliseconds. Run() plays the window: it runs
// the worker with a recording panel and hands main-window routines over inline.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DeviceCatalogue.h"
#include "app/MainState.h"
#include "emulator/EmulatorLine.h"
#include "emulator/WriterEmulator.h"
#include "link/Clock.h"
#include "link/Comm.h"
#include "link/DevicePair.h"
#include "link/WriterLink.h"
#include "ops/Handover.h"
#include "ops/Operation.h"
#include "ops/RecordingPanel.h"
#include "support/EmulatedWriter.h"

// Faults built by a setter, so a table names only the fault it is about.
template <class Set>
EmulatorFaults MakeFaults(Set set) {
  EmulatorFaults faults;
  set(faults);
  return faults;
}


// Hands routines over inline and calls `after` once the n-th has run, so a
// test can change the Writer between two stages of an operation.
class HookedHandover final : public Handover {
 public:
  HookedHandover(int n, std::function<void()> after) : n_(n), after_(std::move(after)) {}
  bool Run(const std::function<void()>& fn, std::stop_token stop) override {
    const bool ran = inner_.Run(fn, stop);
    if (++count_ == n_ && after_) after_();
    return ran;
  }
  int Count() const { return count_; }

 private:
  InlineHandover inner_;
  int n_;
  std::function<void()> after_;
  int count_ = 0;
};

// Runs routines inline and, before the nth, changes the state as the GUI thread might.
class MeddlingHandover : public Handover {
 public:
  MeddlingHandover(int at, std::function<void()> meddle) : at_(at), meddle_(std::move(meddle)) {}
  bool Run(const std::function<void()>& fn, std::stop_token) override {
    if (++calls_ == at_) meddle_();
    fn();
    return true;
  }

 private:
  int at_;
  std::function<void()> meddle_;
  int calls_ = 0;
};

// A Writer scripted byte by byte on the far end, for replies the emulated part
// never gives on its own.
class ScriptedWriter {
 public:
  using Bytes = std::vector<std::uint8_t>;
  using Reply = std::function<Bytes(std::size_t index, std::uint8_t byte)>;
  ScriptedWriter(DevicePair& pair, Reply reply) : pair_(pair), reply_(std::move(reply)) {
    pair_.SetReceiver([this](std::span<const std::uint8_t> bytes) {
      for (std::uint8_t b : bytes) {
        const Bytes out = reply_(received_++, b);
        if (!out.empty()) pair_.SendToPc(out);
      }
    });
  }
  std::size_t Received() const { return received_; }

 private:
  DevicePair& pair_;
  Reply reply_;
  std::size_t received_ = 0;
};

// Every fake-clock reading moves time on, so waits for a silent Writer end.
class OpsTest : public ::testing::Test, protected EmulatedWriter<FakeClock> {
 protected:
  OpsTest() : EmulatedWriter(Clock::Duration{50}) {}
  void SetUp() override {
    ASSERT_TRUE(OpenLink());
    state.DeviceIndex = GetICInfo(state, "K7E1/E3");
    ASSERT_EQ(state.DeviceIndex, 0);
  }

  // Runs the worker to its end and returns what its window shows; what it
  // came to is in `outcome`.
  std::unique_ptr<RecordingPanel> Run(const OperationLayout& layout, const Worker& worker,
                                      HeaderInputs inputs = HeaderInputs{"K7E1/E3"}) {
    auto panel = std::make_unique<RecordingPanel>(layout);
    RunWith(*panel, handover, worker, std::move(inputs));
    return panel;
  }

  // As Run, with a panel and a hand-over of the test's own.
  void RunWith(RecordingPanel& panel, Handover& via, const Worker& worker,
               HeaderInputs inputs = HeaderInputs{"K7E1/E3"}) {
    OperationContext ctx{state, link, clock, std::move(inputs), {}, panel, via};
    ctx.ledger = ledger;
    outcome = worker(ctx);
  }

  void SetFaults(const EmulatorFaults& faults) {
    emulator.SetFaults(faults);
    line->Poke();
  }

  InlineHandover handover;
  Outcome outcome;  // of the last Run
  PassLedger* ledger = nullptr;  // the part ledger the passes use, if any
};
